// The fly program's command-line words and tray text, in-process: splitting follows
// the platform's quoting rules, words reach the core as UTF-8, the tooltip counts flies.
// And the real gnatter.exe's message boxes: a rejected word as the user typed it, and a
// usage text whose lines the box never wraps.
#include "command_line.h"
#include "tray.h"
#include "win_test_support.h"

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

// The text of the message box that gnatter.exe shows for these options, once it is up;
// the box is then dismissed. `textBox` receives the box's text control's client size.
std::wstring messageBoxFor(const std::wstring& options, SIZE* textBox = nullptr) {
    const std::wstring program = testsupport::joinPath(testsupport::exeFolder(), L"gnatter.exe");
    testsupport::Process process;
    if (!process.start(program, L"\"" + program + L"\" " + options)) return L"(gnatter.exe did not start)";
    HWND box = testsupport::waitForWindow(process.id(), L"#32770", L"Gnatter", 10000);
    if (box == nullptr) return L"(no message box)";
    HWND text = GetDlgItem(box, 0xFFFF);
    std::wstring shown;
    testsupport::waitFor([&] { return !(shown = testsupport::windowText(text)).empty(); }, 5000);
    RECT client{};
    GetClientRect(text, &client);
    if (textBox != nullptr) *textBox = {client.right, client.bottom};
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    DWORD exitCode = 0;
    process.waitExit(10000, &exitCode);
    return shown;
}

TEST(GnatterBox, ShowsARejectedWordAsTyped) {
    const std::wstring shown = messageBoxFor(L"-n \u043f\u044f\u0442\u044c");
    EXPECT_NE(shown.find(L"not \"\u043f\u044f\u0442\u044c\"."), std::wstring::npos) << testsupport::toUtf8(shown);
    EXPECT_NE(messageBoxFor(L"-n5").find(L"write -n 5,"), std::wstring::npos);
}

// The box lays its text out in the message font and wraps any line wider than its text
// control, after hyphens too (tearing option names apart); every line of the usage, and
// of an error above it, must fit as it is.
class GnatterBoxLines : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(GnatterBoxLines, FitTheBoxUnwrapped) {
    SIZE textBox{};
    const std::wstring shown = messageBoxFor(GetParam(), &textBox);
    ASSERT_NE(shown.find(L"--no-swat"), std::wstring::npos) << testsupport::toUtf8(shown);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, font);
    int lines = 0;
    for (size_t start = 0, end; start < shown.size(); start = end + 1, ++lines) {
        end = shown.find(L'\n', start);
        if (end == std::wstring::npos) end = shown.size();
        const std::wstring line = shown.substr(start, end - start);
        SIZE extent{};
        GetTextExtentPoint32W(dc, line.c_str(), static_cast<int>(line.size()), &extent);
        EXPECT_LE(extent.cx, textBox.cx) << "wraps: " << testsupport::toUtf8(line);
    }
    EXPECT_GE(lines, 12);
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(font);
}

const wchar_t* const kBoxOptions[] = {L"--help", L"--colour red", L"-t soon", L"--seed -1", L"-n5"};
const char* const kBoxCaseNames[] = {"Help", "UnknownOption", "NotANumber", "Seed", "GluedNumber"};

std::string boxCaseName(const ::testing::TestParamInfo<const wchar_t*>& info) { return kBoxCaseNames[info.index]; }

INSTANTIATE_TEST_SUITE_P(Usage, GnatterBoxLines, ::testing::ValuesIn(kBoxOptions), boxCaseName);

TEST(TrayText, CountsTheFlies) {
    EXPECT_EQ(L"Gnatter: 1 fly", gnatter::win32::trayTooltip(1));
    EXPECT_EQ(L"Gnatter: 2 flies", gnatter::win32::trayTooltip(2));
    EXPECT_EQ(L"Gnatter: 200 flies", gnatter::win32::trayTooltip(200));
}

}  // namespace
