// The X11 platform: the wait, the readings, and one handler for each kind of X event.
#include "x11_platform.h"

#include "instance.h"

#include <xcb/randr.h>
#include <xcb/screensaver.h>
#include <xcb/xfixes.h>
#include <xcb/xinput.h>

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>

namespace gnatter::x11 {

namespace {

// SIGTERM, SIGINT and SIGHUP reach the loop through a pipe, like any other event.
int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    if (write(g_signalPipe[1], &byte, 1) < 0) {
        // The pipe is full: a wake-up is already on its way.
    }
    errno = saved;
}

void catchSignals() {
    if (pipe(g_signalPipe) != 0) return;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

std::uint8_t responseType(const xcb_generic_event_t* event) { return event->response_type & 0x7f; }

// A wait this short is one between two frames.
const int kFrameWaitMs = 17;

}  // namespace

X11Platform::X11Platform(Display& display)
    : display_(display), flies_(display), reader_(display, flies_, [this](xcb_window_t w) { return ours(w); }) {
    if (const char* path = std::getenv("GNATTER_WINDOW_COUNTS")) workLog_ = std::fopen(path, "a");
}

X11Platform::~X11Platform() {
    flies_.destroy();
    tray_.destroy();
    if (owner_ != 0) xcb_destroy_window(display_.c(), owner_);
    xcb_flush(display_.c());
    if (workLog_ != nullptr) std::fclose(workLog_);
}

bool X11Platform::start(std::size_t count) {
    xcb_connection_t* c = display_.c();
    if (!display_.hasShape()) {
        std::fprintf(stderr, "gnatter: the X server lacks the SHAPE extension (1.1), without which flies would "
                             "block the clicks meant for the windows under them.\n");
        return false;
    }
    const xcb_window_t root = display_.root();
    owner_ = xcb_generate_id(c);
    const std::uint32_t ownerEvents = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, 0, owner_, root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                      XCB_CW_EVENT_MASK, &ownerEvents);
    if (!takeOverFlies(display_, owner_)) {
        std::fprintf(stderr, "gnatter: another program holds the flies of this display and does not let go.\n");
        return false;
    }
    // The other windows, the window manager's lists, and the root's own size.
    const std::uint32_t rootEvents = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_STRUCTURE_NOTIFY |
                                     XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &rootEvents);
    if (display_.randrEvent() != 0) {
        xcb_randr_select_input(c, root, XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                                            XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
    }
    if (display_.xfixesEvent() != 0) {
        xcb_xfixes_select_selection_input(c, owner_, display_.atom(NET_WM_CM_SCREEN),
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    }
    if (display_.screensaverEvent() != 0) {
        xcb_screensaver_select_input(c, root, XCB_SCREENSAVER_EVENT_NOTIFY_MASK);
    }
    readButtonMapping();
    selectRawInput();
    flies_.create(count, compositorRuns());
    tray_.start(owner_);
    catchSignals();
    xcb_flush(c);
    return true;
}

PlatformTraits X11Platform::traits() const {
    PlatformTraits traits;
    traits.pointerMovesReported = display_.xinputOpcode() != 0;
    traits.windowMovesReported = true;
    traits.burialSeen = true;
    traits.logsWindowWork = workLog_ != nullptr;
    return traits;
}

double X11Platform::now() {
    timespec t = {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Whatever the loop asked for goes out first; then events already read come before a
// sleep on the connection (and the signal pipe) until the deadline. The program's own
// window changes come back as events too (the root's structure events include them):
// those alone do not end the wait, and a wait of a frame or less (flies on the move,
// their windows echoing every move) leaves the connection alone and reads what came at
// the frame, rather than waking for each echo.
void X11Platform::waitForEvents(FlyLoop& loop, double deadline) {
    xcb_connection_t* c = display_.c();
    xcb_flush(c);
    bool heard = false;
    while (!heard) {
        xcb_generic_event_t* event = xcb_poll_for_queued_event(c);
        bool timedOut = false;
        if (event == nullptr) {
            int timeout = -1;
            if (deadline != kNoDeadline) timeout = int(std::max(0.0, std::min((deadline - now()) * 1000.0, 3.6e6)));
            const bool frameWait = timeout >= 0 && timeout <= kFrameWaitMs;
            pollfd fds[2] = {{g_signalPipe[0], POLLIN, 0}, {xcb_get_file_descriptor(c), POLLIN, 0}};
            const int ready = poll(fds, frameWait ? 1 : 2, timeout);
            if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
                onSignals(loop);
                heard = true;
            }
            timedOut = ready <= 0;
            event = xcb_poll_for_event(c);
        }
        for (; event != nullptr; event = xcb_poll_for_event(c)) {
            heard = dispatch(loop, event) || heard;
            std::free(event);
        }
        if (display_.broken()) {
            displayLost_ = true;
            loop.quit();
            return;
        }
        if (timedOut) return;  // the deadline
    }
}

bool X11Platform::dispatch(FlyLoop& loop, const xcb_generic_event_t* event) {
    if (tray_.handle(loop, event)) return true;
    const std::uint8_t type = responseType(event);
    switch (type) {
        case 0: return false;  // an error, most likely about a window that went meanwhile
        case XCB_CREATE_NOTIFY:
            return onStructure(loop, reinterpret_cast<const xcb_create_notify_event_t*>(event)->window,
                               DesktopEvent::Created);
        case XCB_MAP_NOTIFY:
            return onStructure(loop, reinterpret_cast<const xcb_map_notify_event_t*>(event)->window,
                               DesktopEvent::Shown);
        case XCB_UNMAP_NOTIFY:
            return onStructure(loop, reinterpret_cast<const xcb_unmap_notify_event_t*>(event)->window,
                               DesktopEvent::Hidden);
        case XCB_DESTROY_NOTIFY:
            return onStructure(loop, reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window,
                               DesktopEvent::Hidden);
        case XCB_CONFIGURE_NOTIFY:
            return onConfigure(loop, *reinterpret_cast<const xcb_configure_notify_event_t*>(event));
        case XCB_PROPERTY_NOTIFY: return onProperty(loop, *reinterpret_cast<const xcb_property_notify_event_t*>(event));
        case XCB_CLIENT_MESSAGE:
            onClientMessage(loop, *reinterpret_cast<const xcb_client_message_event_t*>(event));
            return true;
        case XCB_SELECTION_CLEAR:  // another start took the flies over
            if (reinterpret_cast<const xcb_selection_clear_event_t*>(event)->selection !=
                display_.atom(GNATTER_FLIES_SCREEN)) {
                return false;
            }
            loop.onLeaveRequest();
            return true;
        case XCB_MAPPING_NOTIFY: readButtonMapping(); return false;
        case XCB_GE_GENERIC: onRawInput(loop, event); return true;
        default: break;
    }
    if (display_.randrEvent() != 0 &&
        (type == display_.randrEvent() + XCB_RANDR_SCREEN_CHANGE_NOTIFY || type == display_.randrEvent() + XCB_RANDR_NOTIFY)) {
        loop.onMonitorsChanged();
        return true;
    }
    if (display_.xfixesEvent() != 0 && type == display_.xfixesEvent() + XCB_XFIXES_SELECTION_NOTIFY) {
        onSelectionChange(loop, reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event)->selection);
        return true;
    }
    if (display_.screensaverEvent() != 0 && type == display_.screensaverEvent() + XCB_SCREENSAVER_NOTIFY) {
        const auto* saver = reinterpret_cast<const xcb_screensaver_notify_event_t*>(event);
        loop.onPaused(saver->state == XCB_SCREENSAVER_STATE_ON);
        return true;
    }
    return false;
}

bool X11Platform::onStructure(FlyLoop& loop, xcb_window_t window, DesktopEvent event) {
    if (ours(window)) return false;
    loop.onDesktopEvent(event);
    return true;
}

// A child of the root moved, changed size or changed its place in the stacking order
// (the event does not say which); the root itself changing size is a monitor change.
bool X11Platform::onConfigure(FlyLoop& loop, const xcb_configure_notify_event_t& event) {
    if (event.window == display_.root()) {
        loop.onMonitorsChanged();
        return true;
    }
    if (ours(event.window)) return false;
    loop.onDesktopEvent(DesktopEvent::Moved);
    loop.onDesktopEvent(DesktopEvent::Restacked);
    return true;
}

bool X11Platform::onProperty(FlyLoop& loop, const xcb_property_notify_event_t& event) {
    if (event.window != display_.root()) return false;
    if (event.atom == display_.atom(NET_ACTIVE_WINDOW)) {
        loop.onDesktopEvent(DesktopEvent::Foreground);
    } else if (event.atom == display_.atom(NET_CLIENT_LIST_STACKING)) {
        loop.onDesktopEvent(DesktopEvent::Restacked);
    } else if (event.atom == display_.atom(NET_WORKAREA) || event.atom == display_.atom(NET_CLIENT_LIST) ||
               event.atom == XCB_ATOM_RESOURCE_MANAGER) {
        // Panels come and go (struts), and the desktop's scale may change.
        loop.onMonitorsChanged();
    } else {
        return false;
    }
    return true;
}

void X11Platform::onClientMessage(FlyLoop& loop, const xcb_client_message_event_t& event) {
    Command command;
    std::uint32_t value = 0;
    if (!readCommand(display_, event, owner_, command, value)) return;
    if (command == Command::Leave) loop.onLeaveRequest();
    if (command == Command::Swatting) loop.setSwatting(value != 0);
}

// XInput 2 raw events come for every pointer device wherever the pointer is, grabs or
// not; they carry no position, so a reading follows (the loop asks for it).
void X11Platform::onRawInput(FlyLoop& loop, const xcb_generic_event_t* event) {
    const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
    if (display_.xinputOpcode() == 0 || generic->extension != display_.xinputOpcode()) return;
    if (generic->event_type == XCB_INPUT_RAW_MOTION) return loop.onPointerReport(false);
    if (generic->event_type != XCB_INPUT_RAW_BUTTON_PRESS) return;
    // A raw button is a physical one; the pointer mapping says which is primary (left-handed
    // mice swap them).
    const std::uint32_t button = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event)->detail;
    const bool primary = button >= 1 && button <= buttonMap_.size() ? buttonMap_[button - 1] == 1 : button == 1;
    loop.onPointerReport(primary);
}

void X11Platform::onSelectionChange(FlyLoop& loop, xcb_atom_t selection) {
    if (selection != display_.atom(NET_WM_CM_SCREEN)) return;
    const bool argb = compositorRuns();
    if (argb == flies_.argb()) return;
    // The other look: new windows, shown at once as the flies are now.
    const std::size_t count = loop.swarm().flyCount();
    flies_.create(count, argb);
    if (!loop.swarm().done()) flies_.update(loop.swarm(), hiddenOn_);
}

bool X11Platform::ours(xcb_window_t window) const {
    return flies_.owns(window) || window == owner_ || tray_.owns(window);
}

void X11Platform::onSignals(FlyLoop& loop) {
    char bytes[16];
    const ssize_t n = read(g_signalPipe[0], bytes, sizeof bytes);
    if (n <= 0) return;
    // The first asks the flies to leave, as the tray menu does; another ends at once.
    if (signalsSeen_++ == 0) {
        loop.onLeaveRequest();
    } else {
        loop.quit();
    }
}

bool X11Platform::compositorRuns() {
    xcb_connection_t* c = display_.c();
    auto r = reply(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, display_.atom(NET_WM_CM_SCREEN)),
                                                 nullptr));
    return r && r->owner != XCB_WINDOW_NONE && display_.argbVisual() != 0;
}

void X11Platform::readButtonMapping() {
    xcb_connection_t* c = display_.c();
    auto r = reply(xcb_get_pointer_mapping_reply(c, xcb_get_pointer_mapping(c), nullptr));
    buttonMap_.clear();
    if (!r) return;
    const std::uint8_t* map = xcb_get_pointer_mapping_map(r.get());
    buttonMap_.assign(map, map + xcb_get_pointer_mapping_map_length(r.get()));
}

// Presses are always reported (they are rare); moves only while the loop wants them.
void X11Platform::selectRawInput() {
    if (display_.xinputOpcode() == 0) return;
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t mask;
    } select = {{XCB_INPUT_DEVICE_ALL_MASTER, 1},
                XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | (watchingMoves_ ? std::uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_MOTION) : 0u)};
    xcb_input_xi_select_events(display_.c(), display_.root(), 1, &select.head);
}

bool X11Platform::watchPointerMoves(bool on) {
    if (display_.xinputOpcode() == 0) return false;
    watchingMoves_ = on;
    selectRawInput();
    return true;
}

PointerReading X11Platform::readPointer() {
    xcb_connection_t* c = display_.c();
    PointerReading reading;
    auto r = reply(xcb_query_pointer_reply(c, xcb_query_pointer(c, display_.root()), nullptr));
    if (!r || !r->same_screen) return reading;
    reading.present = true;
    reading.x = r->root_x;
    reading.y = r->root_y;
    reading.buttonDown = (r->mask & XCB_BUTTON_MASK_1) != 0;
    return reading;
}

DesktopReading X11Platform::readDesktop() { return reader_.readDesktop(monitors_); }

std::vector<Monitor> X11Platform::readMonitors() {
    monitors_ = reader_.readMonitors();
    return monitors_;
}

void X11Platform::showFlies(const Swarm& swarm, const std::vector<Rect>& hiddenOn) {
    hiddenOn_ = hiddenOn;
    flies_.update(swarm, hiddenOn);
}

void X11Platform::hideFlies() { flies_.hideAll(); }
void X11Platform::raiseFlies() { flies_.raise(); }
void X11Platform::showFlyCount(std::size_t alive) { tray_.showFlyCount(alive); }

// A line a second for the desktop bench: the time (Unix seconds), the window moves and the
// picture changes so far, and the pictures uploaded.
void X11Platform::logWindowWork() {
    timespec wall = {};
    clock_gettime(CLOCK_REALTIME, &wall);
    std::fprintf(workLog_, "%.3f %lu %lu %lu\n", double(wall.tv_sec) + double(wall.tv_nsec) * 1e-9, flies_.moves(),
                 flies_.pictures(), flies_.uploads());
    std::fflush(workLog_);
}

}  // namespace gnatter::x11
