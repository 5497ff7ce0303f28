// Docking with the tray, the icon's window, its name, and what a click on it does.
#include "tray.h"

#include <xcb/xfixes.h>

#include <string>

namespace gnatter::x11 {

namespace {

constexpr std::uint32_t kRequestDock = 0;   // SYSTEM_TRAY_REQUEST_DOCK
constexpr std::uint32_t kXembedMapped = 1;  // _XEMBED_INFO's flag: the tray shows the window
constexpr int kFirstSide = 22;              // until the tray gives the icon its size
constexpr std::uint32_t kMinSizeHint = 1u << 4;  // WM_NORMAL_HINTS' PMinSize
const char kWindowClass[] = "gnatter\0Gnatter";

// The window an event was reported to, for the kinds that the icon and the menu select.
xcb_window_t reportedTo(const xcb_generic_event_t* event) {
    switch (event->response_type & 0x7f) {
        case XCB_EXPOSE: return reinterpret_cast<const xcb_expose_event_t*>(event)->window;
        case XCB_BUTTON_PRESS:
        case XCB_BUTTON_RELEASE: return reinterpret_cast<const xcb_button_press_event_t*>(event)->event;
        case XCB_MOTION_NOTIFY: return reinterpret_cast<const xcb_motion_notify_event_t*>(event)->event;
        case XCB_LEAVE_NOTIFY: return reinterpret_cast<const xcb_leave_notify_event_t*>(event)->event;
        case XCB_KEY_PRESS: return reinterpret_cast<const xcb_key_press_event_t*>(event)->event;
        case XCB_CONFIGURE_NOTIFY: return reinterpret_cast<const xcb_configure_notify_event_t*>(event)->event;
        case XCB_REPARENT_NOTIFY: return reinterpret_cast<const xcb_reparent_notify_event_t*>(event)->event;
        case XCB_DESTROY_NOTIFY: return reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->event;
        case XCB_MAP_NOTIFY: return reinterpret_cast<const xcb_map_notify_event_t*>(event)->event;
        case XCB_UNMAP_NOTIFY: return reinterpret_cast<const xcb_unmap_notify_event_t*>(event)->event;
        case XCB_CLIENT_MESSAGE: return reinterpret_cast<const xcb_client_message_event_t*>(event)->window;
        default: return 0;
    }
}

// The icon's name, as the Windows program's tooltip says it.
std::string trayName(std::size_t flyCount) {
    return flyCount == 1 ? "Gnatter: 1 fly" : "Gnatter: " + std::to_string(flyCount) + " flies";
}

}  // namespace

void SystemTray::start(xcb_window_t watcher) {
    xcb_connection_t* c = display_.c();
    const xcb_atom_t selection = display_.atom(NET_SYSTEM_TRAY_SCREEN);
    if (display_.xfixesEvent() != 0) {
        xcb_xfixes_select_selection_input(c, watcher, selection,
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    }
    auto owner = reply(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    dockWith(owner ? owner->owner : xcb_window_t(XCB_WINDOW_NONE));
}

void SystemTray::destroy() {
    menu_.destroy();
    forgetIcon(true);
}

bool SystemTray::handle(FlyLoop& loop, const xcb_generic_event_t* event) {
    const std::uint8_t type = event->response_type & 0x7f;
    if (type == XCB_CLIENT_MESSAGE && onTrayMessage(*reinterpret_cast<const xcb_client_message_event_t*>(event))) {
        return true;
    }
    if (display_.xfixesEvent() != 0 && type == display_.xfixesEvent() + XCB_XFIXES_SELECTION_NOTIFY) {
        const auto* change = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
        if (change->selection != display_.atom(NET_SYSTEM_TRAY_SCREEN)) return false;
        // A tray that took the selection is named; one that went leaves none.
        const bool taken = change->subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER;
        dockWith(taken ? change->owner : xcb_window_t(XCB_WINDOW_NONE));
        return true;
    }
    const xcb_window_t window = reportedTo(event);
    if (window == 0) return false;
    if (menu_.owns(window)) {
        onMenuEvent(loop, event);
        return true;
    }
    if (window != icon_) return false;
    onIconEvent(loop, event);
    return true;
}

// A tray that starts announces itself to every client with a MANAGER message on the root.
bool SystemTray::onTrayMessage(const xcb_client_message_event_t& event) {
    if (event.window != display_.root() || event.type != display_.atom(MANAGER) || event.format != 32 ||
        event.data.data32[1] != display_.atom(NET_SYSTEM_TRAY_SCREEN)) {
        return false;
    }
    dockWith(event.data.data32[2]);
    return true;
}

// A new tray gets a new icon window: whatever the old tray did with the old one (kept,
// handed back to the root, destroyed) does not matter then.
void SystemTray::dockWith(xcb_window_t tray) {
    if (tray == tray_ && icon_ != 0) return;  // heard of twice: the message and the selection
    forgetIcon(true);
    if (tray == XCB_WINDOW_NONE) return;
    tray_ = tray;
    createIcon(trayVisual(tray));
    xcb_client_message_event_t message = {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = tray;
    message.type = display_.atom(NET_SYSTEM_TRAY_OPCODE);
    message.data.data32[0] = XCB_CURRENT_TIME;
    message.data.data32[1] = kRequestDock;
    message.data.data32[2] = icon_;
    // Should the tray be gone already, the error is dropped like any other (see dispatch).
    xcb_send_event(display_.c(), 0, tray, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
}

// The visual the tray asks its icons to use, when it is a 32-bit one with alpha; else 0:
// the icon then has the screen's own visual, as the trays that name no visual expect.
xcb_visualid_t SystemTray::trayVisual(xcb_window_t tray) {
    const std::vector<std::uint32_t> visual =
        display_.cardinals(tray, display_.atom(NET_SYSTEM_TRAY_VISUAL), XCB_ATOM_VISUALID, 1);
    if (visual.empty()) return 0;
    const xcb_visualid_t wanted = visual[0];
    for (auto depths = xcb_screen_allowed_depths_iterator(display_.screen()); depths.rem > 0; xcb_depth_next(&depths)) {
        if (depths.data->depth != 32) continue;
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0; xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == wanted && visuals.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR) return wanted;
        }
    }
    return 0;
}

// An unmapped child of the root, which the tray takes in and shows (_XEMBED_INFO says so).
// With the tray's 32-bit visual it is clear where the fly is not; else its background is
// the tray's own (ParentRelative) and it is shaped to the fly's outline.
void SystemTray::createIcon(xcb_visualid_t visual) {
    xcb_connection_t* c = display_.c();
    argb_ = visual != 0;
    icon_ = xcb_generate_id(c);
    width_ = height_ = kFirstSide;
    const std::uint32_t events = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY |
                                 XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE;
    if (argb_) {
        xcb_colormap_t colormap = display_.argbColormap();
        if (visual != display_.argbVisual()) {
            colormap = colormap_ = xcb_generate_id(c);
            xcb_create_colormap(c, XCB_COLORMAP_ALLOC_NONE, colormap_, display_.root(), visual);
        }
        const std::uint32_t values[] = {0, 0, events, colormap};
        xcb_create_window(c, 32, icon_, display_.root(), 0, 0, kFirstSide, kFirstSide, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_EVENT_MASK | XCB_CW_COLORMAP, values);
    } else {
        const std::uint32_t values[] = {XCB_BACK_PIXMAP_PARENT_RELATIVE, events};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, icon_, display_.root(), 0, 0, kFirstSide, kFirstSide, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXMAP | XCB_CW_EVENT_MASK,
                          values);
    }
    const std::uint32_t xembedInfo[] = {0, kXembedMapped};  // protocol version 0
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, icon_, display_.atom(XEMBED_INFO), display_.atom(XEMBED_INFO), 32,
                        2, xembedInfo);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, icon_, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof kWindowClass,
                        kWindowClass);
    // The size it asks for: trays built on GTK give an icon the width its hints ask for.
    std::uint32_t sizeHints[18] = {kMinSizeHint};
    sizeHints[5] = sizeHints[6] = kFirstSide;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, icon_, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18,
                        sizeHints);
    writeName();
    picture_ = std::make_unique<TrayPicture>(display_, icon_, argb_);
    picture_->fit(width_, height_);
}

void SystemTray::forgetIcon(bool destroyWindow) {
    tray_ = 0;
    if (icon_ == 0) return;
    xcb_connection_t* c = display_.c();
    picture_.reset();
    if (destroyWindow) xcb_destroy_window(c, icon_);
    if (colormap_ != 0) xcb_free_colormap(c, colormap_);
    icon_ = colormap_ = 0;
}

void SystemTray::onIconEvent(FlyLoop& loop, const xcb_generic_event_t* event) {
    switch (event->response_type & 0x7f) {
        case XCB_EXPOSE:
            if (reinterpret_cast<const xcb_expose_event_t*>(event)->count == 0) picture_->draw();
            return;
        case XCB_CONFIGURE_NOTIFY: {
            const auto* configure = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
            if (configure->width == width_ && configure->height == height_) return;
            width_ = configure->width;
            height_ = configure->height;
            return picture_->fit(width_, height_);
        }
        case XCB_BUTTON_PRESS: return loop.forgetPresses();  // a click on the icon swats nothing
        case XCB_BUTTON_RELEASE: {
            const auto* release = reinterpret_cast<const xcb_button_release_event_t*>(event);
            const bool onIcon = release->event_x >= 0 && release->event_x < width_ && release->event_y >= 0 &&
                                release->event_y < height_;
            if (onIcon && (release->detail == 1 || release->detail == 3)) {
                menu_.open(release->root_x, release->root_y, loop.swatting(), monitors_, release->time);
            }
            return;
        }
        // A tray that goes hands its icons back to the root, or destroys them with itself.
        case XCB_REPARENT_NOTIFY:
            if (reinterpret_cast<const xcb_reparent_notify_event_t*>(event)->parent == display_.root()) {
                forgetIcon(true);
            }
            return;
        case XCB_DESTROY_NOTIFY: return forgetIcon(false);
        default: return;  // mapped or unmapped by the tray; XEmbed's messages
    }
}

// The clicks on the menu, like the one on the icon, swat nothing.
void SystemTray::onMenuEvent(FlyLoop& loop, const xcb_generic_event_t* event) {
    const TrayMenu::Outcome outcome = menu_.onEvent(event);
    if (outcome == TrayMenu::Outcome::ToggleSwatting) loop.setSwatting(!loop.swatting());
    if (outcome == TrayMenu::Outcome::Shoo) loop.onLeaveRequest();
    if (outcome != TrayMenu::Outcome::None || (event->response_type & 0x7f) == XCB_BUTTON_PRESS) loop.forgetPresses();
}

void SystemTray::showFlyCount(std::size_t alive) {
    flyCount_ = alive;
    if (icon_ != 0) writeName();
}

// Both names: trays and the bridges to other trays read one or the other.
void SystemTray::writeName() {
    const std::string name = trayName(flyCount_);
    xcb_connection_t* c = display_.c();
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, icon_, display_.atom(NET_WM_NAME), display_.atom(UTF8_STRING), 8,
                        std::uint32_t(name.size()), name.data());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, icon_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        std::uint32_t(name.size()), name.data());
}

}  // namespace gnatter::x11
