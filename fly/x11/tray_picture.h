// The tray icon's picture: the program's own fly as the core draws it, resting and facing
// up, as large as fits the icon window and centred in it. A window with the tray's 32-bit
// visual shows it with its alpha; a window of the screen's depth shows the fly's outline
// only (a copy clipped to it, and the window shaped to it), with the tray's background
// around it. The pixels go to the server once for each size the tray gives.
#pragma once

#include "picture_cache.h"
#include "x11_display.h"

namespace gnatter::x11 {

class TrayPicture {
public:
    TrayPicture(Display& display, xcb_window_t icon, bool argb);
    ~TrayPicture();
    TrayPicture(const TrayPicture&) = delete;
    TrayPicture& operator=(const TrayPicture&) = delete;

    // The icon window has this size now: a fly that fits it, and the window exposed whole.
    void fit(int width, int height);
    // Puts the fly on the window (after an Expose).
    void draw();

private:
    Display& display_;
    const xcb_window_t icon_;
    const bool argb_;
    xcb_gcontext_t gc_ = 0;
    PictureCache cache_;
    Picture picture_;
    int x_ = 0, y_ = 0;  // where the picture lies in the window
};

}  // namespace gnatter::x11
