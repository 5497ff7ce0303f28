// The running fly program on Windows: the hidden owner window (notification-area icon,
// system broadcasts, messages from other instances), the fly windows, and the shared
// loop that drives the swarm, carried out with Win32 calls.
#pragma once

#include "options.h"

#include <cstdint>

namespace gnatter::win32 {

// Creates the owner window, the tray icon, the swarm and its windows. False on failure.
bool startFlies(const gnatter::Options& options, std::uint64_t seed);

// Runs until every fly has left (timeout, "Shoo the flies", another instance) or the
// session ends; returns the exit code.
int runFlies();

}  // namespace gnatter::win32
