// Getting a fly's picture onto its layered window: the core renders it into a Sprite,
// which is copied into a 32-bit premultiplied DIB section and handed to
// UpdateLayeredWindow.
#pragma once

#include "sprite.h"

#include <windows.h>

#include <cstdint>

namespace gnatter::win32 {

// Copies `sprite` into the top-left corner of a top-down 32-bit DIB of dibWidth x
// dibHeight pixels (rows of dibWidth pixels, no padding). The sprite's pixels are
// already premultiplied BGRA, the layout UpdateLayeredWindow's ULW_ALPHA expects, so
// they are copied unchanged; anything beyond the DIB is cut off.
void copySpriteToDib(const gnatter::Sprite& sprite, std::uint32_t* dibBits, int dibWidth, int dibHeight);

// Where the window goes so that the fly's body centre lands on (x, y).
POINT windowTopLeft(float x, float y, int anchorX, int anchorY);

// One DIB section and memory DC shared by all fly windows. UpdateLayeredWindow keeps
// its own copy of what it is given, so one bitmap as large as the largest fly is enough.
class FlyCanvas {
public:
    FlyCanvas() = default;
    ~FlyCanvas();
    FlyCanvas(const FlyCanvas&) = delete;
    FlyCanvas& operator=(const FlyCanvas&) = delete;

    // Renders the fly and puts the picture on `window`, placed for the fly's position.
    // Returns false when GDI fails; `sprite()` then still holds the rendered fly.
    // With fitToPose, a fly without a flight shadow gets a window only as large as the
    // sprite's fitted corner (its own reach, twice its anchor): the rest of the sprite is
    // room for a shadow, and leaving it out keeps the copy of the picture that each
    // window holds on to (Wine keeps one per window) well under half the size. The window
    // grows back when the fly takes off, its top-left corner staying where it was.
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
