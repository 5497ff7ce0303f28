// The shared DIB section that carries fly pictures to their layered windows.
#include "fly_bitmap.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace gnatter::win32 {

void copySpriteToDib(const gnatter::Sprite& sprite, std::uint32_t* dibBits, int dibWidth, int dibHeight) {
    const int width = std::min(sprite.width, dibWidth);
    const int height = std::min(sprite.height, dibHeight);
    if (width <= 0 || height <= 0 || sprite.pixels.size() < static_cast<size_t>(sprite.width) * sprite.height) return;
    for (int y = 0; y < height; ++y) {
        std::memcpy(dibBits + static_cast<size_t>(y) * dibWidth,
                    sprite.pixels.data() + static_cast<size_t>(y) * sprite.width,
                    static_cast<size_t>(width) * sizeof(std::uint32_t));
    }
}

POINT windowTopLeft(float x, float y, int anchorX, int anchorY) {
    return {static_cast<LONG>(std::lround(x)) - anchorX, static_cast<LONG>(std::lround(y)) - anchorY};
}

FlyCanvas::~FlyCanvas() { release(); }

void FlyCanvas::release() {
    if (dc_ != nullptr) {
        SelectObject(dc_, previousBitmap_);
        DeleteDC(dc_);
    }
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
    dc_ = nullptr;
    bitmap_ = nullptr;
    bits_ = nullptr;
    side_ = 0;
}

bool FlyCanvas::ensureSide(int side) {
    if (side <= side_ && dc_ != nullptr) return true;
    release();
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = side;
    info.bmiHeader.biHeight = -side;  // negative: top row first, like the sprite
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    dc_ = CreateCompatibleDC(nullptr);
    if (bitmap_ == nullptr || dc_ == nullptr) {
        if (dc_ != nullptr) DeleteDC(dc_);
        if (bitmap_ != nullptr) DeleteObject(bitmap_);
        dc_ = nullptr;
        bitmap_ = nullptr;
        return false;
    }
    previousBitmap_ = SelectObject(dc_, bitmap_);
    bits_ = static_cast<std::uint32_t*>(bits);
    side_ = side;
    return true;
}

bool FlyCanvas::upload(HWND window, const gnatter::FlyView& fly, bool fitToPose) {
    gnatter::renderFly(fly, sprite_);
    if (!ensureSide(std::max(sprite_.width, sprite_.height))) return false;
    GdiFlush();  // GDI must be done with the bits before they change
    copySpriteToDib(sprite_, bits_, side_, side_);

    POINT topLeft = windowTopLeft(fly.x, fly.y, sprite_.anchorX, sprite_.anchorY);
    SIZE size = {sprite_.width, sprite_.height};
    if (fitToPose && sprite_.fitWidth > 0 && sprite_.fitHeight > 0) {
        size.cx = std::min(sprite_.width, sprite_.fitWidth);
        size.cy = std::min(sprite_.height, sprite_.fitHeight);
    }
    POINT source = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    return UpdateLayeredWindow(window, nullptr, &topLeft, &size, dc_, &source, 0, &blend, ULW_ALPHA) != FALSE;
}

}  // namespace gnatter::win32
