// The launcher's conversions, texts, command line and header layout, checked against
// worked values rather than re-derived from the code.
#include "logic/launcher_logic.h"

#include <gtest/gtest.h>

#include <string>

using namespace launcher;

namespace {

// Position -> pixels for the whole size slider, as users see it (1.1 sends 19, not 20).
const int kPixelsForPosition[] = {
    /* 5 */ 9,  10, 12, 14, 16, 18, 19, 21, 23, 25, 27, 28, 30,
    /* 18 */ 32, 34, 36, 37, 39, 41, 43, 45, 46, 48, 50, 52, 54,
};

TEST(SizeConversion, EverySliderPositionGivesItsPixels)
{
    for (int position = 5; position <= 30; ++position) {
        EXPECT_EQ(sizeMultiplierToPixels(trackbarPosToSizeMultiplier(position)),
                  kPixelsForPosition[position - 5])
            << "position " << position;
        // The exact value 9 * position / 5, truncated, agrees at every position.
        EXPECT_EQ(sizeMultiplierToPixels(trackbarPosToSizeMultiplier(position)), 9 * position / 5);
    }
}

TEST(SizeConversion, ReplacementPositionTenIsEighteenPixels)
{
    EXPECT_FLOAT_EQ(trackbarPosToSizeMultiplier(10), 1.0f);
    EXPECT_EQ(sizeMultiplierToPixels(1.0f), 18);
}

TEST(SizeConversion, TruncatesInsteadOfRounding)
{
    EXPECT_EQ(sizeMultiplierToPixels(1.1f), 19);  // 19.8
    EXPECT_EQ(sizeMultiplierToPixels(2.9f), 52);  // 52.2
    EXPECT_EQ(sizeMultiplierToPixels(-0.5f), -9); // toward zero
}

std::string label(SettingRow row, int position)
{
    char text[VALUE_TEXT_SIZE];
    formatValueLabel(row, position, text);
    return text;
}

TEST(ValueLabels, CountAndVariationShowWholeNumbersOverTheirRanges)
{
    for (int position = 1; position <= 50; ++position) {
        EXPECT_EQ(label(SettingRow::Count, position), std::to_string(position));
    }
    for (int position = 0; position <= 100; ++position) {
        EXPECT_EQ(label(SettingRow::Variation, position), std::to_string(position));
    }
}

TEST(ValueLabels, TimeoutShowsNoTimeoutAtZeroAndSecondsOtherwise)
{
    EXPECT_EQ(label(SettingRow::Timeout, 0), "No timeout");
    for (int position = 1; position <= 600; ++position) {
        EXPECT_EQ(label(SettingRow::Timeout, position), std::to_string(position));
    }
}

TEST(ValueLabels, SizeShowsTheMultiplierWithOneDecimal)
{
    for (int position = 5; position <= 30; ++position) {
        const std::string expected =
            std::to_string(position / 10) + "." + std::to_string(position % 10);
        EXPECT_EQ(label(SettingRow::Size, position), expected);
    }
    EXPECT_EQ(label(SettingRow::Size, 20), "2.0");
    EXPECT_EQ(label(SettingRow::Size, 7), "0.7");
}

TEST(ValueLabels, ExtremeReadingsStayWithinTheBuffer)
{
    EXPECT_EQ(label(SettingRow::Count, -2147483647 - 1), "-2147483648");
    EXPECT_EQ(label(SettingRow::Size, 2147483647), "214748368.0");
}

struct CommandCase {
    int count, timeout, size, variation;
    const char* expected;
};

const CommandCase kCommandCases[] = {
    {1, 15, 20, 0, "gnatter.exe -n 1 -t 15 -s 36"},
    {50, 600, 30, 100, "gnatter.exe -n 50 -t 600 -s 54 -v 100"},
    {1, 0, 5, 0, "gnatter.exe -n 1 -t 0 -s 9"},
    {3, 60, 11, 1, "gnatter.exe -n 3 -t 60 -s 19 -v 1"},
    {0, 0, 0, 0, "gnatter.exe -n 5 -t 0 -s 18"},
    {-7, -1, 4, -3, "gnatter.exe -n 5 -t 0 -s 18"},
    {2, 1, 5, 0, "gnatter.exe -n 2 -t 1 -s 9"},
};

TEST(CommandText, ComposesOptionsWithReplacements)
{
    for (const CommandCase& c : kCommandCases) {
        EXPECT_EQ(composeCommandText(c.count, c.timeout, c.size, c.variation), c.expected)
            << "positions " << c.count << ", " << c.timeout << ", " << c.size << ", "
            << c.variation;
    }
}

struct LaunchCase {
    const wchar_t* modulePath;
    const wchar_t* commandText;
    bool ok;
    const wchar_t* programPath;
    const wchar_t* commandLine;
};

const LaunchCase kLaunchCases[] = {
    {L"D:\\Apps\\Flies\\launcher.exe", L"gnatter.exe -n 1 -t 15 -s 36", true,
     L"D:\\Apps\\Flies\\gnatter.exe", L"\"D:\\Apps\\Flies\\gnatter.exe\"  -n 1 -t 15 -s 36"},
    {L"D:\\launcher.exe", L"gnatter.exe -n 1 -t 15 -s 36", true, L"D:\\gnatter.exe",
     L"\"D:\\gnatter.exe\"  -n 1 -t 15 -s 36"},
    {L"launcher.exe", L"gnatter.exe -n 2", true, L"launcher.exe\\gnatter.exe",
     L"\"launcher.exe\\gnatter.exe\"  -n 2"},
    {L"C:\\Program Files\\Gnatter\\gnatter_gui.exe", L"other.exe -n 2", true,
     L"C:\\Program Files\\Gnatter\\gnatter.exe",
     L"\"C:\\Program Files\\Gnatter\\gnatter.exe\"  -n 2"},
    {L"C:\\x\\gnatter_gui.exe", L" -n 1 -t 0 -s 9", true, L"C:\\x\\gnatter.exe",
     L"\"C:\\x\\gnatter.exe\"  -n 1 -t 0 -s 9"},
    {L"C:\\\x0414\x043E\x043C\\\x98DE\\gnatter_gui.exe", L"gnatter.exe -n 1", true,
     L"C:\\\x0414\x043E\x043C\\\x98DE\\gnatter.exe",
     L"\"C:\\\x0414\x043E\x043C\\\x98DE\\gnatter.exe\"  -n 1"},
    {L"C:\\x\\gnatter_gui.exe", L"gnatter.exe", false, L"C:\\x\\gnatter.exe", L""},
    {L"", L"gnatter.exe -n 1", false, L"\\gnatter.exe", L""},
};

TEST(LaunchLine, QuotesTheProgramBesideTheLauncherAndKeepsTheArguments)
{
    for (const LaunchCase& c : kLaunchCases) {
        const LaunchLine line = buildLaunchLine(c.modulePath, c.commandText);
        SCOPED_TRACE(std::string("case with command text length ") +
                     std::to_string(std::wstring(c.commandText).size()));
        EXPECT_EQ(line.ok, c.ok);
        EXPECT_TRUE(line.programPath == c.programPath);
        EXPECT_TRUE(line.commandLine == c.commandLine);
    }
}

TEST(LaunchLine, LongModulePathsAreKeptWhole)
{
    std::wstring folder = L"C:";
    while (folder.size() < 600) {
        folder += L"\\a folder deeper";
    }
    const LaunchLine line = buildLaunchLine(folder + L"\\gnatter_gui.exe", L"gnatter.exe -n 1");
    ASSERT_TRUE(line.ok);
    EXPECT_TRUE(line.programPath == folder + L"\\gnatter.exe");
    EXPECT_EQ(line.commandLine.size(), line.programPath.size() + 2 + 6);
}

struct LayoutCase {
    const char* name;
    int clientRight;
    bool hasImage;
    int imageWidth, imageHeight;
    float textWidth, textHeight;
    HeaderLayout expected;  // box w/h, image x/y, text x/y
};

const LayoutCase kLayoutCases[] = {
    {"worked example 144x144", 664, true, 144, 144, 52.6f, 37.9f, {48, 48, 276, 21, 336, 26}},
    {"37x37 rounds the quotient down", 664, true, 37, 37, 52.6f, 37.9f, {47, 48, 277, 21, 336, 26}},
    {"100x30 is wide", 664, true, 100, 30, 52.6f, 37.9f, {160, 48, 220, 21, 392, 26}},
    {"3x144 is one pixel wide", 664, true, 3, 144, 52.6f, 37.9f, {1, 48, 300, 21, 313, 26}},
    {"1x100 is zero wide", 664, true, 1, 100, 52.6f, 37.9f, {0, 48, 300, 21, 312, 26}},
    {"no bitmap draws the 48 box", 664, false, 0, 0, 52.6f, 37.9f, {48, 48, 276, 21, 336, 26}},
    {"height 0 keeps the 48 box", 664, true, 50, 0, 52.6f, 37.9f, {48, 48, 276, 21, 336, 26}},
    {"odd total width 111", 664, true, 144, 144, 51.0f, 37.9f, {48, 48, 277, 21, 337, 26}},
    {"odd client width 665", 665, true, 144, 144, 52.6f, 37.9f, {48, 48, 276, 21, 336, 26}},
    {"measured height 91 gives y 0", 664, true, 144, 144, 52.6f, 91.0f, {48, 48, 276, 21, 336, 0}},
    {"width 52.99 counts as 52", 664, true, 144, 144, 52.99f, 37.9f, {48, 48, 276, 21, 336, 26}},
    {"zero text box", 664, true, 144, 144, 0.0f, 0.0f, {48, 48, 302, 21, 362, 45}},
};

TEST(HeaderLayout, MatchesWorkedValues)
{
    for (const LayoutCase& c : kLayoutCases) {
        SCOPED_TRACE(c.name);
        const HeaderLayout got = computeHeaderLayout(0, c.clientRight, c.hasImage, c.imageWidth,
                                                     c.imageHeight, c.textWidth, c.textHeight);
        EXPECT_EQ(got.boxWidth, c.expected.boxWidth);
        EXPECT_EQ(got.boxHeight, c.expected.boxHeight);
        EXPECT_EQ(got.imageX, c.expected.imageX);
        EXPECT_EQ(got.imageY, c.expected.imageY);
        EXPECT_EQ(got.textX, c.expected.textX);
        EXPECT_EQ(got.textY, c.expected.textY);
    }
}

TEST(HeaderLayout, UsesTheClientWidthNotItsPosition)
{
    const HeaderLayout shifted = computeHeaderLayout(100, 764, true, 144, 144, 52.6f, 37.9f);
    EXPECT_EQ(shifted.imageX, 276);
}

}  // namespace
