// Getting a fly's picture onto its layered window: the core renders it into a Sprite,
// which is copied into a 32-bit premultiplied DIB section and handed to
// UpdateLayeredWindow. Also the picture's outline as an X11 window system sees it, which
// decides where in its window a new picture is drawn (see PictureOutline).
#pragma once

#include "sprite.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace gnatter::win32 {

// Fills the top-left area.cx x area.cy pixels of a top-down 32-bit DIB whose rows are
// dibWidth pixels long (no padding) and which has dibHeight rows: the sprite drawn with
// its top-left pixel at (inset, inset), clear pixels wherever it does not reach, and
// nothing beyond the area or the DIB. The sprite's pixels are already premultiplied BGRA,
// the layout UpdateLayeredWindow's ULW_ALPHA expects, so they are copied unchanged.
void drawSpriteInDib(const gnatter::Sprite& sprite, std::uint32_t* dibBits, int dibWidth, int dibHeight, SIZE area,
                     int inset);

// Where the window goes so that the fly's body centre lands on (x, y), its picture drawn
// `inset` pixels right of and below the window's corner.
POINT windowTopLeft(float x, float y, int anchorX, int anchorY, int inset = 0);

// The pixels of a window's picture that are not fully clear, row by row as runs
// [begin, end) of x. Wine draws a layered window on an X11 desktop as an X window shaped
// to exactly these pixels, and when a new picture widens the shape the X server reports
// the newly covered pixels back as Expose events, which Wine answers one by one with the
// whole shape and a piece of the picture again: a few new pixels here and there along a
// fly's edge cost several times the upload itself. An X server reports a newly exposed
// region of more than kExposeRectLimit rectangles as one Expose of its bounds instead,
// so a new picture drawn one pixel further in, with the window one pixel further out
// (nothing moves on the screen), costs one answer rather than many.
class PictureOutline {
public:
    static constexpr int kExposeRectLimit = 25;

    PictureOutline() = default;
    // The outline of `sprite` drawn at (inset, inset) in a window of width x height.
    PictureOutline(const gnatter::Sprite& sprite, int inset, int width, int height);

    // Rectangles of the X region that `next` covers and this outline does not: runs of
    // equal rows merge into one band, as an X server keeps regions.
    int newlyCoveredRects(const PictureOutline& next) const;
    // Expose events the X server sends when the shape goes from this outline to `next`.
    int exposesFor(const PictureOutline& next) const;

    bool empty() const { return runs_.empty(); }

private:
    struct Run {
        int begin, end;
    };
    // Rows [rowStart_[y], rowStart_[y + 1]) of runs_.
    std::vector<Run> runs_;
    std::vector<int> rowStart_;
};

// True when drawing the next picture at the other inset (`shifted`) costs fewer Expose
// events than drawing it where the last one was (`same`), `shown` being the outline on
// screen now. A change that covers nothing new, or that is reported as one Expose anyway,
// keeps its place: a window that stays put costs the X server less than one that moves.
bool shiftPays(const PictureOutline& shown, const PictureOutline& same, const PictureOutline& shifted);

// One DIB section and memory DC shared by all fly windows. UpdateLayeredWindow keeps
// its own copy of what it is given, so one bitmap as large as the largest fly is enough.
class FlyCanvas {
public:
    FlyCanvas() = default;
    ~FlyCanvas();
    FlyCanvas(const FlyCanvas&) = delete;
    FlyCanvas& operator=(const FlyCanvas&) = delete;

    // Renders the fly into sprite().
    const gnatter::Sprite& render(const gnatter::FlyView& fly);

    // The window size for the rendered picture: with fitToPose, a fly without a flight
    // shadow gets a window only as large as the sprite's fitted corner (its own reach,
    // twice its anchor): the rest of the sprite is room for a shadow, and leaving it out
    // keeps the copy of the picture that each window holds on to (Wine keeps one per
    // window) well under half the size. The window grows back when the fly takes off, its
    // top-left corner staying where it was. Either way it has one spare row and column,
    // room to draw the picture one pixel further in (see PictureOutline).
    SIZE windowSize(bool fitToPose) const;

    // Puts the rendered picture on `window`, drawn `inset` (0 or 1) pixels right of and
    // below the window's top-left corner, the window placed so that the fly's body centre
    // lands on (fly.x, fly.y). Returns false when GDI fails.
    bool upload(HWND window, const gnatter::FlyView& fly, SIZE size, int inset);

    // render() and upload() in one, at inset 0.
    bool upload(HWND window, const gnatter::FlyView& fly, bool fitToPose = false);

    const gnatter::Sprite& sprite() const { return sprite_; }
    const std::uint32_t* bits() const { return bits_; }
    int side() const { return side_; }

private:
    bool ensureSide(int side);
    void release();

    gnatter::Sprite sprite_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
    std::uint32_t* bits_ = nullptr;
    int side_ = 0;
};

}  // namespace gnatter::win32
