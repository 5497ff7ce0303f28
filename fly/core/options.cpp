// Parses the fly program's command line: the launcher's fixed `-n -t -s -v` form, the
// same options in any order, and --help, --stop and --seed for people and scripts.
// Every rejection is one sentence that names the option and says what it accepts.
#include "options.h"

#include <cstddef>
#include <cstdint>

namespace gnatter {
namespace {

// Long enough to recognise a typo, short enough that pasted garbage stays harmless.
constexpr std::size_t kMaxQuotedChars = 24;

// The offending word in quotes, trimmed and with anything unprintable (control bytes,
// non-ASCII) shown as '?', so an error line can always be shown or logged as it is.
std::string quoted(const std::string& word) {
    std::string out = "\"";
    std::size_t shown = 0;
    for (unsigned char c : word) {
        if (shown == kMaxQuotedChars) {
            out += "...";
            break;
        }
        out += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
        ++shown;
    }
    out += '"';
    return out;
}

// Plain decimal digits only: a sign, spaces, hex or exponents are typing mistakes here,
// and leading zeros are harmless. False on overflow as well.
bool parseDecimal(const std::string& word, std::uint64_t& value) {
    if (word.empty()) return false;
    std::uint64_t v = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return false;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (v > (UINT64_MAX - digit) / 10) return false;
        v = v * 10 + digit;
    }
    value = v;
    return true;
}

struct NumberOption {
    const char* name;
    const char* accepts;  // completes "Option X needs ..."
    std::uint64_t min, max;
};

const NumberOption kCount{"-n", "a whole number of flies from 1 to 200", 1, 200};
const NumberOption kTimeout{"-t", "a whole number of seconds from 0 to 86400 (0 = stay until stopped)", 0, 86400};
const NumberOption kSize{"-s", "a fly size in whole pixels from 4 to 256", 4, 256};
const NumberOption kVariation{"-v", "a size variation in whole percent from 0 to 100", 0, 100};
const NumberOption kSeed{"--seed", "a whole number from 0 to 18446744073709551615", 0, UINT64_MAX};

bool isHelpWord(const std::string& w) { return w == "--help" || w == "-h" || w == "/?"; }

ParseResult failure(std::string message) {
    ParseResult r;
    r.error = std::move(message);
    return r;
}

}  // namespace

ParseResult parseOptions(const std::vector<std::string>& args) {
    // Someone asking for help gets it, whatever else is on the line: they are about to
    // find out how to fix the rest anyway.
    for (const std::string& w : args) {
        if (isHelpWord(w)) {
            ParseResult r;
            r.ok = true;
            r.options.showHelp = true;
            return r;
        }
    }

    Options o;
    bool seen[6] = {false, false, false, false, false, false};  // -n -t -s -v --seed --stop
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& w = args[i];
        const NumberOption* option = nullptr;
        int slot = -1;
        if (w == "-n") { option = &kCount; slot = 0; }
        else if (w == "-t") { option = &kTimeout; slot = 1; }
        else if (w == "-s") { option = &kSize; slot = 2; }
        else if (w == "-v") { option = &kVariation; slot = 3; }
        else if (w == "--seed") { option = &kSeed; slot = 4; }
        else if (w == "--stop") { slot = 5; }
        else {
            return failure("Unknown option " + quoted(w) +
                           "; the options are -n, -t, -s, -v, --seed, --stop and --help.");
        }
        if (seen[slot]) {
            return failure("Option " + w + " was given more than once; give it at most once.");
        }
        seen[slot] = true;
        if (!option) {
            o.stopRunning = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            return failure(std::string("Option ") + option->name + " needs " + option->accepts +
                           ", but nothing followed it.");
        }
        const std::string& value = args[++i];
        std::uint64_t v = 0;
        if (!parseDecimal(value, v) || v < option->min || v > option->max) {
            return failure(std::string("Option ") + option->name + " needs " + option->accepts +
                           ", not " + quoted(value) + ".");
        }
        switch (slot) {
            case 0: o.count = static_cast<int>(v); break;
            case 1: o.timeoutSeconds = static_cast<int>(v); break;
            case 2: o.sizePixels = static_cast<int>(v); break;
            case 3: o.variationPercent = static_cast<int>(v); break;
            default: o.hasSeed = true; o.seed = v; break;
        }
    }
    ParseResult r;
    r.ok = true;
    r.options = o;
    return r;
}

const char* usageText() {
    return "Usage: gnatter [options]\n"
           "Lets flies crawl over the desktop until the time is up, then they fly away.\n"
           "\n"
           "  -n COUNT      number of flies, 1 to 200 (default 1)\n"
           "  -t SECONDS    time before they leave, 0 to 86400; 0 = stay until stopped\n"
           "                (default 15)\n"
           "  -s PIXELS     body length of a fly, 4 to 256 (default 36)\n"
           "  -v PERCENT    each fly's size varies by up to this much either way, 0 to 100\n"
           "                (default 0)\n"
           "  --seed N      fixes every random choice, 0 to 18446744073709551615\n"
           "                (default: a new seed each run)\n"
           "  --stop        makes the flies of an already running gnatter leave\n"
           "  -h, --help, /?  shows this text\n"
           "\n"
           "Numbers are plain decimal digits, each given as its own word, e.g. -n 3 -t 60.\n";
}

}  // namespace gnatter
