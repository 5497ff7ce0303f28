// The fly windows on X11: one small override-redirect window per fly (never managed,
// never focused, in no taskbar or pager), with an empty input shape so that every click
// goes to what lies under the fly. With a compositing manager running they are 32-bit
// ARGB windows and the flies show their true transparency; without one they are shaped
// to the picture's outline. A window shows its fly's picture by taking the cached pixmap
// as its background (see PictureCache).
#pragma once

#include "picture_cache.h"
#include "swarm.h"
#include "x11_display.h"

#include <memory>
#include <vector>

namespace gnatter::x11 {

class FlyWindows {
public:
    explicit FlyWindows(Display& display) : display_(display) {}
    ~FlyWindows() { destroy(); }
    FlyWindows(const FlyWindows&) = delete;
    FlyWindows& operator=(const FlyWindows&) = delete;

    // Creates `count` unmapped windows: ARGB ones when `argb`, else shaped ones.
    void create(std::size_t count, bool argb);
    void destroy();
    bool argb() const { return argb_; }

    // Brings every window in line with its fly; flies on `hiddenOn` stay out of sight.
    void update(const Swarm& swarm, const std::vector<Rect>& hiddenOn);
    void hideAll();
    // Puts the shown windows above every other window.
    void raise();
    bool owns(xcb_window_t window) const;
    // The place of a fly window that is shown; false for any other window.
    bool shownRect(xcb_window_t window, Rect& rect) const;

    // Window moves and new pictures so far (what the X server was asked to do).
    unsigned long moves() const { return moves_; }
    unsigned long pictures() const { return pictures_; }
    unsigned long uploads() const { return cache_ ? cache_->uploads() : 0; }

private:
    struct Fly {
        xcb_window_t window = 0;
        bool shown = false;
        bool hasPicture = false;
        std::uint64_t pictureKey = 0;
        int left = 0, top = 0, width = 0, height = 0;
        int anchorX = 0, anchorY = 0;
        unsigned long movedAt = 0;  // update() count at the last move or picture
        float lastX = 0.0f, lastY = 0.0f;
    };
    void updateOne(Fly& fly, const FlyView& view, const std::vector<Rect>& hiddenOn, bool settling);
    void showPicture(Fly& fly, const FlyView& view);

    Display& display_;
    bool argb_ = false;
    std::unique_ptr<PictureCache> cache_;
    std::vector<Fly> flies_;
    unsigned long updates_ = 0, moves_ = 0, pictures_ = 0;
};

}  // namespace gnatter::x11
