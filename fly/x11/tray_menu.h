// The tray icon's menu: a small override-redirect popup by the pointer with two items,
// "Swatting" (checked while on) and "Shoo the flies". The program has no toolkit, so it is
// drawn with a core X font and plain fills. While it is open it grabs the pointer and the
// keyboard: a click on an item chooses it, a click anywhere else or Escape closes it.
// Should a grab be refused, the menu closes once the pointer leaves it instead.
#pragma once

#include "swarm.h"
#include "x11_display.h"

#include <vector>

namespace gnatter::x11 {

class TrayMenu {
public:
    // What an event did: nothing that matters outside, closed the menu without a choice,
    // or chose an item (which closes it too).
    enum class Outcome { None, Closed, ToggleSwatting, Shoo };

    explicit TrayMenu(Display& display) : display_(display) {}
    ~TrayMenu() { destroy(); }
    TrayMenu(const TrayMenu&) = delete;
    TrayMenu& operator=(const TrayMenu&) = delete;

    // Opens by the pointer (root coordinates), kept on the monitor it is on; `time` is the
    // click's, for the grabs.
    void open(int pointerX, int pointerY, bool swatting, const std::vector<Monitor>& monitors,
              xcb_timestamp_t time);
    void destroy();
    bool owns(xcb_window_t window) const { return window != 0 && window == window_; }
    // An event reported to the menu's window.
    Outcome onEvent(const xcb_generic_event_t* event);

private:
    void prepare();
    void measure();
    void allocateColours();
    void place(int pointerX, int pointerY, const std::vector<Monitor>& monitors);
    void grab(xcb_timestamp_t time);
    Outcome close(Outcome outcome);
    void draw();
    void hover(int item);
    int itemAt(int x, int y) const;

    Display& display_;
    xcb_window_t window_ = 0;
    xcb_gcontext_t gc_ = 0;
    xcb_font_t font_ = 0;  // 0: no font could be opened; the items go without labels
    std::uint32_t face_ = 0, text_ = 0, highlight_ = 0, highlightText_ = 0, border_ = 0;
    int ascent_ = 10, width_ = 0, itemHeight_ = 0;
    bool open_ = false;
    bool pointerGrabbed_ = false;
    bool swatting_ = false;
    int hovered_ = -1;
    std::vector<xcb_keycode_t> escapeKeys_;
};

}  // namespace gnatter::x11
