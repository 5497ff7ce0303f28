// The fly selection and the commands sent to its owner.
#include "instance.h"

#include <cstdlib>

namespace gnatter::x11 {

bool takeOverFlies(Display& display, xcb_window_t owner) {
    xcb_connection_t* c = display.c();
    const xcb_atom_t selection = display.atom(GNATTER_FLIES_SCREEN);
    // ICCCM: a real timestamp, not CurrentTime, so that two starts at once cannot both win.
    const xcb_timestamp_t time = display.serverTime(owner);
    xcb_set_selection_owner(c, owner, selection, time);
    auto r = reply(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    return r && r->owner == owner;
}

bool tellRunning(Display& display, Command command, std::uint32_t value) {
    xcb_connection_t* c = display.c();
    auto r = reply(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, display.atom(GNATTER_FLIES_SCREEN)),
                                                 nullptr));
    if (!r || r->owner == XCB_WINDOW_NONE) return false;
    xcb_client_message_event_t message = {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = r->owner;
    message.type = display.atom(GNATTER_COMMAND);
    message.data.data32[0] = std::uint32_t(command);
    message.data.data32[1] = value;
    // To whoever selects property changes on the owner window: only its program does.
    xcb_send_event(c, 0, r->owner, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char*>(&message));
    // A round trip before this program ends: a server may drop what a client that is
    // already gone sent last.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return true;
}

bool readCommand(const Display& display, const xcb_client_message_event_t& event, xcb_window_t owner,
                 Command& command, std::uint32_t& value) {
    if (event.window != owner || event.type != display.atom(GNATTER_COMMAND) || event.format != 32) return false;
    command = Command(event.data.data32[0]);
    value = event.data.data32[1];
    return command == Command::Leave || command == Command::Swatting;
}

}  // namespace gnatter::x11
