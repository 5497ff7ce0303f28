// The desktop as the flies see it on X11: the other programs' windows (from the window
// manager's client list when there is one, else the root's own children), the monitors a
// full-screen program or a screen locker covers, whether a window covers a fly, and the
// monitors with their work areas (RandR, else Xinerama, else the whole screen; panels'
// struts per monitor). Each reading costs two round trips, whatever the number of windows.
#pragma once

#include "fly_platform.h"
#include "fly_windows.h"
#include "x11_display.h"

#include <functional>
#include <vector>

namespace gnatter::x11 {

class DesktopReader {
public:
    // `ours` tells this program's other windows (the tray icon, its menu) from others'.
    DesktopReader(Display& display, const FlyWindows& flies, std::function<bool(xcb_window_t)> ours)
        : display_(display), flies_(flies), ours_(std::move(ours)) {}

    DesktopReading readDesktop(const std::vector<Monitor>& monitors);
    std::vector<Monitor> readMonitors();

private:
    struct Seen;
    std::vector<Seen> look(const std::vector<xcb_window_t>& windows, std::size_t firstClient);
    std::vector<Rect> monitorBounds();
    float scale();

    bool isOurs(xcb_window_t window) const { return flies_.owns(window) || ours_(window); }

    Display& display_;
    const FlyWindows& flies_;
    std::function<bool(xcb_window_t)> ours_;
};

}  // namespace gnatter::x11
