// fly_ethogram: runs the seeded swarm headless and prints how its flies behave, next to
// what real house flies do, with a tick or a cross per row. Exits 1 when a row fails.
//
//   fly_ethogram [--flies N] [--size PX] [--seconds S] [--seed N] [--runs N]
//                [--work WxH] [--windows] [--pointer]
//   fly_ethogram --launcher-default [--seed N]
//
// --runs pools that many independent runs (seeds N, N + 1, ...): one fly does too
// little in ten minutes to judge every row. --windows puts three windows on the desktop
// and moves the topmost one every minute; --pointer adds a visitor with the mouse who
// dashes at flies, creeps up on them, moves away from them, passes wide and parks beside
// them. After the measured time every run asks its flies to leave and follows them for
// up to five seconds (the "Departure" rows). The rows cover the time budget, rests, walks
// and flights with the texture of their speed and turning, the picture's heading from
// frame to frame, grooming and its rhythm, flies keeping their distance, chases, escapes
// and the Win32 layer's work.
//
// --launcher-default runs what the launcher starts by default, one fly of 36 px for 15 s,
// over twenty seeds from --seed on: does the fly show its ways (land, walk, groom, fly
// again) before it leaves, and is it gone in time. Its rows also end every other report.
#include "ethogram.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool number(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0';
}

int usage() {
    std::fprintf(stderr,
                 "usage: fly_ethogram [--flies 1..200] [--size 4..256] [--seconds S] [--seed N] [--runs N] [--work WxH] "
                 "[--windows] [--pointer]\n"
                 "       fly_ethogram --launcher-default [--seed N]   (1 fly of 36 px for 15 s, over 20 seeds)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    gnatter::ethogram::Setup setup;
    int workWidth = 1920, workHeight = 1040;
    bool launcherOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        double value = 0.0;
        const bool hasValue = i + 1 < argc && number(argv[i + 1], value);
        if (a == "--flies" && hasValue && value >= 1 && value <= 200) {
            setup.flies = int(value);
        } else if (a == "--size" && hasValue && value >= 4 && value <= 256) {
            setup.size = int(value);
        } else if (a == "--seconds" && hasValue && value > 0 && value <= 86400) {
            setup.seconds = value;
        } else if (a == "--runs" && hasValue && value >= 1 && value <= 1000) {
            setup.runs = int(value);
        } else if (a == "--seed" && hasValue && value >= 0) {
            setup.seed = std::uint64_t(value);
        } else if (a == "--work" && i + 1 < argc && std::sscanf(argv[i + 1], "%dx%d", &workWidth, &workHeight) == 2 &&
                   workWidth >= 64 && workHeight >= 64 && workWidth <= 16384 && workHeight <= 16384) {
        } else if (a == "--windows") {
            setup.windows = {{{300, 200, 1000, 700}, 1}, {{800, 400, 1600, 900}, 2}, {{100, 600, 700, 1000}, 3}};
            setup.moveWindowEvery = 60.0;
            continue;
        } else if (a == "--pointer") {
            setup.pointer = true;
            continue;
        } else if (a == "--launcher-default") {
            launcherOnly = true;
            continue;
        } else {
            return usage();
        }
        ++i;
    }
    gnatter::Monitor monitor;
    monitor.bounds = {0, 0, workWidth, workHeight + 40};
    monitor.workArea = {0, 0, workWidth, workHeight};
    setup.monitors = {monitor};

    const auto start = std::chrono::steady_clock::now();
    if (launcherOnly) {
        gnatter::ethogram::Report report;
        report.rows = gnatter::ethogram::launcherDefault(setup.seed).rows;
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::printf("The launcher's default: 1 fly of 36 px leaving after 15 s, 1920x1040 work area, 20 runs from seed %llu\n\n",
                    static_cast<unsigned long long>(setup.seed));
        std::fputs(gnatter::ethogram::table(report).c_str(), stdout);
        std::printf("\n(measured in %.0f ms)\n", ms);
        return report.allPass() ? 0 : 1;
    }
    const gnatter::ethogram::Report report = gnatter::ethogram::run(setup);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d %s of %d px, %dx%d work area, %.0f simulated seconds, %d run%s from seed %llu%s%s\n\n", setup.flies,
                setup.flies == 1 ? "fly" : "flies", setup.size, workWidth, workHeight, setup.seconds, setup.runs,
                setup.runs == 1 ? "" : "s", static_cast<unsigned long long>(setup.seed),
                setup.windows.empty() ? "" : ", three windows (one moved every minute)",
                setup.pointer ? ", a scripted pointer" : ", no pointer");
    std::fputs(gnatter::ethogram::table(report).c_str(), stdout);
    std::printf("\n(measured in %.0f ms)\n", ms);
    return report.allPass() ? 0 : 1;
}
