// libFuzzer target for the fly program's option parser: the input bytes become words
// (split on NUL, space, tab and newline, so both command lines and raw binary reach
// it) and whatever parseOptions answers must hold up. Built by bench/fuzz-options.sh.
#include "options.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz_options: %s: %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\0' || c == ' ' || c == '\t' || c == '\n') {
            // A NUL ends a word even when empty, so empty words get tried as well.
            if (inWord || c == '\0') words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);

    const gnatter::ParseResult r = gnatter::parseOptions(words);
    if (r.ok) {
        const gnatter::Options& o = r.options;
        if (!r.error.empty()) fail("accepted with an error text", r.error);
        if (!o.showHelp && !o.showVersion) {
            if (o.count < 1 || o.count > 200) fail("count out of range", std::to_string(o.count));
            if (o.timeoutSeconds < 0 || o.timeoutSeconds > 86400) fail("timeout out of range", std::to_string(o.timeoutSeconds));
            if (o.sizePixels < 4 || o.sizePixels > 256) fail("size out of range", std::to_string(o.sizePixels));
            if (o.variationPercent < 0 || o.variationPercent > 100) fail("variation out of range", std::to_string(o.variationPercent));
            if (o.hasSeed == false && o.seed != 0) fail("seed without --seed", std::to_string(o.seed));
            // Every word must have been understood: options and values alternate, so an
            // accepted line is made of known option names and plain decimal values.
            for (std::size_t i = 0; i < words.size(); ++i) {
                const std::string& w = words[i];
                const bool takesValue = w == "-n" || w == "-t" || w == "-s" || w == "-v" || w == "--seed";
                if (w == "--swatting") {
                    const std::string& v = words[++i];
                    if (v != "on" && v != "off") fail("accepted --swatting without on or off", v);
                    continue;
                }
                if (!takesValue && w != "--stop" && w != "--no-swat") fail("accepted an unknown word", w);
                if (takesValue) {
                    const std::string& v = words[++i];
                    if (v.empty() || v.find_first_not_of("0123456789") != std::string::npos)
                        fail("accepted a value that is not plain decimal", v);
                }
            }
        }
    } else {
        if (r.error.empty()) fail("rejected without an error text", "");
        // The rejected word is quoted as typed, in any script: the text must be well-formed
        // UTF-8 without control characters (C0 but the line break, DEL or C1).
        std::size_t characters = 0;
        for (std::size_t i = 0; i < r.error.size(); ++characters) {
            const unsigned char u = static_cast<unsigned char>(r.error[i]);
            const std::size_t length = u < 0x80 ? 1 : u >= 0xf0 ? 4 : u >= 0xe0 ? 3 : u >= 0xc2 ? 2 : 0;
            if (length == 0 || i + length > r.error.size()) fail("malformed UTF-8 in error text", std::to_string(u));
            std::uint32_t code = length == 1 ? u : u & (0x3fu >> (length - 1));
            for (std::size_t k = 1; k < length; ++k) {
                const unsigned char c = static_cast<unsigned char>(r.error[i + k]);
                if ((c & 0xc0) != 0x80) fail("malformed UTF-8 in error text", std::to_string(c));
                code = code << 6 | (c & 0x3fu);
            }
            // Line breaks lay the message out for a message box; nothing else may be a control.
            if ((code < 0x20 && code != '\n') || (code >= 0x7f && code < 0xa0)) {
                fail("control character in error text", std::to_string(code));
            }
            i += length;
        }
        // Counted in characters: a quoted word in a four-byte script is as short on screen.
        if (characters > 200) fail("overlong error text", r.error);
    }
    return 0;
}
