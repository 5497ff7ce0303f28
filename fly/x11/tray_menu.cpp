// Making, placing, drawing and grabbing for the tray icon's menu.
#include "tray_menu.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace gnatter::x11 {

namespace {

const char* const kLabels[] = {"Swatting", "Shoo the flies"};
constexpr int kItems = 2;
constexpr int kBorder = 1;
constexpr int kTextPadding = 4;    // above and below a label
constexpr int kRightPadding = 12;  // after the longest label
constexpr std::uint32_t kEscapeKeysym = 0xff1b;
const char kWindowClass[] = "gnatter\0Gnatter";
const char kWindowName[] = "Gnatter menu";

// The preferred font, else the alias every X server has (its built-in font).
xcb_font_t openFont(xcb_connection_t* c) {
    for (const char* name : {"-misc-fixed-medium-r-normal--13-*", "fixed"}) {
        const xcb_font_t font = xcb_generate_id(c);
        if (!reply(xcb_request_check(c, xcb_open_font_checked(c, font, std::uint16_t(std::strlen(name)), name)))) {
            return font;
        }
    }
    return 0;
}

std::vector<xcb_char2b_t> wide(const char* text) {
    std::vector<xcb_char2b_t> out;
    for (const char* p = text; *p != '\0'; ++p) out.push_back({0, std::uint8_t(*p)});
    return out;
}

}  // namespace

// The font, the colours, the window and its GC: made at the first open, so that a program
// whose menu is never opened asks for none of them.
void TrayMenu::prepare() {
    measure();
    allocateColours();
    xcb_connection_t* c = display_.c();
    window_ = xcb_generate_id(c);
    const std::uint32_t values[] = {face_, border_, 1, 1,
                                    XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS |
                                        XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION |
                                        XCB_EVENT_MASK_LEAVE_WINDOW | XCB_EVENT_MASK_KEY_PRESS};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, display_.root(), 0, 0, std::uint16_t(width_),
                      std::uint16_t(kItems * itemHeight_), kBorder, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT,
                      XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_SAVE_UNDER |
                          XCB_CW_EVENT_MASK,
                      values);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        sizeof kWindowClass, kWindowClass);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window_, display_.atom(NET_WM_NAME), display_.atom(UTF8_STRING),
                        8, sizeof kWindowName - 1, kWindowName);
    gc_ = xcb_generate_id(c);
    std::uint32_t gcMask = XCB_GC_FOREGROUND | XCB_GC_BACKGROUND | XCB_GC_LINE_WIDTH | XCB_GC_GRAPHICS_EXPOSURES;
    std::vector<std::uint32_t> gcValues = {text_, face_, 2};
    if (font_ != 0) gcValues.push_back(font_), gcMask |= XCB_GC_FONT;
    gcValues.push_back(0);  // no exposure events from copies
    xcb_create_gc(c, gc_, window_, gcMask, gcValues.data());
}

// The font, and the items' size from its height and the longest label.
void TrayMenu::measure() {
    xcb_connection_t* c = display_.c();
    font_ = openFont(c);
    int descent = 3, textWidth = 0;
    if (font_ != 0) {
        const auto fontCookie = xcb_query_font(c, font_);
        xcb_query_text_extents_cookie_t extentCookies[kItems];
        for (int i = 0; i < kItems; ++i) {
            const std::vector<xcb_char2b_t> label = wide(kLabels[i]);
            extentCookies[i] = xcb_query_text_extents(c, font_, std::uint32_t(label.size()), label.data());
        }
        if (auto font = reply(xcb_query_font_reply(c, fontCookie, nullptr))) {
            ascent_ = font->font_ascent;
            descent = font->font_descent;
        }
        for (auto& cookie : extentCookies) {
            if (auto extents = reply(xcb_query_text_extents_reply(c, cookie, nullptr))) {
                textWidth = std::max(textWidth, int(extents->overall_width));
            }
        }
    }
    itemHeight_ = ascent_ + descent + 2 * kTextPadding;
    width_ = itemHeight_ + textWidth + kRightPadding;  // the check mark's column is square
}

// Light grey with dark text and a blue highlight; black and white where a colour is refused.
void TrayMenu::allocateColours() {
    xcb_connection_t* c = display_.c();
    const xcb_screen_t* screen = display_.screen();
    const std::uint32_t wanted[] = {0xf2f2f2, 0x1a1a1a, 0x3c6eb4, 0xffffff, 0x808080};
    std::uint32_t* const pixels[] = {&face_, &text_, &highlight_, &highlightText_, &border_};
    const std::uint32_t fallbacks[] = {screen->white_pixel, screen->black_pixel, screen->black_pixel,
                                       screen->white_pixel, screen->black_pixel};
    constexpr int kColours = 5;
    xcb_alloc_color_cookie_t cookies[kColours];
    for (int i = 0; i < kColours; ++i) {
        const auto channel = [&](int shift) { return std::uint16_t(((wanted[i] >> shift) & 0xff) * 257); };
        cookies[i] = xcb_alloc_color(c, screen->default_colormap, channel(16), channel(8), channel(0));
    }
    for (int i = 0; i < kColours; ++i) {
        auto colour = reply(xcb_alloc_color_reply(c, cookies[i], nullptr));
        *pixels[i] = colour ? colour->pixel : fallbacks[i];
    }
}

void TrayMenu::open(int pointerX, int pointerY, bool swatting, const std::vector<Monitor>& monitors,
                    xcb_timestamp_t time) {
    if (window_ == 0) prepare();
    swatting_ = swatting;
    hovered_ = -1;
    place(pointerX, pointerY, monitors);
    xcb_map_window(display_.c(), window_);
    open_ = true;
    grab(time);  // after the map: only a viewable window can take a grab
}

// A corner at the pointer, opening right and down where there is room on its monitor,
// else left or up (a panel at the bottom gets a menu above it).
void TrayMenu::place(int pointerX, int pointerY, const std::vector<Monitor>& monitors) {
    Rect area{0, 0, display_.screen()->width_in_pixels, display_.screen()->height_in_pixels};
    for (const Monitor& m : monitors) {
        const Rect& b = m.bounds;
        if (pointerX >= b.left && pointerX < b.right && pointerY >= b.top && pointerY < b.bottom) area = b;
    }
    const int outerWidth = width_ + 2 * kBorder, outerHeight = kItems * itemHeight_ + 2 * kBorder;
    int x = pointerX, y = pointerY;
    if (x + outerWidth > area.right) x = pointerX + 1 - outerWidth;
    if (y + outerHeight > area.bottom) y = pointerY + 1 - outerHeight;
    x = std::max(area.left, std::min(x, area.right - outerWidth));
    y = std::max(area.top, std::min(y, area.bottom - outerHeight));
    const std::uint32_t values[] = {std::uint32_t(x), std::uint32_t(y), XCB_STACK_MODE_ABOVE};
    xcb_configure_window(display_.c(), window_,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_STACK_MODE, values);
}

// Both grabs and the keyboard's layout (it may have changed since the last time) in one
// round trip.
void TrayMenu::grab(xcb_timestamp_t time) {
    xcb_connection_t* c = display_.c();
    const xcb_setup_t* setup = xcb_get_setup(c);
    const auto pointerCookie = xcb_grab_pointer(
        c, 0, window_,
        XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION |
            XCB_EVENT_MASK_LEAVE_WINDOW,
        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_WINDOW_NONE, XCB_CURSOR_NONE, time);
    const auto keyboardCookie = xcb_grab_keyboard(c, 0, window_, time, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    const auto mappingCookie = xcb_get_keyboard_mapping(c, setup->min_keycode,
                                                        std::uint8_t(setup->max_keycode - setup->min_keycode + 1));
    auto pointer = reply(xcb_grab_pointer_reply(c, pointerCookie, nullptr));
    pointerGrabbed_ = pointer && pointer->status == XCB_GRAB_STATUS_SUCCESS;
    // Without the keyboard Escape does nothing; a click still closes the menu.
    std::free(xcb_grab_keyboard_reply(c, keyboardCookie, nullptr));
    escapeKeys_.clear();
    if (auto mapping = reply(xcb_get_keyboard_mapping_reply(c, mappingCookie, nullptr))) {
        const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
        const int perKey = mapping->keysyms_per_keycode;
        const int keys = perKey > 0 ? xcb_get_keyboard_mapping_keysyms_length(mapping.get()) / perKey : 0;
        for (int key = 0; key < keys; ++key) {
            if (keysyms[key * perKey] == kEscapeKeysym) escapeKeys_.push_back(xcb_keycode_t(setup->min_keycode + key));
        }
    }
}

TrayMenu::Outcome TrayMenu::close(Outcome outcome) {
    xcb_connection_t* c = display_.c();
    xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    xcb_unmap_window(c, window_);
    open_ = false;
    pointerGrabbed_ = false;
    return outcome;
}

void TrayMenu::destroy() {
    if (window_ == 0) return;
    if (open_) close(Outcome::Closed);
    xcb_connection_t* c = display_.c();
    xcb_free_gc(c, gc_);
    xcb_destroy_window(c, window_);
    if (font_ != 0) xcb_close_font(c, font_);
    window_ = 0;
    // The colours stay allocated in the default colormap until the program ends.
}

// The whole menu: it is small, and drawn only when it shows or the highlight moves.
void TrayMenu::draw() {
    xcb_connection_t* c = display_.c();
    const int h = itemHeight_;
    for (int i = 0; i < kItems; ++i) {
        const bool lit = i == hovered_;
        const std::uint32_t fill = lit ? highlight_ : face_;
        xcb_change_gc(c, gc_, XCB_GC_FOREGROUND, &fill);
        const xcb_rectangle_t row = {0, std::int16_t(i * h), std::uint16_t(width_), std::uint16_t(h)};
        xcb_poly_fill_rectangle(c, window_, gc_, 1, &row);
        const std::uint32_t ink[] = {lit ? highlightText_ : text_, fill};
        xcb_change_gc(c, gc_, XCB_GC_FOREGROUND | XCB_GC_BACKGROUND, ink);
        if (i == 0 && swatting_) {
            const int cx = h / 2, cy = i * h + h / 2, s = h / 2;
            const xcb_point_t tick[] = {{std::int16_t(cx - s / 2), std::int16_t(cy)},
                                        {std::int16_t(cx - s / 6), std::int16_t(cy + s / 3)},
                                        {std::int16_t(cx + s / 2), std::int16_t(cy - s / 3)}};
            xcb_poly_line(c, XCB_COORD_MODE_ORIGIN, window_, gc_, 3, tick);
        }
        if (font_ != 0) {
            xcb_image_text_8(c, std::uint8_t(std::strlen(kLabels[i])), window_, gc_, std::int16_t(h),
                             std::int16_t(i * h + kTextPadding + ascent_), kLabels[i]);
        }
    }
}

void TrayMenu::hover(int item) {
    if (item == hovered_) return;
    hovered_ = item;
    draw();
}

int TrayMenu::itemAt(int x, int y) const {
    if (x < 0 || x >= width_ || y < 0 || y >= kItems * itemHeight_) return -1;
    return y / itemHeight_;
}

// While the pointer is grabbed every pointer event comes here, with coordinates relative
// to the menu: one outside it is a click elsewhere.
TrayMenu::Outcome TrayMenu::onEvent(const xcb_generic_event_t* event) {
    if (!open_) return Outcome::None;  // queued before it closed
    switch (event->response_type & 0x7f) {
        case XCB_EXPOSE:
            if (reinterpret_cast<const xcb_expose_event_t*>(event)->count == 0) draw();
            return Outcome::None;
        case XCB_MOTION_NOTIFY: {
            const auto* motion = reinterpret_cast<const xcb_motion_notify_event_t*>(event);
            hover(itemAt(motion->event_x, motion->event_y));
            return Outcome::None;
        }
        case XCB_LEAVE_NOTIFY:
            hover(-1);
            return pointerGrabbed_ ? Outcome::None : close(Outcome::Closed);
        // A click counts where it ends: one on the tray icon closes the menu rather than
        // closing it and opening it again with the release.
        case XCB_BUTTON_RELEASE: {
            const auto* release = reinterpret_cast<const xcb_button_release_event_t*>(event);
            const int item = itemAt(release->event_x, release->event_y);
            if (item < 0) return close(Outcome::Closed);
            return close(item == 0 ? Outcome::ToggleSwatting : Outcome::Shoo);
        }
        case XCB_KEY_PRESS: {
            const xcb_keycode_t key = reinterpret_cast<const xcb_key_press_event_t*>(event)->detail;
            const bool escape = std::find(escapeKeys_.begin(), escapeKeys_.end(), key) != escapeKeys_.end();
            return escape ? close(Outcome::Closed) : Outcome::None;
        }
        default: return Outcome::None;
    }
}

}  // namespace gnatter::x11
