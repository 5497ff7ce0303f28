// Command-line options of the fly program. The launcher sends
// `-n COUNT -t SECONDS -s PIXELS [-v PERCENT]`; people and scripts may also use the
// options in any order, --help, --version, --stop, --swatting, --seed and --no-swat.
// Platform-free: the caller splits the command line into words with the platform's own
// rules and passes them in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gnatter {

struct Options {
    int count = 1;             // -n: flies, 1..200
    int timeoutSeconds = 15;   // -t: 0..86400, 0 = never leave on their own
    int sizePixels = 36;       // -s: base body length in pixels, 4..256
    int variationPercent = 0;  // -v: 0..100, each fly's size varies by up to this either way
    bool showHelp = false;     // --help, -h, /?
    bool showVersion = false;  // --version
    bool stopRunning = false;  // --stop: make the flies of a running instance leave
    int setSwatting = -1;      // --swatting on|off: 1 or 0 for a running instance's flies; -1 not given
    bool swat = true;          // a click on a fly squashes it; --no-swat turns that off
    bool hasSeed = false;      // --seed N given
    std::uint64_t seed = 0;    // --seed: 0..18446744073709551615
};

struct ParseResult {
    bool ok = false;
    Options options;    // meaningful only when ok
    std::string error;  // one sentence naming the option and what it accepts, when !ok
};

// Parses the words after the program name. Never throws.
ParseResult parseOptions(const std::vector<std::string>& args);

// Multi-line usage text shown with --help and after an error, for the program named
// `program` ("gnatter.exe", "gnatter"). Short lines, as a message box needs them.
std::string usageText(const std::string& program);

// An error of ParseResult as one line (it comes broken into short lines for a message box).
std::string oneLine(const std::string& error);

}  // namespace gnatter
