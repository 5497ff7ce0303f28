// The connection to the X server and what every part of the X11 layer shares: the screen,
// the atoms (interned in one batch), which extensions the server has, and the visuals for
// the flies' windows. Replies are asked for in batches: send every request, then collect.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gnatter::x11 {

enum Atom : int {
    NET_SUPPORTING_WM_CHECK,
    NET_CLIENT_LIST,
    NET_CLIENT_LIST_STACKING,
    NET_ACTIVE_WINDOW,
    NET_WORKAREA,
    NET_WM_STATE,
    NET_WM_STATE_FULLSCREEN,
    NET_WM_STATE_HIDDEN,
    NET_WM_WINDOW_TYPE,
    NET_WM_WINDOW_TYPE_DESKTOP,
    NET_WM_WINDOW_TYPE_DOCK,
    NET_FRAME_EXTENTS,
    NET_WM_STRUT,
    NET_WM_STRUT_PARTIAL,
    NET_WM_NAME,
    NET_WM_PID,
    UTF8_STRING,
    NET_WM_CM_SCREEN,       // _NET_WM_CM_Sn: owned while a compositing manager runs
    NET_SYSTEM_TRAY_SCREEN, // _NET_SYSTEM_TRAY_Sn: owned by the tray
    NET_SYSTEM_TRAY_OPCODE,
    NET_SYSTEM_TRAY_VISUAL,
    XEMBED,
    XEMBED_INFO,
    MANAGER,
    GNATTER_FLIES_SCREEN,   // owned by the program whose flies are out on this screen
    GNATTER_COMMAND,        // a client message from another start: leave, swatting on/off
    kAtomCount
};

// A reply freed when it goes out of scope.
template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T>
Reply<T> reply(T* raw) {
    return Reply<T>(raw, &std::free);
}

class Display {
public:
    // Connects to `name` (null: $DISPLAY). Check error() before anything else.
    explicit Display(const char* name);
    ~Display();
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    // Empty once connected; else one sentence saying what went wrong.
    const std::string& error() const { return error_; }
    bool broken() const { return xcb_connection_has_error(c_) != 0; }

    xcb_connection_t* c() const { return c_; }
    xcb_screen_t* screen() const { return screen_; }
    xcb_window_t root() const { return screen_->root; }
    int screenNumber() const { return screenNumber_; }
    xcb_atom_t atom(Atom a) const { return atoms_[a]; }

    bool hasShape() const { return shape_; }
    std::uint8_t xinputOpcode() const { return xinputOpcode_; }  // 0: no XInput 2
    std::uint8_t randrEvent() const { return randrEvent_; }      // 0: no RandR 1.5
    std::uint8_t xfixesEvent() const { return xfixesEvent_; }    // 0: no XFixes
    std::uint8_t screensaverEvent() const { return screensaverEvent_; }  // 0: none

    // A 32-bit TrueColor visual with alpha, for true transparency; 0 when there is none.
    xcb_visualid_t argbVisual() const { return argbVisual_; }
    xcb_colormap_t argbColormap() const { return argbColormap_; }

    // Reads a property of 32-bit items (CARDINAL, WINDOW, ATOM); empty when absent.
    std::vector<std::uint32_t> cardinals(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                         std::uint32_t longest = 4096);
    // The server's time now, from a property change on `window` (which must select
    // PropertyChangeMask): what ICCCM asks for when taking a selection.
    xcb_timestamp_t serverTime(xcb_window_t window);
    std::uint32_t maxRequestBytes() const { return maxRequestBytes_; }

private:
    void internAtoms();
    void queryExtensions();
    void findArgbVisual();

    xcb_connection_t* c_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    int screenNumber_ = 0;
    std::string error_;
    xcb_atom_t atoms_[kAtomCount] = {};
    bool shape_ = false;
    std::uint8_t xinputOpcode_ = 0, randrEvent_ = 0, xfixesEvent_ = 0, screensaverEvent_ = 0;
    xcb_visualid_t argbVisual_ = 0;
    xcb_colormap_t argbColormap_ = 0;
    std::uint32_t maxRequestBytes_ = 262140;
};

}  // namespace gnatter::x11
