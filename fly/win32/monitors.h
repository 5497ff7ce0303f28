// The monitors as the swarm sees them: every monitor's bounds and work area in
// virtual-screen pixels, and its DPI scale.
#pragma once

#include "swarm.h"

#include <vector>

namespace gnatter::win32 {

std::vector<gnatter::Monitor> currentMonitors();

}  // namespace gnatter::win32
