// Parses the fly program's command line: the launcher's fixed `-n -t -s -v` form, the
// same options in any order, and --help, --version, --stop, --swatting, --seed and
// --no-swat for people and scripts.
// Every rejection is one sentence that names the option and says what it accepts, broken
// into short lines of its own.
#include "options.h"

#include <cstddef>
#include <cstdint>

namespace gnatter {
namespace {

// Long enough to recognise a typo, short enough that pasted garbage stays harmless.
constexpr std::size_t kMaxQuotedChars = 24;
// A message box breaks a line that does not fit at spaces and also after hyphens, which
// tears option names apart ("-" at one line's end, "s" at the next). Error lines are
// broken at spaces beforehand, each no wider than the usage text's lines that follow.
constexpr std::size_t kMaxLineChars = 46;

// Length of the well-formed UTF-8 sequence starting at text[i], with its code point in
// `code`; 0 when the bytes there are not one (stray, cut, overlong or surrogate).
std::size_t decodeUtf8(const std::string& text, std::size_t i, std::uint32_t& code) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    if (lead < 0x80) { code = lead; return 1; }
    if (lead >= 0xc2 && lead <= 0xdf) { length = 2; code = lead & 0x1fu; }
    else if (lead >= 0xe0 && lead <= 0xef) { length = 3; code = lead & 0x0fu; }
    else if (lead >= 0xf0 && lead <= 0xf4) { length = 4; code = lead & 0x07u; }
    else return 0;
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned char c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xc0) != 0x80) return 0;
        code = (code << 6) | (c & 0x3fu);
    }
    const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool surrogate = code >= 0xd800 && code <= 0xdfff;
    return (code < smallest[length] || surrogate || code > 0x10ffff) ? 0 : length;
}

// Both ranges of control characters: C0 with DEL, and C1.
bool isControl(std::uint32_t code) { return code < 0x20 || (code >= 0x7f && code < 0xa0); }

// The offending word in quotes, trimmed, as the user typed it (any script); control
// characters and malformed UTF-8 are shown as '?', so an error line can always be shown
// or logged as it is.
std::string quoted(const std::string& word) {
    std::string out = "\"";
    std::size_t shown = 0;
    for (std::size_t i = 0; i < word.size(); ++shown) {
        if (shown == kMaxQuotedChars) {
            out += "...";
            break;
        }
        std::uint32_t code = 0;
        const std::size_t length = decodeUtf8(word, i, code);
        if (length == 0 || isControl(code)) {
            out += '?';
        } else {
            out.append(word, i, length);
        }
        i += length == 0 ? 1 : length;
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

const NumberOption* const kNumberOptions[] = {&kCount, &kTimeout, &kSize, &kVariation, &kSeed};

bool isHelpWord(const std::string& w) { return w == "--help" || w == "-h" || w == "/?"; }

const char kOptionList[] = "-n, -t, -s, -v, --seed, --no-swat, --stop, --swatting, --version and --help";

// For a number glued to its option ("-n5", "-n=5"), the way to write it: "-n 5".
std::string separatedForm(const std::string& w) {
    for (const NumberOption* option : kNumberOptions) {
        const std::string name = option->name;
        if (w.size() <= name.size() || w.compare(0, name.size(), name) != 0) continue;
        std::string value = w.substr(name.size());
        if (value[0] == '=') value.erase(0, 1);
        std::uint64_t number = 0;
        if (parseDecimal(value, number)) return name + " " + std::to_string(number);
    }
    return std::string();
}

// Characters, not bytes: a UTF-8 continuation byte adds nothing.
std::size_t charCount(const std::string& text) {
    std::size_t count = 0;
    for (char c : text) count += (static_cast<unsigned char>(c) & 0xc0) != 0x80 ? 1 : 0;
    return count;
}

// Breaks the text at spaces into lines of at most kMaxLineChars; a longer word keeps a
// line of its own.
std::string brokenIntoLines(const std::string& text) {
    std::string out, line;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && charCount(line) + 1 + charCount(word) > kMaxLineChars) {
            out += line + '\n';
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        start = end + 1;
    }
    return out + line;
}

ParseResult failure(const std::string& message) {
    ParseResult r;
    r.error = brokenIntoLines(message);
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
    bool seen[9] = {};  // -n -t -s -v --seed --stop --no-swat --swatting --version
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
        else if (w == "--no-swat") { slot = 6; }
        else if (w == "--swatting") { slot = 7; }
        else if (w == "--version") { slot = 8; }
        else if (!separatedForm(w).empty()) {
            return failure("Unknown option " + quoted(w) + "; write " + separatedForm(w) +
                           ", with a space between the option and its number.");
        } else {
            return failure("Unknown option " + quoted(w) + "; the options are " + kOptionList + ".");
        }
        if (seen[slot]) {
            return failure("Option " + w + " was given more than once; give it at most once.");
        }
        seen[slot] = true;
        if (slot == 5) o.stopRunning = true;
        if (slot == 6) o.swat = false;
        if (slot == 8) o.showVersion = true;
        if (slot == 7) {
            const std::string value = i + 1 < args.size() ? args[i + 1] : std::string();
            if (value != "on" && value != "off") {
                return failure(std::string("Option --swatting needs on or off, ") +
                               (i + 1 < args.size() ? "not " + quoted(value) + "." : "but nothing followed it."));
            }
            o.setSwatting = value == "on" ? 1 : 0;
            ++i;
        }
        if (!option) continue;
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

// Laid out for a message box, which uses a proportional font and wraps long lines at
// its own width: one option to a line, no columns, every line short.
std::string usageText(const std::string& program) {
    return "Usage: " + program + " [options]\n"
           "Flies crawl over the desktop until the time is up.\n"
           "\n"
           "-n COUNT: number of flies, 1 to 200 (default 1)\n"
           "-t SECONDS: time to stay, 0 to 86400 (default 15)\n"
           "-s PIXELS: body length, 4 to 256 (default 36)\n"
           "-v PERCENT: size variation, 0 to 100 (default 0)\n"
           "--seed N: the same flies each time for one N\n"
           "--no-swat: clicks on flies do not swat them\n"
           "--stop: send the flies that are out away\n"
           "--swatting on|off: for the flies that are out\n"
           "--version: show the version\n"
           "-h, --help or /?: show this text\n"
           "\n"
           "-t 0 keeps the flies out until they are stopped.\n"
           "--seed takes a number from 0 to\n"
           "18446744073709551615.\n"
           "A left click on a fly swats it; \"Swatting\" in\n"
           "the menu of the flies' tray icon turns that on\n"
           "and off. Starting the program again replaces\n"
           "the flies that are out.\n"
           "Put a space between an option and its number:\n"
           "-n 3 -t 60\n";
}

std::string oneLine(const std::string& error) {
    std::string line = error;
    for (char& c : line) {
        if (c == '\n') c = ' ';
    }
    return line;
}

}  // namespace gnatter
