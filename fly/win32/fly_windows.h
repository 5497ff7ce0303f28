// The fly windows: one small layered window per fly that shows its picture and follows
// it, never taking a click, the focus or a taskbar button.
#pragma once

#include "fly_bitmap.h"
#include "swarm.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace gnatter::win32 {

extern const wchar_t kFlyClassName[];

// Puts the given top-level windows above all others, keeping their order among
// themselves; the same for every fly window as FlyWindows::raise().
void raiseFlyWindows(const std::vector<HWND>& flies);

class FlyWindows {
public:
    FlyWindows() = default;
    ~FlyWindows() { destroy(); }
    FlyWindows(const FlyWindows&) = delete;
    FlyWindows& operator=(const FlyWindows&) = delete;

    // Creates `count` hidden fly windows owned by `owner`.
    bool create(HWND owner, std::size_t count);
    void destroy();

    // Brings every window in line with its fly: hides flies that are gone or lie on one
    // of `hiddenOn`, puts a new picture up only when it changed, and otherwise just
    // moves the window.
    void update(const gnatter::Swarm& swarm, const std::vector<gnatter::Rect>& hiddenOn);
    void hideAll();
    // Puts every fly window above all other windows again, the flies keeping their order
    // among themselves. Under Wine another program's window can come to lie above them on
    // the screen while the system still counts them on top (see fly_windows.cpp).
    void raise();

    // Window moves and new pictures so far (what the window system was asked to do).
    unsigned long moves() const { return moves_; }
    unsigned long uploads() const { return uploads_; }

private:
    struct Fly {
        HWND window = nullptr;
        POINT topLeft = {};
        int anchorX = 0, anchorY = 0;
        int inset = 0;            // the picture lies this many pixels in from the window's corner
        PictureOutline outline;   // of the picture on the window
        std::uint64_t pictureKey = 0;
        bool hasPicture = false;
        bool shown = false;
        unsigned long movedAt = 0;  // update() count at the last move or upload
        float lastX = 0.0f, lastY = 0.0f;  // the fly's position at the last update()
    };
    void updateOne(Fly& fly, const gnatter::FlyView& view, const std::vector<gnatter::Rect>& hiddenOn,
                   bool settling);
    bool uploadPicture(Fly& fly, const gnatter::FlyView& view);

    std::vector<Fly> flies_;
    unsigned long updates_ = 0;
    unsigned long moves_ = 0, uploads_ = 0;
    FlyCanvas canvas_;
};

}  // namespace gnatter::win32
