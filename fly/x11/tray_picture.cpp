// Choosing the fly's size for the icon, and showing its picture there.
#include "tray_picture.h"

#include "picture.h"

#include <xcb/shape.h>

#include <algorithm>

namespace gnatter::x11 {

namespace {

constexpr float kFacingUp = -1.57079633f;     // headings grow clockwise from +x, and y points down
constexpr std::size_t kBudgetBytes = 256u << 10;  // a few sizes of a 48-pixel icon

FlyView restingFly(float size) {
    FlyView view;
    view.size = size;
    view.heading = kFacingUp;
    view.pose.stance = Stance::Standing;
    view.pictureKey = pictureKeyFor(size, view.heading, view.pose);
    return view;
}

// The larger side of the box around every pixel at least `minAlpha` opaque: what the
// picture cache crops the picture to.
int drawnSide(const Sprite& sprite, std::uint32_t minAlpha) {
    int left = sprite.width, top = sprite.height, right = 0, bottom = 0;
    for (int y = 0; y < sprite.height; ++y) {
        for (int x = 0; x < sprite.width; ++x) {
            if (sprite.pixels[std::size_t(y) * std::size_t(sprite.width) + std::size_t(x)] >> 24 < minAlpha) continue;
            left = std::min(left, x);
            right = std::max(right, x + 1);
            top = std::min(top, y);
            bottom = std::max(bottom, y + 1);
        }
    }
    return std::max(right - left, bottom - top);
}

// The largest fly whose picture fits a square of `side` pixels: any fly fits in twice its
// reach, and one at rest is smaller than that, so larger sizes are tried from there.
float fittingSize(int side, std::uint32_t minAlpha) {
    Sprite sprite;
    float best = std::max(kMinDrawnSize, float(side / (2.0 * kFlyReach)));
    for (float size = best + 1.0f; size <= float(side); size += 1.0f) {
        renderFly(restingFly(size), sprite);
        if (drawnSide(sprite, minAlpha) > side) break;
        best = size;
    }
    return best;
}

}  // namespace

TrayPicture::TrayPicture(Display& display, xcb_window_t icon, bool argb)
    : display_(display), icon_(icon), argb_(argb), cache_(display, argb, kBudgetBytes) {
    gc_ = xcb_generate_id(display.c());
    const std::uint32_t noExposures = 0;
    xcb_create_gc(display.c(), gc_, icon, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
}

TrayPicture::~TrayPicture() { xcb_free_gc(display_.c(), gc_); }

void TrayPicture::fit(int width, int height) {
    xcb_connection_t* c = display_.c();
    const std::uint32_t minAlpha = argb_ ? 1u : PictureCache::kOutlineAlpha;
    picture_ = cache_.get(restingFly(fittingSize(std::min(width, height), minAlpha)));
    x_ = (width - picture_.width) / 2;
    y_ = (height - picture_.height) / 2;
    if (!argb_) {
        if (display_.hasShape()) {
            xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, icon_, std::int16_t(x_), std::int16_t(y_),
                           picture_.mask);
        }
        const std::uint32_t clip[] = {std::uint32_t(x_), std::uint32_t(y_), picture_.mask};
        xcb_change_gc(c, gc_, XCB_GC_CLIP_ORIGIN_X | XCB_GC_CLIP_ORIGIN_Y | XCB_GC_CLIP_MASK, clip);
    }
    xcb_clear_area(c, 1, icon_, 0, 0, 0, 0);
}

void TrayPicture::draw() {
    if (picture_.pixmap == 0) return;
    xcb_copy_area(display_.c(), picture_.pixmap, icon_, gc_, 0, 0, std::int16_t(x_), std::int16_t(y_),
                  std::uint16_t(picture_.width), std::uint16_t(picture_.height));
}

}  // namespace gnatter::x11
