// Notices a full-screen application in front (a film, a game, a presentation), so the
// flies on its monitor can stay out of sight until it leaves full screen.
#pragma once

#include "swarm.h"

namespace gnatter::win32 {

// True when the foreground window belongs to another program, is not the desktop, and
// covers its whole monitor; `monitor` then receives that monitor's bounds.
bool findFullScreenMonitor(gnatter::Rect& monitor);

}  // namespace gnatter::win32
