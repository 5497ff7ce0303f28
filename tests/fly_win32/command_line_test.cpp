// The fly program's command-line words and tray text, in-process: splitting follows
// the platform's quoting rules, words reach the core as UTF-8, the tooltip counts flies.
#include "command_line.h"
#include "tray.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using gnatter::win32::optionWords;

TEST(CommandLine, DropsTheProgramNameAndSplitsTheLaunchersOptions) {
    const std::vector<std::string> words = optionWords(L"\"C:\\Program Files\\Gnatter\\gnatter.exe\"  -n 3 -t 60 -s 36");
    EXPECT_EQ((std::vector<std::string>{"-n", "3", "-t", "60", "-s", "36"}), words);
}

TEST(CommandLine, FollowsThePlatformsQuotingRules) {
    const std::vector<std::string> words = optionWords(L"gnatter.exe \"two words\" a\\\\\"b c\" \"\" end");
    EXPECT_EQ((std::vector<std::string>{"two words", "a\\b c", "", "end"}), words);
}

TEST(CommandLine, PassesNonAsciiWordsOnAsUtf8) {
    const std::vector<std::string> words = optionWords(L"gnatter.exe --m\u00fccke \u8747");
    ASSERT_EQ(2u, words.size());
    EXPECT_EQ("--m\xc3\xbc" "cke", words[0]);
    EXPECT_EQ("\xe8\x9d\x87", words[1]);
    EXPECT_EQ(L"--m\u00fccke", gnatter::win32::toWide(words[0]));
}

TEST(CommandLine, AProgramNameAloneOrNothingGivesNoWords) {
    EXPECT_TRUE(optionWords(L"gnatter.exe").empty());
    EXPECT_TRUE(optionWords(L"").empty());
}

TEST(TrayText, CountsTheFlies) {
    EXPECT_EQ(L"Gnatter: 1 fly", gnatter::win32::trayTooltip(1));
    EXPECT_EQ(L"Gnatter: 2 flies", gnatter::win32::trayTooltip(2));
    EXPECT_EQ(L"Gnatter: 200 flies", gnatter::win32::trayTooltip(200));
}

}  // namespace
