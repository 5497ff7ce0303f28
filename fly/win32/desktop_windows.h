// Other programs' windows as places to land: the visible top-level windows, topmost
// first, and a watch that hears when one of them moves, appears, goes or is minimised.
#pragma once

#include "swarm.h"

#include <vector>

namespace gnatter::win32 {

// The visible top-level windows of other programs, topmost first. Left out: hidden,
// minimised, cloaked (another virtual desktop, a suspended app) and empty windows, the
// shell's desktop windows, and click-through layered windows (overlays, other flies).
// WindowBox::id is the window's handle.
std::vector<gnatter::WindowBox> desktopWindows();

// Listens for other programs' top-level windows changing (WINEVENT_OUTOFCONTEXT: the
// events arrive as messages while the calling thread pumps them). Call once from the
// thread that runs the message loop.
void watchDesktopWindows();
void stopWatchingDesktopWindows();

// True once since the last call when a watched event arrived.
bool takeDesktopChanged();
// True once any event other than a window's creation has arrived: the system reports
// moves and hides to us, so a slow safety poll is enough. (Wine 8 only reports creation
// to other processes.)
bool desktopEventsArrive();

bool sameWindows(const std::vector<gnatter::WindowBox>& a, const std::vector<gnatter::WindowBox>& b);

}  // namespace gnatter::win32
