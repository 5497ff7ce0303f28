// Rendering, cropping and uploading the flies' pictures.
#include "picture_cache.h"

#include "server_image.h"

#include <algorithm>
#include <vector>

namespace gnatter::x11 {

namespace {

struct Box {
    int left, top, right, bottom;
    bool empty() const { return right <= left || bottom <= top; }
};

// What of the sprite a window must show: every pixel with any colour, or only the outline.
Box coveredBox(const Sprite& sprite, std::uint32_t minAlpha) {
    Box box{sprite.width, sprite.height, 0, 0};
    for (int y = 0; y < sprite.height; ++y) {
        const std::uint32_t* row = &sprite.pixels[std::size_t(y) * std::size_t(sprite.width)];
        for (int x = 0; x < sprite.width; ++x) {
            if ((row[x] >> 24) < minAlpha) continue;
            box.left = std::min(box.left, x);
            box.right = std::max(box.right, x + 1);
            box.top = std::min(box.top, y);
            box.bottom = std::max(box.bottom, y + 1);
        }
    }
    return box.empty() ? Box{0, 0, 1, 1} : box;
}

// Premultiplied colour back to full strength, for a shaped window that has no alpha.
std::uint32_t opaque(std::uint32_t pixel) {
    const std::uint32_t a = pixel >> 24;
    if (a == 0 || a == 255) return pixel | 0xff000000u;
    std::uint32_t out = 0xff000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const std::uint32_t c = std::min<std::uint32_t>(255u, (((pixel >> shift) & 0xffu) * 255u + a / 2) / a);
        out |= c << shift;
    }
    return out;
}

}  // namespace

PictureCache::PictureCache(Display& display, bool argb, std::size_t budgetBytes)
    : display_(display), argb_(argb), depth_(argb ? 32 : display.screen()->root_depth), budget_(budgetBytes) {}

PictureCache::~PictureCache() {
    for (auto& [key, entry] : entries_) free(entry.picture);
    if (pictureGc_ != 0) xcb_free_gc(display_.c(), pictureGc_);
    if (maskGc_ != 0) xcb_free_gc(display_.c(), maskGc_);
}

void PictureCache::free(const Picture& picture) {
    // A window that shows the pixmap keeps it alive on the server until it changes.
    xcb_free_pixmap(display_.c(), picture.pixmap);
    if (picture.mask != 0) xcb_free_pixmap(display_.c(), picture.mask);
}

const Picture& PictureCache::get(const FlyView& view) {
    auto found = entries_.find(view.pictureKey);
    if (found != entries_.end()) {
        ages_.splice(ages_.begin(), ages_, found->second.age);
        return found->second.picture;
    }
    renderFly(view, sprite_);
    Entry entry;
    entry.picture = upload();
    entry.bytes = std::size_t(entry.picture.width) * std::size_t(entry.picture.height) * (argb_ ? 4u : 5u);
    ages_.push_front(view.pictureKey);
    entry.age = ages_.begin();
    bytes_ += entry.bytes;
    while (bytes_ > budget_ && ages_.size() > 1) {
        auto oldest = entries_.find(ages_.back());
        bytes_ -= oldest->second.bytes;
        free(oldest->second.picture);
        entries_.erase(oldest);
        ages_.pop_back();
    }
    ++uploads_;
    return entries_.emplace(view.pictureKey, entry).first->second.picture;
}

xcb_gcontext_t PictureCache::gcFor(xcb_drawable_t drawable, xcb_gcontext_t& gc) {
    if (gc == 0) {
        gc = xcb_generate_id(display_.c());
        xcb_create_gc(display_.c(), gc, drawable, 0, nullptr);
    }
    return gc;
}

// An image larger than one request allows goes up in bands of rows.
void PictureCache::putImage(xcb_drawable_t target, xcb_gcontext_t gc, std::uint8_t depth, std::uint8_t format,
                            int x0, int y0, int width, int height, int bytesPerRow, const std::uint8_t* data) {
    const int rowsPerRequest = std::max(1, int((display_.maxRequestBytes() - 64) / std::uint32_t(bytesPerRow)));
    for (int y = 0; y < height; y += rowsPerRequest) {
        const int rows = std::min(rowsPerRequest, height - y);
        xcb_put_image(display_.c(), format, target, gc, std::uint16_t(width), std::uint16_t(rows), std::int16_t(x0),
                      std::int16_t(y0 + y), 0, depth, std::uint32_t(rows * bytesPerRow),
                      data + std::size_t(y) * std::size_t(bytesPerRow));
    }
}

Picture PictureCache::upload() {
    xcb_connection_t* c = display_.c();
    const xcb_setup_t* setup = xcb_get_setup(c);
    // A fly on the glass is cut to the square every such picture of its size fits
    // (Sprite::fitWidth, twice the anchor) rather than to what this one covers: a new pose
    // or heading then keeps the window's size and place, and showing it is a new background
    // (and outline) without a ConfigureWindow. Without a compositor a window that moves or
    // changes size makes the X server repaint the desktop it uncovered, each rectangle
    // clipped against every other fly's outline; with one the compositor has no new window
    // size to take up. A fly in the air keeps the tight cut: its square would hold the
    // shadow's whole reach, and a flying fly's window moves every frame anyway.
    const bool onGlass = sprite_.fitWidth > 0 && sprite_.fitWidth < sprite_.width && sprite_.fitHeight > 0 &&
                         sprite_.fitHeight < sprite_.height;
    const Box box = onGlass ? Box{0, 0, sprite_.fitWidth, sprite_.fitHeight}
                            : coveredBox(sprite_, argb_ ? 1u : kOutlineAlpha);
    Picture p;
    p.width = box.right - box.left;
    p.height = box.bottom - box.top;
    p.anchorX = sprite_.anchorX - box.left;
    p.anchorY = sprite_.anchorY - box.top;

    auto at = [&](int x, int y) {
        return sprite_.pixels[std::size_t(box.top + y) * std::size_t(sprite_.width) + std::size_t(box.left + x)];
    };
    const std::vector<std::uint8_t> pixels = serverPixels(setup, p.width, p.height, [&](int x, int y) {
        const std::uint32_t v = at(x, y);
        return argb_ ? v : (v >> 24) >= kOutlineAlpha ? opaque(v) : 0u;
    });
    p.pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, depth_, p.pixmap, display_.root(), std::uint16_t(p.width), std::uint16_t(p.height));
    putImage(p.pixmap, gcFor(p.pixmap, pictureGc_), depth_, XCB_IMAGE_FORMAT_Z_PIXMAP, 0, 0, p.width, p.height,
             p.width * 4, pixels.data());
    if (argb_) return p;

    int maskRow = 0;
    const std::vector<std::uint8_t> mask =
        serverMask(setup, p.width, p.height, [&](int x, int y) { return (at(x, y) >> 24) >= kOutlineAlpha; }, maskRow);
    p.mask = xcb_generate_id(c);
    xcb_create_pixmap(c, 1, p.mask, display_.root(), std::uint16_t(p.width), std::uint16_t(p.height));
    putImage(p.mask, gcFor(p.mask, maskGc_), 1, XCB_IMAGE_FORMAT_XY_PIXMAP, 0, 0, p.width, p.height, maskRow,
             mask.data());
    return p;
}

}  // namespace gnatter::x11
