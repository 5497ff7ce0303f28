// Starts the real gnatter_gui.exe and inspects its window from outside: the frame, the
// fourteen controls in order with their classes, texts, styles, places and IDs, the
// sliders' ranges and positions, and the ways the program ends.
#include "win_test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const wchar_t kClass[] = L"GnatterGuiClass";
const wchar_t kTitle[] = L"Gnatter Launcher";

struct RunningLauncher {
    Process process;
    HWND window = nullptr;
};

void startLauncher(RunningLauncher& launcher, const std::wstring& arguments = L"")
{
    const std::wstring exe = joinPath(exeFolder(), L"gnatter_gui.exe");
    const std::wstring line = L"\"" + exe + L"\"" + arguments;
    ASSERT_TRUE(launcher.process.start(exe, line)) << "could not start " << toUtf8(exe);
    launcher.window = waitForWindow(launcher.process.id(), kClass, kTitle, 20000);
    ASSERT_NE(launcher.window, nullptr) << "no launcher window appeared";
}

DWORD exitCodeAfter(RunningLauncher& launcher)
{
    DWORD code = 12345;
    EXPECT_TRUE(launcher.process.waitExit(20000, &code)) << "launcher did not end";
    return code;
}

struct ControlSpec {
    const wchar_t* className;
    const char* text;
    LONG style;
    RECT rect;  // left, top, right, bottom in client coordinates
    int id;
};

const ControlSpec kControls[] = {
    {L"Static", "Number of flies:", 0x50000002, {10, 90, 170, 110}, 0},
    {L"Static", "1", 0x50000000, {390, 108, 430, 128}, 0},
    {L"msctls_trackbar32", "", 0x50000021, {190, 90, 630, 114}, 1001},
    {L"Static", "Timeout (seconds):", 0x50000002, {10, 142, 170, 162}, 0},
    {L"Static", "15", 0x50000000, {380, 160, 460, 180}, 0},
    {L"msctls_trackbar32", "", 0x50000021, {190, 142, 630, 166}, 1002},
    {L"Static", "Fly size:", 0x50000002, {10, 194, 170, 214}, 0},
    {L"Static", "2.0", 0x50000000, {400, 212, 440, 232}, 0},
    {L"msctls_trackbar32", "", 0x50000021, {190, 194, 630, 218}, 1003},
    {L"Static", "Size variation (%):", 0x50000002, {10, 246, 170, 266}, 0},
    {L"Static", "0", 0x50000000, {390, 264, 430, 284}, 0},
    {L"msctls_trackbar32", "", 0x50000021, {190, 246, 630, 270}, 1006},
    {L"Button", "Let's Fly", 0x50000001, {190, 304, 330, 338}, 1004},
    {L"Button", "Quit", 0x50000000, {350, 304, 470, 338}, 1005},
};

struct SliderSpec {
    int id;
    int rangeMin, rangeMax, position;
};

const SliderSpec kSliders[] = {
    {1001, 1, 50, 1},
    {1002, 0, 600, 15},
    {1003, 5, 30, 20},
    {1006, 0, 100, 0},
};

bool sameCaseInsensitive(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

class LauncherWindow : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(startLauncher(launcher_)); }
    RunningLauncher launcher_;
};

TEST_F(LauncherWindow, HasTitleOuterSizeAndFixedFrame)
{
    EXPECT_EQ(windowText(launcher_.window), kTitle);
    RECT rect{};
    GetWindowRect(launcher_.window, &rect);
    EXPECT_EQ(rect.right - rect.left, 680);
    EXPECT_EQ(rect.bottom - rect.top, 420);

    const LONG style = GetWindowLongW(launcher_.window, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_EQ(style & WS_SYSMENU, WS_SYSMENU);
    EXPECT_EQ(style & WS_THICKFRAME, 0) << "the window must not be resizable";
    EXPECT_EQ(style & WS_MINIMIZEBOX, 0);
    EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_EQ(GetWindowLongW(launcher_.window, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0)
        << std::hex << GetWindowLongW(launcher_.window, GWL_EXSTYLE);
}

TEST_F(LauncherWindow, HasFourteenControlsInCreationOrder)
{
    const std::vector<HWND> children = childWindows(launcher_.window);
    ASSERT_EQ(children.size(), std::size(kControls));
    for (size_t i = 0; i < children.size(); ++i) {
        const ControlSpec& want = kControls[i];
        HWND child = children[i];
        SCOPED_TRACE("control #" + std::to_string(i + 1) + " \"" + want.text + "\"");
        EXPECT_TRUE(sameCaseInsensitive(className(child), want.className))
            << toUtf8(className(child));
        EXPECT_EQ(windowTextA(child), want.text);
        EXPECT_EQ(static_cast<LONG>(GetWindowLongW(child, GWL_STYLE)), want.style)
            << std::hex << GetWindowLongW(child, GWL_STYLE);
        EXPECT_EQ(GetWindowLongW(child, GWL_EXSTYLE), 0);
        const RECT rect = clientRectInParent(child);
        EXPECT_EQ(rect.left, want.rect.left);
        EXPECT_EQ(rect.top, want.rect.top);
        EXPECT_EQ(rect.right, want.rect.right);
        EXPECT_EQ(rect.bottom, want.rect.bottom);
        EXPECT_EQ(GetDlgCtrlID(child), want.id);
    }
}

TEST_F(LauncherWindow, SlidersHaveTheirRangesAndStartingPositions)
{
    for (const SliderSpec& want : kSliders) {
        SCOPED_TRACE("slider " + std::to_string(want.id));
        HWND slider = GetDlgItem(launcher_.window, want.id);
        ASSERT_NE(slider, nullptr);
        EXPECT_EQ(SendMessageW(slider, TBM_GETRANGEMIN, 0, 0), want.rangeMin);
        EXPECT_EQ(SendMessageW(slider, TBM_GETRANGEMAX, 0, 0), want.rangeMax);
        EXPECT_EQ(SendMessageW(slider, TBM_GETPOS, 0, 0), want.position);
    }
}

TEST_F(LauncherWindow, QuitButtonEndsWithZero)
{
    HWND quit = GetDlgItem(launcher_.window, 1005);
    ASSERT_NE(quit, nullptr);
    PostMessageW(quit, BM_CLICK, 0, 0);
    EXPECT_EQ(exitCodeAfter(launcher_), 0u);
}

TEST_F(LauncherWindow, CloseBoxEndsWithZero)
{
    PostMessageW(launcher_.window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(exitCodeAfter(launcher_), 0u);
}

TEST_F(LauncherWindow, UnknownCommandsAndForeignScrollsChangeNothing)
{
    HWND countLabel = childWindows(launcher_.window)[1];
    SendMessageW(launcher_.window, WM_COMMAND, MAKEWPARAM(1003, 0), 0);
    SendMessageW(launcher_.window, WM_COMMAND, MAKEWPARAM(4242, BN_CLICKED), 0);
    SendMessageW(launcher_.window, WM_HSCROLL, TB_ENDTRACK,
                 reinterpret_cast<LPARAM>(countLabel));
    EXPECT_TRUE(IsWindow(launcher_.window));
    EXPECT_TRUE(launcher_.process.running());
    EXPECT_EQ(windowTextA(countLabel), "1");
}

// Arguments on the launcher's own command line are ignored.
class LauncherArguments : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(LauncherArguments, ChangeNothing)
{
    RunningLauncher launcher;
    ASSERT_NO_FATAL_FAILURE(startLauncher(launcher, GetParam()));
    for (const SliderSpec& want : kSliders) {
        EXPECT_EQ(SendMessageW(GetDlgItem(launcher.window, want.id), TBM_GETPOS, 0, 0),
                  want.position);
    }
    EXPECT_EQ(windowTextA(childWindows(launcher.window)[7]), "2.0");
    PostMessageW(launcher.window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(exitCodeAfter(launcher), 0u);
}

INSTANTIATE_TEST_SUITE_P(Various, LauncherArguments,
                         ::testing::Values(L" -n 50 -t 0 -s 54", L" --help", L" /?",
                                           L" \"C:\\some file.txt\""));

TEST(LauncherStartup, ShowsWithTheCallersShowCommand)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINNOACTIVE;
    RunningLauncher launcher;
    const std::wstring exe = joinPath(exeFolder(), L"gnatter_gui.exe");
    ASSERT_TRUE(launcher.process.start(exe, L"", L"", &startup));
    launcher.window = waitForWindow(launcher.process.id(), kClass, kTitle, 20000);
    ASSERT_NE(launcher.window, nullptr);
    EXPECT_TRUE(waitFor([&] { return IsIconic(launcher.window) != FALSE; }, 5000))
        << "nCmdShow did not reach ShowWindow";
    PostMessageW(launcher.window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(exitCodeAfter(launcher), 0u);
}

}  // namespace

// Every text a label can show fits its fixed box in the GUI font (16-pixel "Segoe UI"):
// a static control wraps a text wider than its box onto a second line, which the box's
// height then cuts off ("No timeout" showing as "No"). A single line may be a pixel
// taller than the 20-pixel boxes in Segoe UI itself; only its descender gap is lost. The value labels' texts are read
// back from the running launcher after moving each slider over its whole range.
TEST_F(LauncherWindow, EveryLabelTextFitsItsBoxInTheGuiFont)
{
    HFONT font = CreateFontW(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS,
                             L"Segoe UI");
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    int checked = 0;
    auto expectFits = [&](HWND box, const std::wstring& text) {
        RECT client{};
        GetClientRect(box, &client);
        SIZE extent{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
        EXPECT_LE(extent.cx, client.right) << "\"" << toUtf8(text) << "\" is " << extent.cx
                                           << " px wide in a " << client.right << " px box";
        // Laid out as the static control lays it out: one line, never wrapped.
        RECT layout{0, 0, client.right, 0};
        DrawTextW(dc, text.c_str(), -1, &layout, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
        EXPECT_EQ(layout.bottom, metrics.tmHeight) << "\"" << toUtf8(text) << "\" wraps";
        ++checked;
    };

    const std::vector<HWND> children = childWindows(launcher_.window);
    ASSERT_EQ(children.size(), std::size(kControls));
    for (size_t row = 0; row < 4; ++row) {
        HWND rowLabel = children[row * 3], valueLabel = children[row * 3 + 1];
        HWND slider = children[row * 3 + 2];
        expectFits(rowLabel, windowText(rowLabel));
        const int low = static_cast<int>(SendMessageW(slider, TBM_GETRANGEMIN, 0, 0));
        const int high = static_cast<int>(SendMessageW(slider, TBM_GETRANGEMAX, 0, 0));
        for (int position = low; position <= high; ++position) {
            SendMessageW(slider, TBM_SETPOS, TRUE, position);
            SendMessageW(launcher_.window, WM_HSCROLL, TB_THUMBPOSITION,
                         reinterpret_cast<LPARAM>(slider));
            expectFits(valueLabel, windowText(valueLabel));
        }
    }
    expectFits(children[12], windowText(children[12]));
    expectFits(children[13], windowText(children[13]));
    EXPECT_EQ(checked, 4 + 50 + 601 + 26 + 101 + 2);
    EXPECT_EQ(windowTextA(children[4]), "600");  // the labels really followed the sliders

    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(font);
}
