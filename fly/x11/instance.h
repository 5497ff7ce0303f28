// One swarm per X display: the running program owns a selection named for the screen. A
// new start takes it over, and the program that held it hears so (SelectionClear) and
// sends its flies away; --stop and --swatting reach the owner as client messages.
#pragma once

#include "x11_display.h"

namespace gnatter::x11 {

enum class Command : std::uint32_t { Leave = 1, Swatting = 2 };

// Makes `owner` (a window that selects PropertyChangeMask) the owner of the screen's fly
// selection. Returns false when the server refused.
bool takeOverFlies(Display& display, xcb_window_t owner);

// Sends a command to the program whose flies are out on this screen; false when none is.
bool tellRunning(Display& display, Command command, std::uint32_t value = 0);

// True when `event` is a command for `owner`; fills in what it says.
bool readCommand(const Display& display, const xcb_client_message_event_t& event, xcb_window_t owner,
                 Command& command, std::uint32_t& value);

}  // namespace gnatter::x11
