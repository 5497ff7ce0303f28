// The flies' pictures kept on the X server: each distinct picture the core draws (named
// by its picture key) is rendered, cut to the square that every picture of a fly of its
// size on the glass fits (so that a new pose keeps the window's size and place; a fly in
// the air is cut to what it covers), uploaded once as a pixmap (and, for shaped windows,
// an outline mask) and reused from there. A window then shows a picture by taking the
// pixmap as its background: no pixels cross the wire again, and the server repaints
// exposed parts by itself. The least recently used pictures go when the cache outgrows
// its budget.
#pragma once

#include "sprite.h"
#include "x11_display.h"

#include <cstdint>
#include <list>
#include <unordered_map>

namespace gnatter::x11 {

struct Picture {
    xcb_pixmap_t pixmap = 0;  // premultiplied ARGB (depth 32), or opaque colours (the screen's depth)
    xcb_pixmap_t mask = 0;    // the outline (depth 1) for a shaped window; 0 for ARGB
    int width = 0, height = 0;
    int anchorX = 0, anchorY = 0;  // where the fly's body centre lies in the picture
};

class PictureCache {
public:
    // Without true transparency a pixel is either the fly's or the desktop's: a pixel at
    // least this opaque belongs to the fly's outline, drawn at full strength. Most of a
    // wing's membrane is fainter and goes; its veins and edges stay.
    static constexpr std::uint32_t kOutlineAlpha = 96;

    // `argb`: 32-bit pictures for windows with an alpha channel; else pictures for shaped
    // windows of the screen's own depth.
    PictureCache(Display& display, bool argb, std::size_t budgetBytes = 24u << 20);
    ~PictureCache();
    PictureCache(const PictureCache&) = delete;
    PictureCache& operator=(const PictureCache&) = delete;

    // The picture of this fly as it looks now, uploaded if it is new.
    const Picture& get(const FlyView& view);
    unsigned long uploads() const { return uploads_; }
    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        Picture picture;
        std::size_t bytes = 0;
        std::list<std::uint64_t>::iterator age;
    };
    Picture upload();
    void putImage(xcb_drawable_t target, xcb_gcontext_t gc, std::uint8_t depth, std::uint8_t format, int x0, int y0,
                  int width, int height, int bytesPerRow, const std::uint8_t* data);
    xcb_gcontext_t gcFor(xcb_drawable_t drawable, xcb_gcontext_t& gc);
    void free(const Picture& picture);

    Display& display_;
    const bool argb_;
    const std::uint8_t depth_;
    const std::size_t budget_;
    std::size_t bytes_ = 0;
    std::unordered_map<std::uint64_t, Entry> entries_;
    std::list<std::uint64_t> ages_;  // most recently used first
    xcb_gcontext_t pictureGc_ = 0, maskGc_ = 0;
    Sprite sprite_;
    unsigned long uploads_ = 0;
};

}  // namespace gnatter::x11
