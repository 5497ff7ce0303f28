// The running fly program: the hidden owner window (notification-area icon, system
// broadcasts, messages from other instances), the fly windows and the frame loop that
// drives the swarm.
#pragma once

#include "options.h"

#include <cstdint>

namespace gnatter::win32 {

// Creates the owner window, the tray icon, the swarm and its windows. False on failure.
bool startFlies(const gnatter::Options& options, std::uint64_t seed);

// Seconds until the pointer is read again: a frame while it could startle or swat a fly
// (near one, and moved within the last quarter second or with the primary button held),
// otherwise Swarm::kPointerReadSeconds, or a second while the system reports every mouse
// event to the program (movesReported).
double pointerReadDelay(bool nearFly, double secondsSinceMoved, bool buttonHeld, bool movesReported);

// Seconds to sleep while every fly rests, given the swarm's restingSecondsLeft(): long
// enough that the wake-up shows what ended the rest.
double restWaitSeconds(double restingSecondsLeft);

// Runs until every fly has left (timeout, "Shoo the flies", another instance) or the
// session ends; returns the exit code.
int runFlies();

}  // namespace gnatter::win32
