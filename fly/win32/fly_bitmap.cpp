// The shared DIB section that carries fly pictures to their layered windows, and the
// outlines that decide where in its window each picture is drawn.
#include "fly_bitmap.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace gnatter::win32 {

void drawSpriteInDib(const gnatter::Sprite& sprite, std::uint32_t* dibBits, int dibWidth, int dibHeight, SIZE area,
                     int inset) {
    const int width = std::min<int>(area.cx, dibWidth);
    const int height = std::min<int>(area.cy, dibHeight);
    if (width <= 0 || height <= 0) return;
    const bool complete = sprite.width > 0 && sprite.height > 0 &&
                          sprite.pixels.size() >= static_cast<size_t>(sprite.width) * sprite.height;
    inset = std::max(inset, 0);
    // The part of each row the sprite covers: [inset, copyEnd).
    const int copyEnd = complete ? std::min(width, inset + sprite.width) : 0;
    for (int y = 0; y < height; ++y) {
        std::uint32_t* row = dibBits + static_cast<size_t>(y) * dibWidth;
        const int spriteY = y - inset;
        if (spriteY < 0 || spriteY >= sprite.height || copyEnd <= inset) {
            std::fill(row, row + width, 0u);
            continue;
        }
        std::fill(row, row + std::min(inset, width), 0u);
        std::memcpy(row + inset, sprite.pixels.data() + static_cast<size_t>(spriteY) * sprite.width,
                    static_cast<size_t>(copyEnd - inset) * sizeof(std::uint32_t));
        std::fill(row + copyEnd, row + width, 0u);
    }
}

POINT windowTopLeft(float x, float y, int anchorX, int anchorY, int inset) {
    return {static_cast<LONG>(std::lround(x)) - anchorX - inset, static_cast<LONG>(std::lround(y)) - anchorY - inset};
}

// ---- outlines ----

PictureOutline::PictureOutline(const gnatter::Sprite& sprite, int inset, int width, int height) {
    rowStart_.reserve(static_cast<size_t>(std::max(height, 0)) + 1);
    rowStart_.push_back(0);
    inset = std::max(inset, 0);
    const bool complete = sprite.width > 0 && sprite.height > 0 &&
                          sprite.pixels.size() >= static_cast<size_t>(sprite.width) * sprite.height;
    for (int y = 0; y < height; ++y) {
        const int spriteY = y - inset;
        if (complete && spriteY >= 0 && spriteY < sprite.height) {
            const std::uint32_t* row = sprite.pixels.data() + static_cast<size_t>(spriteY) * sprite.width;
            const int end = std::min(sprite.width, width - inset);
            int x = 0;
            while (x < end) {
                while (x < end && (row[x] >> 24) == 0) ++x;
                const int begin = x;
                while (x < end && (row[x] >> 24) != 0) ++x;
                if (x > begin) runs_.push_back({begin + inset, x + inset});
            }
        }
        rowStart_.push_back(static_cast<int>(runs_.size()));
    }
}

int PictureOutline::newlyCoveredRects(const PictureOutline& next) const {
    const int rows = static_cast<int>(next.rowStart_.size()) - 1;
    const int ownRows = static_cast<int>(rowStart_.size()) - 1;
    int rects = 0;
    std::vector<Run> band, row;  // the runs of the band above and of this row
    bool bandOpen = false;
    for (int y = 0; y < rows; ++y) {
        row.clear();
        const Run* old = ownRows > y ? runs_.data() + rowStart_[y] : nullptr;
        const Run* oldEnd = ownRows > y ? runs_.data() + rowStart_[y + 1] : nullptr;
        for (int i = next.rowStart_[y]; i < next.rowStart_[y + 1]; ++i) {
            int x = next.runs_[i].begin;
            const int end = next.runs_[i].end;
            // The old runs of the row are sorted: skip those left of this one, stop at the
            // first beyond it.
            for (const Run* o = old; o != oldEnd && x < end; ++o) {
                if (o->end <= x) continue;
                if (o->begin >= end) break;
                if (o->begin > x) row.push_back({x, o->begin});
                x = std::max(x, o->end);
            }
            if (x < end) row.push_back({x, end});
        }
        const bool same = bandOpen && row.size() == band.size() &&
                          std::equal(row.begin(), row.end(), band.begin(),
                                     [](const Run& a, const Run& b) { return a.begin == b.begin && a.end == b.end; });
        if (!same) rects += static_cast<int>(row.size());
        band.swap(row);
        bandOpen = true;
    }
    return rects;
}

int PictureOutline::exposesFor(const PictureOutline& next) const {
    const int rects = newlyCoveredRects(next);
    return rects > kExposeRectLimit ? 1 : rects;
}

bool shiftPays(const PictureOutline& shown, const PictureOutline& same, const PictureOutline& shifted) {
    const int stay = shown.exposesFor(same);
    return stay > 1 && shown.exposesFor(shifted) < stay;
}

// ---- the canvas ----

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

const gnatter::Sprite& FlyCanvas::render(const gnatter::FlyView& fly) {
    gnatter::renderFly(fly, sprite_);
    return sprite_;
}

SIZE FlyCanvas::windowSize(bool fitToPose) const {
    SIZE size = {sprite_.width, sprite_.height};
    if (fitToPose && sprite_.fitWidth > 0 && sprite_.fitHeight > 0) {
        size.cx = std::min(sprite_.width, sprite_.fitWidth);
        size.cy = std::min(sprite_.height, sprite_.fitHeight);
    }
    return {size.cx + 1, size.cy + 1};
}

bool FlyCanvas::upload(HWND window, const gnatter::FlyView& fly, SIZE size, int inset) {
    inset = inset != 0 ? 1 : 0;
    if (!ensureSide(std::max({sprite_.width + 1, sprite_.height + 1, static_cast<int>(size.cx),
                              static_cast<int>(size.cy)}))) {
        return false;
    }
    GdiFlush();  // GDI must be done with the bits before they change
    drawSpriteInDib(sprite_, bits_, side_, side_, size, inset);

    POINT topLeft = windowTopLeft(fly.x, fly.y, sprite_.anchorX, sprite_.anchorY, inset);
    POINT source = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    return UpdateLayeredWindow(window, nullptr, &topLeft, &size, dc_, &source, 0, &blend, ULW_ALPHA) != FALSE;
}

bool FlyCanvas::upload(HWND window, const gnatter::FlyView& fly, bool fitToPose) {
    render(fly);
    return upload(window, fly, windowSize(fitToPose), 0);
}

}  // namespace gnatter::win32
