// Other programs' windows as places to land: the visible top-level windows, topmost
// first, and a watch that hears when one of them moves, appears, goes or is minimised.
#pragma once

#include "fly_platform.h"
#include "swarm.h"

#include <vector>

namespace gnatter::win32 {

// The visible top-level windows of other programs, topmost first. Left out: hidden,
// minimised, cloaked (another virtual desktop, a suspended app) and empty windows, the
// shell's desktop windows, and click-through layered windows (overlays, other flies).
// WindowBox::id is the window's handle. `fliesBuried`, when given, is set when one of
// this program's fly windows lies below another program's window that overlaps it.
std::vector<gnatter::WindowBox> desktopWindows(bool* fliesBuried = nullptr);

// Listens for other programs' top-level windows changing (WINEVENT_OUTOFCONTEXT: the
// events arrive as messages while the calling thread pumps them). Call once from the
// thread that runs the message loop.
void watchDesktopWindows();
void stopWatchingDesktopWindows();

// The kinds of watched event that arrived since the last call, each kind once.
std::vector<gnatter::DesktopEvent> takeDesktopEvents();

}  // namespace gnatter::win32
