// The flies' ethogram: runs a seeded swarm headless (no window, no clock: Swarm::advance
// paced as the Win32 layer paces it) and measures what a person watching, or a biologist
// with a tracker, would: the time budget, how long rests last, how walks and flights go,
// where flies land, grooming, chases and escapes, and what the Win32 layer would have to
// do for it (window moves and picture changes). Beyond medians it looks at the texture of
// motion (texture.h): whether speed, turning, stepping and rubbing vary as in living flies
// or run like a program, whether the picture jumps, whether flies keep their distance;
// then, after the measured time, how they leave. Every figure comes from what the swarm
// reports (FlyView), never from its internals.
#pragma once

#include "swarm.h"

#include <cstdint>
#include <string>
#include <vector>

namespace gnatter::ethogram {

struct Setup {
    int flies = 20;
    int size = 36;
    double seconds = 600.0;
    std::uint64_t seed = 1;
    int runs = 1;                    // independent runs pooled, seeds seed, seed + 1, ...
    std::vector<Monitor> monitors;   // empty: one 1920x1080 monitor, 1920x1040 work area
    std::vector<WindowBox> windows;  // other programs' windows, topmost first
    // Every this many seconds the first window moves (its perch-holders must take off);
    // 0 = never.
    double moveWindowEvery = 0.0;
    bool pointer = false;            // a scripted visitor with the mouse
    bool launcherDefault = true;     // append the rows of launcherDefault(seed)
};

struct Row {
    std::string name;
    std::string measured;
    std::string target;
    bool applies = true;   // false: not measurable in this run (no pointer, one fly, ...)
    bool pass = true;
};

struct Report {
    std::vector<Row> rows;
    // Raw figures, for tests.
    double stillShare = 0, groomShare = 0, flyShare = 0;
    double restMedian = 0, restP90 = 0, restLongest = 0;
    double edgeLandingShare = 0;
    double opsPerFlySecond = 0, movesPerFlySecond = 0, picturesPerFlySecond = 0;
    int landings = 0, escapes = 0, startlesWithoutApproach = 0, escapesTooClose = 0;
    int chases = 0, chasesEndedTogether = 0;
    int perchMoves = 0, perchLateTakeOffs = 0;
    bool allPass() const;
};

Report run(const Setup& setup);

// The launcher's default run: one fly of 36 px that leaves after 15 s, on the default
// desktop, over `runs` seeds from `seed` on. Within its 15 s a fly shows what flies do:
// it lands, walks, grooms and takes off again; and it is gone soon after.
struct LauncherRuns {
    int runs = 0, complete = 0;
    double latestGone = 0.0;  // seconds from the start
    bool allGone = true;
    std::vector<Row> rows;
};
LauncherRuns launcherDefault(std::uint64_t seed, int runs = 20);

// The report as a Markdown table.
std::string table(const Report& report);

}  // namespace gnatter::ethogram
