// Tests of the fly program's command-line parsing: every accepted form and every kind
// of rejection, with the rejection naming the option at fault.
#include "options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace gnatter {
namespace {

using Words = std::vector<std::string>;

std::string joined(const Words& words) {
    std::string s;
    for (const auto& w : words) s += (s.empty() ? "" : " ") + ("[" + w + "]");
    return s;
}

struct Accepted {
    const char* name;
    Words args;
    int count, timeout, size, variation;
    bool help, stop, hasSeed;
    std::uint64_t seed;
    bool noSwat = false;
    int setSwatting = -1;
    bool version = false;
};

// Cases are named by their name alone, not by a dump of their bytes.
void PrintTo(const Accepted& c, std::ostream* out) { *out << c.name; }

class AcceptedForm : public ::testing::TestWithParam<Accepted> {};

TEST_P(AcceptedForm, ParsesToExpectedOptions) {
    const Accepted& c = GetParam();
    const ParseResult r = parseOptions(c.args);
    ASSERT_TRUE(r.ok) << "args " << joined(c.args) << " were rejected: " << r.error;
    EXPECT_EQ(r.options.count, c.count);
    EXPECT_EQ(r.options.timeoutSeconds, c.timeout);
    EXPECT_EQ(r.options.sizePixels, c.size);
    EXPECT_EQ(r.options.variationPercent, c.variation);
    EXPECT_EQ(r.options.showHelp, c.help);
    EXPECT_EQ(r.options.stopRunning, c.stop);
    EXPECT_EQ(r.options.hasSeed, c.hasSeed);
    EXPECT_EQ(r.options.seed, c.seed);
    EXPECT_EQ(r.options.swat, !c.noSwat);
    EXPECT_EQ(r.options.setSwatting, c.setSwatting);
    EXPECT_EQ(r.options.showVersion, c.version);
    EXPECT_TRUE(r.error.empty()) << "unexpected error text: " << r.error;
}

const Accepted kAccepted[] = {
    {"NoArgumentsGiveDefaults", {}, 1, 15, 36, 0, false, false, false, 0},
    {"LauncherForm", {"-n", "3", "-t", "60", "-s", "19", "-v", "1"}, 3, 60, 19, 1, false, false, false, 0},
    {"LauncherFormWithoutVariation", {"-n", "3", "-t", "60", "-s", "19"}, 3, 60, 19, 0, false, false, false, 0},
    {"AnyOrder", {"-v", "40", "-s", "100", "-n", "7", "-t", "0"}, 7, 0, 100, 40, false, false, false, 0},
    {"SingleOptionOthersDefault", {"-s", "54"}, 1, 15, 54, 0, false, false, false, 0},
    {"LowestValues", {"-n", "1", "-t", "0", "-s", "4", "-v", "0"}, 1, 0, 4, 0, false, false, false, 0},
    {"HighestValues", {"-n", "200", "-t", "86400", "-s", "256", "-v", "100"}, 200, 86400, 256, 100, false, false, false, 0},
    {"LeadingZerosAreDecimal", {"-n", "007", "-s", "010"}, 7, 15, 10, 0, false, false, false, 0},
    {"HelpLong", {"--help"}, 1, 15, 36, 0, true, false, false, 0},
    {"HelpShort", {"-h"}, 1, 15, 36, 0, true, false, false, 0},
    {"HelpSlash", {"/?"}, 1, 15, 36, 0, true, false, false, 0},
    {"HelpWinsOverOtherOptions", {"-n", "5", "--help"}, 1, 15, 36, 0, true, false, false, 0},
    {"HelpWinsOverBadOptions", {"-n", "abc", "--bogus", "-h"}, 1, 15, 36, 0, true, false, false, 0},
    {"Stop", {"--stop"}, 1, 15, 36, 0, false, true, false, 0},
    {"StopWithOtherOptions", {"-n", "2", "--stop"}, 2, 15, 36, 0, false, true, false, 0},
    {"SeedZero", {"--seed", "0"}, 1, 15, 36, 0, false, false, true, 0},
    {"SeedLargest", {"--seed", "18446744073709551615"}, 1, 15, 36, 0, false, false, true, UINT64_MAX},
    {"SeedWithLauncherForm", {"-n", "4", "--seed", "12345", "-t", "9", "-s", "20"}, 4, 9, 20, 0, false, false, true, 12345},
    {"NoSwat", {"--no-swat"}, 1, 15, 36, 0, false, false, false, 0, true},
    {"SwattingOff", {"--swatting", "off"}, 1, 15, 36, 0, false, false, false, 0, false, 0},
    {"SwattingOnAmongOthers", {"-n", "2", "--swatting", "on", "--version"}, 2, 15, 36, 0, false, false, false, 0, false, 1, true},
    {"NoSwatAmongOthers", {"-n", "2", "--no-swat", "--stop"}, 2, 15, 36, 0, false, true, false, 0, true},
};

INSTANTIATE_TEST_SUITE_P(Options, AcceptedForm, ::testing::ValuesIn(kAccepted),
                         [](const auto& info) { return std::string(info.param.name); });

struct Rejected {
    const char* name;
    Words args;
    const char* mustMention;  // the option at fault, as the message must name it
};

void PrintTo(const Rejected& c, std::ostream* out) { *out << c.name; }

class RejectedForm : public ::testing::TestWithParam<Rejected> {};

// The error as one line, the way it reads.
std::string unbroken(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

std::size_t charCount(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    }));
}

TEST_P(RejectedForm, FailsWithOneSentenceNamingTheOption) {
    const Rejected& c = GetParam();
    const ParseResult r = parseOptions(c.args);
    ASSERT_FALSE(r.ok) << "args " << joined(c.args) << " were accepted";
    const std::string sentence = unbroken(r.error);
    EXPECT_NE(sentence.find(c.mustMention), std::string::npos)
        << "expected the error to mention " << c.mustMention << ", got: " << r.error;
    ASSERT_FALSE(r.error.empty());
    EXPECT_EQ(r.error.back(), '.') << "not a sentence: " << r.error;
    EXPECT_EQ(sentence.find("  "), std::string::npos) << r.error;
    EXPECT_LE(r.error.size(), 160u) << "overlong error: " << r.error;
    // Lines short enough that a message box never breaks them itself (it would also break
    // after a hyphen, inside an option name), broken only where a space was.
    std::istringstream lines(r.error);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_FALSE(line.empty() || line.front() == ' ' || line.back() == ' ') << "[" << line << "]";
        EXPECT_TRUE(charCount(line) <= 46 || line.find(' ') == std::string::npos) << "long line: " << line;
    }
}

const Rejected kRejected[] = {
    {"CountNotANumber", {"-n", "abc"}, "-n"},
    {"CountZero", {"-n", "0"}, "-n"},
    {"CountTooMany", {"-n", "201"}, "-n"},
    {"CountNegative", {"-n", "-3"}, "-n"},
    {"CountPlusSign", {"-n", "+3"}, "-n"},
    {"CountWithSpace", {"-n", " 3"}, "-n"},
    {"CountTrailingSpace", {"-n", "3 "}, "-n"},
    {"CountEmpty", {"-n", ""}, "-n"},
    {"CountHex", {"-n", "0x10"}, "-n"},
    {"CountExponent", {"-n", "1e2"}, "-n"},
    {"CountFraction", {"-n", "2.5"}, "-n"},
    {"CountOverflow", {"-n", "99999999999999999999"}, "-n"},
    {"CountMissingValue", {"-t", "5", "-n"}, "-n"},
    {"CountRepeated", {"-n", "3", "-n", "4"}, "-n"},
    {"CountValueIsNextOption", {"-n", "-t", "5"}, "-n"},
    {"TimeoutTooLong", {"-t", "86401"}, "-t"},
    {"TimeoutNegative", {"-t", "-1"}, "-t"},
    {"TimeoutMissingValue", {"-t"}, "-t"},
    {"TimeoutRepeated", {"-t", "1", "-s", "9", "-t", "1"}, "-t"},
    {"SizeTooSmall", {"-s", "3"}, "-s"},
    {"SizeTooLarge", {"-s", "257"}, "-s"},
    {"SizeMissingValue", {"-s"}, "-s"},
    {"VariationTooLarge", {"-v", "101"}, "-v"},
    {"VariationNotANumber", {"-v", "ten"}, "-v"},
    {"VariationRepeated", {"-v", "1", "-v", "1"}, "-v"},
    {"SeedOverflow", {"--seed", "18446744073709551616"}, "--seed"},
    {"SeedNegative", {"--seed", "-1"}, "--seed"},
    {"SeedMissingValue", {"--seed"}, "--seed"},
    {"SeedRepeated", {"--seed", "1", "--seed", "2"}, "--seed"},
    {"StopRepeated", {"--stop", "--stop"}, "--stop"},
    {"UnknownOption", {"-x"}, "\"-x\""},
    {"UnknownLongOption", {"--count", "3"}, "\"--count\""},
    {"StrayValue", {"-n", "3", "4"}, "\"4\""},
    {"GluedValue", {"-n3"}, "\"-n3\""},
    {"GluedValueSaysHowToWriteIt", {"-n5"}, "write -n 5,"},
    {"GluedWithEqualsSign", {"-t=60"}, "write -t 60,"},
    {"GluedSeed", {"--seed42"}, "write --seed 42,"},
    {"GluedWithLeadingZeros", {"-v" + std::string(300, '0') + "7"}, "write -v 7,"},
    {"GluedNonNumberListsTheOptions", {"-nx"}, "the options are -n, -t, -s, -v, --seed, --no-swat, --stop, --swatting, --version and --help."},
    {"SwattingNeedsOnOrOff", {"--swatting", "yes"}, "needs on or off, not \"yes\""},
    {"SwattingMissingValue", {"--swatting"}, "needs on or off, but nothing"},
    {"SwattingRepeated", {"--swatting", "on", "--swatting", "off"}, "--swatting"},
    {"NoSwatRepeated", {"--no-swat", "--no-swat"}, "--no-swat"},
    {"NoSwatTakesNoValue", {"--no-swat", "0"}, "\"0\""},
    {"EmptyWord", {""}, "\"\""},
};

INSTANTIATE_TEST_SUITE_P(Options, RejectedForm, ::testing::ValuesIn(kRejected),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OptionsError, QuotesTheRejectedValue) {
    const ParseResult r = parseOptions({"-n", "abc"});
    EXPECT_EQ(r.error, "Option -n needs a whole number of flies from 1\nto 200, not \"abc\".");
}

TEST(OptionsError, TrimsAnOverlongWord) {
    const std::string garbage(5000, 'z');
    const ParseResult r = parseOptions({"-s", garbage});
    ASSERT_FALSE(r.ok);
    EXPECT_LE(r.error.size(), 120u) << r.error;
    EXPECT_NE(r.error.find("zzz...\""), std::string::npos) << r.error;
}

// The rejected word comes back as typed, in any script; only control characters and
// malformed UTF-8 become '?'.
struct QuotedCase {
    const char* name;
    std::string word;
    std::string shown;
};

std::string times(const std::string& text, int count) {
    std::string out;
    while (count-- > 0) out += text;
    return out;
}

void PrintTo(const QuotedCase& c, std::ostream* out) { *out << c.name; }

class QuotedWord : public ::testing::TestWithParam<QuotedCase> {};

TEST_P(QuotedWord, IsShownAsTyped) {
    const ParseResult r = parseOptions({"-n", GetParam().word});
    ASSERT_FALSE(r.ok);
    EXPECT_EQ(r.error, "Option -n needs a whole number of flies from 1\nto 200, not \"" + GetParam().shown + "\".");
}

const QuotedCase kQuoted[] = {
    {"Cyrillic", "\xd0\xbf\xd1\x8f\xd1\x82\xd1\x8c", "\xd0\xbf\xd1\x8f\xd1\x82\xd1\x8c"},
    {"OutsideTheBasicPlane", "\xf0\x9f\xaa\xb0!", "\xf0\x9f\xaa\xb0!"},
    {"Controls", std::string("\x1b[2J\x7f\xc2\x85\n", 8), "?[2J???"},
    {"LoneContinuationByte", "a\x80z", "a?z"},
    {"CutSequence", "z\xd0", "z?"},
    {"Overlong", "\xc0\xaf", "??"},
    {"Surrogate", "\xed\xa0\x80", "???"},
    {"LongWordCountsCharactersNotBytes", times("\xd0\xb6", 30), times("\xd0\xb6", 24) + "..."},
};

INSTANTIATE_TEST_SUITE_P(Options, QuotedWord, ::testing::ValuesIn(kQuoted),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OptionsUsage, ListsEveryOptionWithRangeAndDefault) {
    const std::string usage = usageText("gnatter.exe");
    const char* expected[] = {"gnatter.exe [options]", "-n", "1 to 200", "default 1", "-t", "0 to 86400",
                              "default 15", "-s", "4 to 256", "default 36", "-v", "0 to 100", "default 0",
                              "--seed", "--stop", "--no-swat", "--swatting on|off", "--version", "--help", "-h",
                              "/?", "from 0 to\n18446744073709551615", "A left click on a fly swats it"};
    for (const char* e : expected) {
        EXPECT_NE(usage.find(e), std::string::npos) << "usage text lacks \"" << e << "\":\n" << usage;
    }
    // A message box wraps long lines and shows spaces in a proportional font: short lines,
    // each option at the start of its own, nothing aligned by runs of spaces.
    std::size_t start = 0, options = 0;
    for (std::size_t end; (end = usage.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = usage.substr(start, end - start);
        EXPECT_LE(line.size(), 50u) << "long line: " << line;
        EXPECT_EQ(line.find("  "), std::string::npos) << "aligned by spaces: " << line;
        if (!line.empty() && line[0] == '-' && line.find(": ") != std::string::npos) ++options;
    }
    EXPECT_EQ(start, usage.size()) << "the text must end with a line break";
    EXPECT_EQ(options, 10u) << usage;
    // Plain words: no powers of two, and each option named once, in its own line.
    EXPECT_EQ(usage.find('^'), std::string::npos) << usage;
    EXPECT_EQ(usage.find("--no-swat"), usage.rfind("--no-swat")) << usage;
}

}  // namespace
}  // namespace gnatter
