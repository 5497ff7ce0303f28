// Reading the other windows, the full-screen state and the monitors, in batches.
#include "desktop_reader.h"

#include "struts.h"

#include <xcb/randr.h>
#include <xcb/xinerama.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace gnatter::x11 {

struct DesktopReader::Seen {
    xcb_window_t window = 0;
    bool viewable = false;
    bool overrideRedirect = false;
    bool fullScreenState = false;  // _NET_WM_STATE_FULLSCREEN
    bool hiddenState = false;      // _NET_WM_STATE_HIDDEN: minimised, or on another desktop
    bool notAWindow = false;       // the desktop's background or a panel
    Rect rect;
};

namespace {

bool covers(const Rect& outer, const Rect& inner) {
    return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
           outer.bottom >= inner.bottom;
}

bool overlap(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

std::vector<xcb_atom_t> atomsIn(xcb_get_property_reply_t* r) {
    if (r == nullptr || r->format != 32) return {};
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(r));
    return std::vector<xcb_atom_t>(atoms, atoms + xcb_get_property_value_length(r) / 4);
}

bool has(const std::vector<xcb_atom_t>& atoms, xcb_atom_t atom) {
    return std::find(atoms.begin(), atoms.end(), atom) != atoms.end();
}

}  // namespace

// One round trip for all the windows: every request first, then every reply. Windows from
// `firstClient` on are a window manager's clients, which sit inside frames: their place
// comes from translating to the root, grown by the frame's extents.
std::vector<DesktopReader::Seen> DesktopReader::look(const std::vector<xcb_window_t>& windows,
                                                     std::size_t firstClient) {
    xcb_connection_t* c = display_.c();
    struct Cookies {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t place;
        xcb_get_property_cookie_t state, type, extents;
    };
    std::vector<Cookies> cookies(windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const xcb_window_t w = windows[i];
        cookies[i].attributes = xcb_get_window_attributes(c, w);
        cookies[i].geometry = xcb_get_geometry(c, w);
        cookies[i].state = xcb_get_property(c, 0, w, display_.atom(NET_WM_STATE), XCB_ATOM_ATOM, 0, 32);
        cookies[i].type = xcb_get_property(c, 0, w, display_.atom(NET_WM_WINDOW_TYPE), XCB_ATOM_ATOM, 0, 32);
        if (i >= firstClient) {
            cookies[i].place = xcb_translate_coordinates(c, w, display_.root(), 0, 0);
            cookies[i].extents = xcb_get_property(c, 0, w, display_.atom(NET_FRAME_EXTENTS), XCB_ATOM_CARDINAL, 0, 4);
        }
    }
    std::vector<Seen> seen(windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        Seen& s = seen[i];
        s.window = windows[i];
        const bool clients = i >= firstClient;
        auto attributes = reply(xcb_get_window_attributes_reply(c, cookies[i].attributes, nullptr));
        auto geometry = reply(xcb_get_geometry_reply(c, cookies[i].geometry, nullptr));
        auto state = reply(xcb_get_property_reply(c, cookies[i].state, nullptr));
        auto type = reply(xcb_get_property_reply(c, cookies[i].type, nullptr));
        decltype(reply<xcb_translate_coordinates_reply_t>(nullptr)) place(nullptr, &std::free);
        decltype(reply<xcb_get_property_reply_t>(nullptr)) extents(nullptr, &std::free);
        if (clients) {
            place = reply(xcb_translate_coordinates_reply(c, cookies[i].place, nullptr));
            extents = reply(xcb_get_property_reply(c, cookies[i].extents, nullptr));
        }
        if (!attributes || !geometry || (clients && !place)) continue;  // gone meanwhile
        s.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
                     attributes->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT;
        s.overrideRedirect = attributes->override_redirect != 0;
        const std::vector<xcb_atom_t> states = atomsIn(state.get()), types = atomsIn(type.get());
        s.fullScreenState = has(states, display_.atom(NET_WM_STATE_FULLSCREEN));
        s.hiddenState = has(states, display_.atom(NET_WM_STATE_HIDDEN));
        s.notAWindow = has(types, display_.atom(NET_WM_WINDOW_TYPE_DESKTOP)) ||
                       has(types, display_.atom(NET_WM_WINDOW_TYPE_DOCK));
        const int border = geometry->border_width;
        int x = geometry->x, y = geometry->y;
        if (clients) x = place->dst_x - border, y = place->dst_y - border;
        s.rect = {x, y, x + geometry->width + 2 * border, y + geometry->height + 2 * border};
        if (extents && extents->format == 32 && xcb_get_property_value_length(extents.get()) >= 16) {
            const auto* e = static_cast<const std::uint32_t*>(xcb_get_property_value(extents.get()));
            s.rect = {s.rect.left - int(e[0]), s.rect.top - int(e[2]), s.rect.right + int(e[1]),
                      s.rect.bottom + int(e[3])};
        }
    }
    return seen;
}

DesktopReading DesktopReader::readDesktop(const std::vector<Monitor>& monitors) {
    xcb_connection_t* c = display_.c();
    const auto treeCookie = xcb_query_tree(c, display_.root());
    const auto stackingCookie = xcb_get_property(c, 0, display_.root(), display_.atom(NET_CLIENT_LIST_STACKING),
                                                 XCB_ATOM_WINDOW, 0, 4096);
    const auto activeCookie =
        xcb_get_property(c, 0, display_.root(), display_.atom(NET_ACTIVE_WINDOW), XCB_ATOM_WINDOW, 0, 1);
    auto tree = reply(xcb_query_tree_reply(c, treeCookie, nullptr));
    auto stacking = reply(xcb_get_property_reply(c, stackingCookie, nullptr));
    auto active = reply(xcb_get_property_reply(c, activeCookie, nullptr));

    // Bottom to top, as X keeps them.
    std::vector<xcb_window_t> children, clients;
    if (tree) {
        const xcb_window_t* w = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            if (!isOurs(w[i])) children.push_back(w[i]);
        }
    }
    const bool managed = stacking && stacking->format == 32 && stacking->type == XCB_ATOM_WINDOW;
    if (managed) {
        const auto* w = static_cast<const xcb_window_t*>(xcb_get_property_value(stacking.get()));
        clients.assign(w, w + xcb_get_property_value_length(stacking.get()) / 4);
    }
    xcb_window_t activeWindow = 0;
    if (active && active->format == 32 && xcb_get_property_value_length(active.get()) >= 4) {
        activeWindow = *static_cast<const xcb_window_t*>(xcb_get_property_value(active.get()));
    }

    std::vector<xcb_window_t> both = children;
    both.insert(both.end(), clients.begin(), clients.end());
    std::vector<Seen> tops = look(both, children.size());
    const std::vector<Seen> managedClients(tops.begin() + std::ptrdiff_t(children.size()), tops.end());
    tops.resize(children.size());
    const std::vector<Seen>& perches = managed ? managedClients : tops;

    DesktopReading reading;
    for (auto it = perches.rbegin(); it != perches.rend(); ++it) {
        if (!it->viewable || it->overrideRedirect || it->hiddenState || it->notAWindow) continue;
        if (it->rect.right <= it->rect.left || it->rect.bottom <= it->rect.top) continue;
        reading.windows.push_back(WindowBox{it->rect, it->window});
    }

    // Full screen: a screen locker (or any override-redirect window) over a whole monitor;
    // with a window manager the active window in full-screen state or as large as its
    // monitor; without one the topmost window, if it fills a monitor.
    std::vector<Rect> covering;
    for (const Seen& s : tops) {
        if (s.viewable && s.overrideRedirect && !s.notAWindow) covering.push_back(s.rect);
    }
    for (const Seen& s : managedClients) {
        if (s.window == activeWindow && s.viewable && !s.hiddenState) covering.push_back(s.rect);
    }
    if (!managed && !reading.windows.empty()) covering.push_back(reading.windows.front().rect);
    for (const Monitor& m : monitors) {
        const bool covered = std::any_of(covering.begin(), covering.end(), [&](const Rect& r) { return covers(r, m.bounds); });
        if (covered) reading.fullScreen.push_back(m.bounds);
    }
    for (const Seen& s : managedClients) {
        if (s.window != activeWindow || !s.fullScreenState || !s.viewable) continue;
        for (const Monitor& m : monitors) {
            if (overlap(s.rect, m.bounds) &&
                std::find(reading.fullScreen.begin(), reading.fullScreen.end(), m.bounds) == reading.fullScreen.end()) {
                reading.fullScreen.push_back(m.bounds);
            }
        }
    }

    // A fly is buried when a window that is not fleeting (menus, tooltips and the like are
    // override-redirect) lies above it and over it.
    if (tree) {
        const xcb_window_t* w = xcb_query_tree_children(tree.get());
        const int count = xcb_query_tree_children_length(tree.get());
        std::vector<Rect> fliesBelow;
        std::size_t next = 0;  // into tops, which keeps the tree's order
        for (int i = 0; i < count && !reading.fliesBuried; ++i) {
            Rect fly;
            if (flies_.shownRect(w[i], fly)) {
                fliesBelow.push_back(fly);
                continue;
            }
            if (next >= tops.size() || tops[next].window != w[i]) continue;
            const Seen& s = tops[next++];
            if (!s.viewable || s.overrideRedirect || s.notAWindow) continue;
            reading.fliesBuried = std::any_of(fliesBelow.begin(), fliesBelow.end(),
                                              [&](const Rect& below) { return overlap(below, s.rect); });
        }
    }
    return reading;
}


// RandR 1.5's monitors (what desktops show as monitors, Xvfb's --setmonitor ones too),
// else Xinerama's screens, else the whole screen.
std::vector<Rect> DesktopReader::monitorBounds() {
    xcb_connection_t* c = display_.c();
    std::vector<Rect> bounds;
    if (display_.randrEvent() != 0) {
        auto r = reply(xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, display_.root(), 1), nullptr));
        for (auto it = r ? xcb_randr_get_monitors_monitors_iterator(r.get()) : xcb_randr_monitor_info_iterator_t{};
             r && it.rem > 0; xcb_randr_monitor_info_next(&it)) {
            bounds.push_back({it.data->x, it.data->y, it.data->x + it.data->width, it.data->y + it.data->height});
        }
    }
    if (bounds.empty()) {
        auto active = reply(xcb_xinerama_is_active_reply(c, xcb_xinerama_is_active(c), nullptr));
        if (active && active->state != 0) {
            auto r = reply(xcb_xinerama_query_screens_reply(c, xcb_xinerama_query_screens(c), nullptr));
            const xcb_xinerama_screen_info_t* screens = r ? xcb_xinerama_query_screens_screen_info(r.get()) : nullptr;
            for (int i = 0; r && i < xcb_xinerama_query_screens_screen_info_length(r.get()); ++i) {
                bounds.push_back({screens[i].x_org, screens[i].y_org, screens[i].x_org + screens[i].width,
                                  screens[i].y_org + screens[i].height});
            }
        }
    }
    if (bounds.empty()) bounds.push_back({0, 0, display_.screen()->width_in_pixels, display_.screen()->height_in_pixels});
    return bounds;
}

// Xft.dpi in the root's resource database is what desktops set for scaling; 96 is 1.
float DesktopReader::scale() {
    xcb_connection_t* c = display_.c();
    auto r = reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, display_.root(), XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0, 16384), nullptr));
    if (!r || r->format != 8) return 1.0f;
    const std::string resources(static_cast<const char*>(xcb_get_property_value(r.get())),
                                std::size_t(xcb_get_property_value_length(r.get())));
    const std::size_t at = resources.find("Xft.dpi:");
    if (at == std::string::npos) return 1.0f;
    const double dpi = std::strtod(resources.c_str() + at + 8, nullptr);
    return dpi >= 48.0 && dpi <= 480.0 ? float(dpi / 96.0) : 1.0f;
}

std::vector<Monitor> DesktopReader::readMonitors() {
    xcb_connection_t* c = display_.c();
    const int width = display_.screen()->width_in_pixels, height = display_.screen()->height_in_pixels;
    // Panels are the clients (or, without a window manager, the root's children) that
    // reserve struts.
    std::vector<xcb_window_t> windows;
    std::vector<std::uint32_t> list =
        display_.cardinals(display_.root(), display_.atom(NET_CLIENT_LIST), XCB_ATOM_WINDOW);
    if (list.empty()) {
        auto tree = reply(xcb_query_tree_reply(c, xcb_query_tree(c, display_.root()), nullptr));
        if (tree) {
            const xcb_window_t* w = xcb_query_tree_children(tree.get());
            windows.assign(w, w + xcb_query_tree_children_length(tree.get()));
        }
    } else {
        windows.assign(list.begin(), list.end());
    }
    std::vector<std::pair<xcb_get_property_cookie_t, xcb_get_property_cookie_t>> cookies;
    for (xcb_window_t w : windows) {
        if (isOurs(w)) continue;
        cookies.emplace_back(
            xcb_get_property(c, 0, w, display_.atom(NET_WM_STRUT_PARTIAL), XCB_ATOM_CARDINAL, 0, 12),
            xcb_get_property(c, 0, w, display_.atom(NET_WM_STRUT), XCB_ATOM_CARDINAL, 0, 4));
    }
    std::vector<Strut> struts;
    for (auto& [partialCookie, plainCookie] : cookies) {
        auto partial = reply(xcb_get_property_reply(c, partialCookie, nullptr));
        auto plain = reply(xcb_get_property_reply(c, plainCookie, nullptr));
        for (xcb_get_property_reply_t* r : {partial.get(), plain.get()}) {
            if (r == nullptr || r->format != 32 || xcb_get_property_value_length(r) < 16) continue;
            const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(r));
            struts.push_back(strutFromPartial(std::vector<std::uint32_t>(v, v + xcb_get_property_value_length(r) / 4),
                                              width, height));
            break;  // the partial one, when both are there
        }
    }
    const float monitorScale = scale();
    std::vector<Monitor> monitors;
    for (const Rect& bounds : monitorBounds()) {
        Monitor m;
        m.bounds = bounds;
        m.workArea = workAreaOf(bounds, struts, width, height);
        m.scale = monitorScale;
        monitors.push_back(m);
    }
    return monitors;
}

}  // namespace gnatter::x11
