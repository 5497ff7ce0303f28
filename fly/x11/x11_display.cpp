// Connecting, the atoms, the extensions and the visuals.
#include "x11_display.h"

#include <xcb/randr.h>
#include <xcb/screensaver.h>
#include <xcb/shape.h>
#include <xcb/xfixes.h>
#include <xcb/xinput.h>

#include <cstdlib>
#include <cstring>

namespace gnatter::x11 {

namespace {

// In the order of the Atom enum; "%d" becomes the screen's number.
const char* const kAtomNames[kAtomCount] = {
    "_NET_SUPPORTING_WM_CHECK", "_NET_CLIENT_LIST", "_NET_CLIENT_LIST_STACKING", "_NET_ACTIVE_WINDOW",
    "_NET_WORKAREA", "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN", "_NET_WM_STATE_HIDDEN",
    "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_WINDOW_TYPE_DOCK", "_NET_FRAME_EXTENTS",
    "_NET_WM_STRUT", "_NET_WM_STRUT_PARTIAL", "_NET_WM_NAME", "_NET_WM_PID", "UTF8_STRING", "_NET_WM_CM_S%d",
    "_NET_SYSTEM_TRAY_S%d", "_NET_SYSTEM_TRAY_OPCODE", "_NET_SYSTEM_TRAY_VISUAL", "_XEMBED", "_XEMBED_INFO",
    "MANAGER", "_GNATTER_FLIES_S%d", "_GNATTER_COMMAND",
};

std::string withScreen(const char* name, int screen) {
    const char* mark = std::strstr(name, "%d");
    if (mark == nullptr) return name;
    return std::string(name, mark) + std::to_string(screen) + (mark + 2);
}

}  // namespace

Display::Display(const char* name) {
    c_ = xcb_connect(name, &screenNumber_);
    if (xcb_connection_has_error(c_)) {
        const char* shown = name != nullptr ? name : std::getenv("DISPLAY");
        error_ = shown == nullptr || *shown == '\0'
                     ? "no X display to show the flies on (DISPLAY is not set)"
                     : "cannot open the X display \"" + std::string(shown) + "\"";
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
    for (int i = 0; i < screenNumber_ && it.rem > 0; ++i) xcb_screen_next(&it);
    if (it.rem == 0) {
        error_ = "the X display has no screen " + std::to_string(screenNumber_);
        return;
    }
    screen_ = it.data;
    maxRequestBytes_ = xcb_get_maximum_request_length(c_) * 4;
    internAtoms();
    queryExtensions();
    findArgbVisual();
}

Display::~Display() {
    if (c_ != nullptr) xcb_disconnect(c_);
}

void Display::internAtoms() {
    xcb_intern_atom_cookie_t cookies[kAtomCount];
    for (int i = 0; i < kAtomCount; ++i) {
        const std::string name = withScreen(kAtomNames[i], screenNumber_);
        cookies[i] = xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(name.size()), name.c_str());
    }
    for (int i = 0; i < kAtomCount; ++i) {
        auto r = reply(xcb_intern_atom_reply(c_, cookies[i], nullptr));
        atoms_[i] = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
}

// Every extension is asked for at once; what is missing only costs what it gives.
void Display::queryExtensions() {
    xcb_prefetch_extension_data(c_, &xcb_shape_id);
    xcb_prefetch_extension_data(c_, &xcb_input_id);
    xcb_prefetch_extension_data(c_, &xcb_randr_id);
    xcb_prefetch_extension_data(c_, &xcb_xfixes_id);
    xcb_prefetch_extension_data(c_, &xcb_screensaver_id);
    const xcb_query_extension_reply_t* shape = xcb_get_extension_data(c_, &xcb_shape_id);
    const xcb_query_extension_reply_t* input = xcb_get_extension_data(c_, &xcb_input_id);
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c_, &xcb_randr_id);
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c_, &xcb_xfixes_id);
    const xcb_query_extension_reply_t* saver = xcb_get_extension_data(c_, &xcb_screensaver_id);

    xcb_shape_query_version_cookie_t shapeVersion = {};
    xcb_input_xi_query_version_cookie_t inputVersion = {};
    xcb_randr_query_version_cookie_t randrVersion = {};
    xcb_xfixes_query_version_cookie_t xfixesVersion = {};
    if (shape && shape->present) shapeVersion = xcb_shape_query_version(c_);
    if (input && input->present) inputVersion = xcb_input_xi_query_version(c_, 2, 2);
    if (randr && randr->present) randrVersion = xcb_randr_query_version(c_, 1, 5);
    if (xfixes && xfixes->present) xfixesVersion = xcb_xfixes_query_version(c_, 5, 0);

    if (shapeVersion.sequence != 0) {
        auto r = reply(xcb_shape_query_version_reply(c_, shapeVersion, nullptr));
        // Input shapes (click-through windows) came with SHAPE 1.1.
        shape_ = r && (r->major_version > 1 || (r->major_version == 1 && r->minor_version >= 1));
    }
    if (inputVersion.sequence != 0) {
        auto r = reply(xcb_input_xi_query_version_reply(c_, inputVersion, nullptr));
        if (r && r->major_version >= 2) xinputOpcode_ = input->major_opcode;
    }
    if (randrVersion.sequence != 0) {
        auto r = reply(xcb_randr_query_version_reply(c_, randrVersion, nullptr));
        if (r && (r->major_version > 1 || r->minor_version >= 5)) randrEvent_ = randr->first_event;
    }
    if (xfixesVersion.sequence != 0) {
        auto r = reply(xcb_xfixes_query_version_reply(c_, xfixesVersion, nullptr));
        if (r && r->major_version >= 1) xfixesEvent_ = xfixes->first_event;
    }
    if (saver && saver->present) screensaverEvent_ = saver->first_event;
}

void Display::findArgbVisual() {
    for (auto depths = xcb_screen_allowed_depths_iterator(screen_); depths.rem > 0; xcb_depth_next(&depths)) {
        if (depths.data->depth != 32) continue;
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0; xcb_visualtype_next(&visuals)) {
            if (visuals.data->_class != XCB_VISUAL_CLASS_TRUE_COLOR) continue;
            argbVisual_ = visuals.data->visual_id;
            argbColormap_ = xcb_generate_id(c_);
            xcb_create_colormap(c_, XCB_COLORMAP_ALLOC_NONE, argbColormap_, root(), argbVisual_);
            return;
        }
    }
}

std::vector<std::uint32_t> Display::cardinals(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                              std::uint32_t longest) {
    auto r = reply(xcb_get_property_reply(c_, xcb_get_property(c_, 0, window, property, type, 0, longest), nullptr));
    if (!r || r->format != 32 || r->type != type) return {};
    const auto* items = static_cast<const std::uint32_t*>(xcb_get_property_value(r.get()));
    return std::vector<std::uint32_t>(items, items + xcb_get_property_value_length(r.get()) / 4);
}

xcb_timestamp_t Display::serverTime(xcb_window_t window) {
    xcb_change_property(c_, XCB_PROP_MODE_APPEND, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(c_);
    for (;;) {
        xcb_generic_event_t* event = xcb_wait_for_event(c_);
        if (event == nullptr) return XCB_CURRENT_TIME;
        const bool found = (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                           reinterpret_cast<xcb_property_notify_event_t*>(event)->window == window;
        const xcb_timestamp_t time = found ? reinterpret_cast<xcb_property_notify_event_t*>(event)->time : 0;
        std::free(event);
        if (found) return time;
    }
}

}  // namespace gnatter::x11
