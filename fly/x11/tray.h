// The fly program's icon in the desktop's system tray, where there is one (the freedesktop
// System Tray Protocol over XEmbed; KDE Plasma bridges such icons into its own tray). The
// icon is the program's own fly, drawn by the core, resting and facing up; its window's
// name counts the flies ("Gnatter: 12 flies"), which trays show as its tooltip. A click on
// it opens TrayMenu, whose choice goes to the loop.
//
// The icon docks with the tray that owns _NET_SYSTEM_TRAY_S<screen> at the start, and with
// every tray that comes later (a MANAGER message on the root, or the selection changing
// owner, seen through XFixes). When the tray goes (its selection is let go, or it hands the
// icon window back to the root or destroys it), the icon window goes too and the flies go
// on without an icon until the next tray comes.
#pragma once

#include "fly_loop.h"
#include "tray_menu.h"
#include "tray_picture.h"
#include "x11_display.h"

#include <memory>
#include <vector>

namespace gnatter::x11 {

class SystemTray {
public:
    // `monitors` (kept up to date by the caller) keep the menu on the screen.
    SystemTray(Display& display, const std::vector<Monitor>& monitors)
        : display_(display), monitors_(monitors), menu_(display) {}
    ~SystemTray() { destroy(); }
    SystemTray(const SystemTray&) = delete;
    SystemTray& operator=(const SystemTray&) = delete;

    // Watches the tray's selection (XFixes events reported to `watcher`) and docks with
    // the tray, if there is one.
    void start(xcb_window_t watcher);
    void destroy();

    // Handles the event if it is for the icon or the menu, or tells of a tray coming or
    // going; false for any other event.
    bool handle(FlyLoop& loop, const xcb_generic_event_t* event);
    void showFlyCount(std::size_t alive);
    bool owns(xcb_window_t window) const { return (window != 0 && window == icon_) || menu_.owns(window); }

private:
    void dockWith(xcb_window_t tray);
    void createIcon(xcb_visualid_t visual);
    void forgetIcon(bool destroyWindow);
    xcb_visualid_t trayVisual(xcb_window_t tray);
    bool onTrayMessage(const xcb_client_message_event_t& event);
    void onIconEvent(FlyLoop& loop, const xcb_generic_event_t* event);
    void onMenuEvent(FlyLoop& loop, const xcb_generic_event_t* event);
    void writeName();

    Display& display_;
    const std::vector<Monitor>& monitors_;
    TrayMenu menu_;
    xcb_window_t tray_ = 0;  // the tray the icon docked with
    xcb_window_t icon_ = 0;
    bool argb_ = false;      // the icon has the tray's 32-bit visual; else a shaped window
    xcb_colormap_t colormap_ = 0;  // for a tray visual other than the display's own ARGB one
    int width_ = 0, height_ = 0;
    std::unique_ptr<TrayPicture> picture_;
    std::size_t flyCount_ = 0;
};

}  // namespace gnatter::x11
