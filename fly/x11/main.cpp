// gnatter: flies crawling over an X11 desktop. Reads the options (help and errors on the
// terminal, as Linux programs do), connects to the display, takes the display's flies
// over from a program already running there, and lets its own flies out.
#include "fly_loop.h"
#include "instance.h"
#include "options.h"
#include "swarm.h"
#include "x11_display.h"
#include "x11_platform.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const int kExitCannotStart = 1;
const int kExitBadOptions = 2;

void complain(const std::string& sentence) { std::fprintf(stderr, "gnatter: %s\n", sentence.c_str()); }

// Differs between runs: the clock's low bits change constantly, the process id separates
// two starts within the same tick.
std::uint64_t entropy() {
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::uint64_t(ticks) ^ (std::uint64_t(getpid()) << 40);
}

}  // namespace

int main(int argc, char** argv) {
    const gnatter::ParseResult parsed = gnatter::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.ok) {
        complain(gnatter::oneLine(parsed.error));
        std::fprintf(stderr, "Try 'gnatter --help' for the options.\n");
        return kExitBadOptions;
    }
    const gnatter::Options& options = parsed.options;
    if (options.showHelp) {
        std::fputs(gnatter::usageText("gnatter").c_str(), stdout);
        return 0;
    }
    if (options.showVersion) {
        std::printf("gnatter %s\n", GNATTER_VERSION);
        return 0;
    }

    gnatter::x11::Display display(nullptr);
    if (!display.error().empty()) {
        complain(display.error() + ".");
        return kExitCannotStart;
    }
    if (options.stopRunning || options.setSwatting >= 0) {
        using gnatter::x11::Command;
        if (options.stopRunning) gnatter::x11::tellRunning(display, Command::Leave);
        if (options.setSwatting >= 0) gnatter::x11::tellRunning(display, Command::Swatting, std::uint32_t(options.setSwatting));
        return 0;
    }

    // The platform starts first: the loop reads the monitors and the other windows as it
    // is made, for the flies' first landings.
    // The options allow 1 to 200 flies, as many as the swarm makes.
    gnatter::x11::X11Platform platform(display);
    if (!platform.start(std::size_t(options.count))) return kExitCannotStart;
    gnatter::FlyLoop loop(platform, options, gnatter::chooseSeed(options, entropy()));
    loop.run();
    if (platform.displayLost()) {
        complain("lost the connection to the X display; the flies are gone.");
        return kExitCannotStart;
    }
    return 0;
}
