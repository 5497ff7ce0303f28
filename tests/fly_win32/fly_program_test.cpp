// Drives the real gnatter.exe: its fly windows (styles, placement, movement), its exit
// after the timeout, option errors and help in message boxes, --stop, a second start
// replacing the first, and the notification-area icon with its "Shoo the flies" menu.
#include "fly_program_driver.h"
#include "win_test_support.h"

#include <commctrl.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using namespace flyprogram;
using testsupport::Process;
using testsupport::waitFor;
using testsupport::windowRect;

namespace {

std::vector<HWND> windowsOfClass(const wchar_t* className, DWORD processId) {
    return testsupport::topLevelWindows(processId, className);
}

// Top-level windows of a class in any process.
std::vector<HWND> windowsOfClass(const wchar_t* className) {
    std::vector<HWND> found;
    for (HWND window = FindWindowExW(nullptr, nullptr, className, nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, className, nullptr)) {
        found.push_back(window);
    }
    return found;
}

std::vector<HWND> visibleFlies(DWORD processId) {
    std::vector<HWND> visible;
    for (HWND window : windowsOfClass(kFlyClass, processId)) {
        if (IsWindowVisible(window)) visible.push_back(window);
    }
    return visible;
}

RECT virtualScreen() {
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return {left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN), top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

bool centreOnScreen(HWND window) {
    const RECT rect = windowRect(window), screen = virtualScreen();
    const POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    return PtInRect(&screen, centre) != FALSE;
}

bool allCentresOnScreen(const std::vector<HWND>& windows) {
    for (HWND window : windows) {
        if (!centreOnScreen(window)) return false;
    }
    return true;
}

// Icons in Wine's notification area (a child window each), or -1 where there is none.
int trayIconCount() {
    HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr);
    if (tray == nullptr) return -1;
    int count = 0;
    for (HWND icon = FindWindowExW(tray, nullptr, L"__winex11_tray_icon", nullptr); icon != nullptr;
         icon = FindWindowExW(tray, icon, L"__winex11_tray_icon", nullptr)) {
        ++count;
    }
    return count;
}

// The message box of a process: a dialog titled "Gnatter".
HWND messageBoxOf(DWORD processId) {
    for (HWND box : windowsOfClass(L"#32770", processId)) {
        if (testsupport::windowText(box) == L"Gnatter") return box;
    }
    return nullptr;
}

std::wstring messageBoxText(HWND box) {
    wchar_t text[4096] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(GetDlgItem(box, 0xFFFF), WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        5000, &copied);
    return text;
}

class FlyProgramTest : public ::testing::Test {
protected:
    // Every test starts with no flies out, whatever an earlier one left.
    void SetUp() override {
        if (!windowsOfClass(kOwnerClass).empty()) runToEnd(L"--stop", kExitMs);
        ASSERT_TRUE(waitFor([] { return windowsOfClass(kOwnerClass).empty(); }, kExitMs));
    }
};

TEST_F(FlyProgramTest, FliesAreClickThroughTopmostToolWindowsThatStayOnScreenAndMove) {
    Process flies;
    ASSERT_TRUE(startFlies(flies, L"-n 3 -t 0 -s 36 --seed 7"));
    ASSERT_TRUE(waitFor([&] { return visibleFlies(flies.id()).size() == 3; }, kAppearMs));

    const std::vector<HWND> windows = windowsOfClass(kFlyClass, flies.id());
    ASSERT_EQ(3u, windows.size());
    const LONG_PTR wanted = WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE | WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
    for (HWND window : windows) {
        EXPECT_EQ(wanted, GetWindowLongPtrW(window, GWL_EXSTYLE) & wanted);
        EXPECT_TRUE(GetWindowLongPtrW(window, GWL_STYLE) & WS_POPUP);
        const RECT rect = windowRect(window);
        EXPECT_EQ(rect.right - rect.left, rect.bottom - rect.top) << "a fly window is square";
        EXPECT_NE(GetForegroundWindow(), window);
    }

    // They fly in from outside the screen; once there, they stay.
    ASSERT_TRUE(waitFor([&] { return allCentresOnScreen(windows); }, kAppearMs));
    std::vector<RECT> first;
    for (HWND window : windows) first.push_back(windowRect(window));
    bool moved = false, stayed = true;
    waitFor([&] {
        stayed = stayed && allCentresOnScreen(windows);
        for (size_t i = 0; i < windows.size(); ++i) {
            const RECT now = windowRect(windows[i]);
            if (now.left != first[i].left || now.top != first[i].top) moved = true;
        }
        return false;  // watch for the whole period
    }, 2000);
    EXPECT_TRUE(stayed);
    EXPECT_TRUE(moved);

    EXPECT_EQ(0u, runToEnd(L"--stop", kExitMs));
    DWORD exitCode = ~0u;
    ASSERT_TRUE(flies.waitExit(kExitMs, &exitCode));
    EXPECT_EQ(0u, exitCode);
}

TEST_F(FlyProgramTest, FliesLeaveAfterTheTimeoutAndTheProgramEndsTidily) {
    const int traysBefore = trayIconCount();
    Process flies;
    const ULONGLONG started = GetTickCount64();
    ASSERT_TRUE(startFlies(flies, L"-n 3 -t 2 -s 36 --seed 7"));
    ASSERT_TRUE(waitFor([&] { return visibleFlies(flies.id()).size() == 3; }, kAppearMs));
    ASSERT_EQ(1u, windowsOfClass(kOwnerClass, flies.id()).size());
    if (traysBefore >= 0) {
        EXPECT_TRUE(waitFor([&] { return trayIconCount() == traysBefore + 1; }, 5000));
    }

    DWORD exitCode = ~0u;
    ASSERT_TRUE(flies.waitExit(kExitMs, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_GE(GetTickCount64() - started, 2000u) << "left before the timeout";
    EXPECT_TRUE(windowsOfClass(kFlyClass).empty());
    EXPECT_TRUE(windowsOfClass(kOwnerClass).empty());
    if (traysBefore >= 0) {
        EXPECT_TRUE(waitFor([&] { return trayIconCount() == traysBefore; }, 5000));
    }
}

struct BadOptions {
    const char* name;
    const wchar_t* options;
    const wchar_t* named;  // what the error must mention
};

void PrintTo(const BadOptions& bad, std::ostream* out) { *out << bad.name; }

class FlyProgramBadOptionsTest : public FlyProgramTest, public ::testing::WithParamInterface<BadOptions> {};

TEST_P(FlyProgramBadOptionsTest, ShowsTheErrorAndUsageThenExitsWithTwo) {
    Process program;
    ASSERT_TRUE(startFlies(program, GetParam().options));
    HWND box = nullptr;
    ASSERT_TRUE(waitFor([&] { return (box = messageBoxOf(program.id())) != nullptr; }, kAppearMs));
    std::wstring text;
    ASSERT_TRUE(waitFor([&] { return !(text = messageBoxText(box)).empty(); }, 5000));
    EXPECT_NE(std::wstring::npos, text.find(GetParam().named)) << "message: " << testsupport::toUtf8(text);
    EXPECT_NE(std::wstring::npos, text.find(L"Usage")) << "message: " << testsupport::toUtf8(text);
    EXPECT_TRUE(windowsOfClass(kFlyClass, program.id()).empty());

    PostMessageW(box, WM_COMMAND, IDOK, 0);
    DWORD exitCode = ~0u;
    ASSERT_TRUE(program.waitExit(kExitMs, &exitCode));
    EXPECT_EQ(2u, exitCode);
}

INSTANTIATE_TEST_SUITE_P(Table, FlyProgramBadOptionsTest,
                         ::testing::Values(BadOptions{"CountOutOfRange", L"-n 0", L"-n"},
                                           BadOptions{"SizeOutOfRange", L"-s 1000", L"-s"},
                                           BadOptions{"TimeoutNotANumber", L"-t soon", L"-t"},
                                           BadOptions{"UnknownOption", L"--colour red", L"--colour"},
                                           BadOptions{"RepeatedOption", L"-n 2 -n 3", L"-n"},
                                           BadOptions{"MissingValue", L"-n 2 -v", L"-v"}),
                         [](const ::testing::TestParamInfo<BadOptions>& info) { return info.param.name; });

TEST_F(FlyProgramTest, HelpShowsTheUsageAndExitsWithZero) {
    Process program;
    ASSERT_TRUE(startFlies(program, L"--help"));
    HWND box = nullptr;
    ASSERT_TRUE(waitFor([&] { return (box = messageBoxOf(program.id())) != nullptr; }, kAppearMs));
    std::wstring text;
    ASSERT_TRUE(waitFor([&] { return !(text = messageBoxText(box)).empty(); }, 5000));
    EXPECT_NE(std::wstring::npos, text.find(L"--stop"));
    EXPECT_TRUE(windowsOfClass(kFlyClass, program.id()).empty());
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    DWORD exitCode = ~0u;
    ASSERT_TRUE(program.waitExit(kExitMs, &exitCode));
    EXPECT_EQ(0u, exitCode);
}

TEST_F(FlyProgramTest, StopWithNothingRunningExitsWithZero) {
    EXPECT_EQ(0u, runToEnd(L"--stop", kExitMs));
}

TEST_F(FlyProgramTest, StopMakesTheRunningFliesLeave) {
    Process flies;
    ASSERT_TRUE(startFlies(flies, L"-n 2 -t 0 -s 36 --seed 3"));
    ASSERT_TRUE(waitFor([&] { return visibleFlies(flies.id()).size() == 2; }, kAppearMs));
    EXPECT_EQ(0u, runToEnd(L"--stop", 5000));
    DWORD exitCode = ~0u;
    ASSERT_TRUE(flies.waitExit(kExitMs, &exitCode));
    EXPECT_EQ(0u, exitCode);
}

TEST_F(FlyProgramTest, ASecondStartReplacesTheFirst) {
    Process first;
    ASSERT_TRUE(startFlies(first, L"-n 2 -t 0 -s 36 --seed 1"));
    ASSERT_TRUE(waitFor([&] { return visibleFlies(first.id()).size() == 2; }, kAppearMs));

    Process second;
    ASSERT_TRUE(startFlies(second, L"-n 3 -t 0 -s 36 --seed 2"));
    DWORD exitCode = ~0u;
    ASSERT_TRUE(first.waitExit(kExitMs, &exitCode));
    EXPECT_EQ(0u, exitCode);
    ASSERT_TRUE(waitFor([&] { return visibleFlies(second.id()).size() == 3; }, kAppearMs));
    EXPECT_FALSE(second.waitExit(0, &exitCode)) << "the second instance keeps running";

    EXPECT_EQ(0u, runToEnd(L"--stop", kExitMs));
    ASSERT_TRUE(second.waitExit(kExitMs, &exitCode));
    EXPECT_EQ(0u, exitCode);
}

// Window rectangles of the flies, to tell whether any moved.
std::vector<RECT> placesOf(const std::vector<HWND>& windows) {
    std::vector<RECT> places;
    for (HWND window : windows) places.push_back(windowRect(window));
    return places;
}

bool anyMoved(const std::vector<HWND>& windows, const std::vector<RECT>& before) {
    const std::vector<RECT> now = placesOf(windows);
    for (size_t i = 0; i < now.size(); ++i) {
        if (!EqualRect(&now[i], &before[i])) return true;
    }
    return false;
}

TEST_F(FlyProgramTest, FliesStandStillWhileTheSessionIsLocked) {
    Process flies;
    ASSERT_TRUE(startFlies(flies, L"-n 6 -t 0 -s 36 --seed 11"));
    ASSERT_TRUE(waitFor([&] { return visibleFlies(flies.id()).size() == 6; }, kAppearMs));
    const std::vector<HWND> windows = windowsOfClass(kFlyClass, flies.id());
    const std::vector<HWND> owners = windowsOfClass(kOwnerClass, flies.id());
    ASSERT_EQ(1u, owners.size());
    std::vector<RECT> before = placesOf(windows);
    ASSERT_TRUE(waitFor([&] { return anyMoved(windows, before); }, kAppearMs)) << "no fly moves at all";

    // What the system tells the owner window when the user locks the session; sent, so
    // it has been handled when the call returns.
    DWORD_PTR result = 0;
    ASSERT_NE(0, SendMessageTimeoutW(owners[0], WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0, SMTO_ABORTIFHUNG, 5000,
                                     &result));
    before = placesOf(windows);
    EXPECT_FALSE(waitFor([&] { return anyMoved(windows, before); }, 1500)) << "a fly moved while locked";

    ASSERT_NE(0, SendMessageTimeoutW(owners[0], WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0, SMTO_ABORTIFHUNG, 5000,
                                     &result));
    EXPECT_TRUE(waitFor([&] { return anyMoved(windows, before); }, kAppearMs)) << "no fly moves after unlocking";
}

TEST_F(FlyProgramTest, FliesHideBehindAFullScreenWindowAndComeBackAfterIt) {
    Process flies;
    ASSERT_TRUE(startFlies(flies, L"-n 3 -t 0 -s 36 --seed 7"));
    ASSERT_TRUE(waitFor([&] { return visibleFlies(flies.id()).size() == 3; }, kAppearMs));
    const std::vector<HWND> windows = windowsOfClass(kFlyClass, flies.id());
    ASSERT_TRUE(waitFor([&] { return allCentresOnScreen(windows); }, kAppearMs));

    // A film or game in front: a popup covering the whole (single) monitor.
    const RECT screen = virtualScreen();
    HWND fullScreen = CreateWindowExW(0, L"STATIC", L"full screen", WS_POPUP, screen.left, screen.top,
                                      screen.right - screen.left, screen.bottom - screen.top, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, fullScreen);
    ShowWindow(fullScreen, SW_SHOW);
    SetForegroundWindow(fullScreen);
    ASSERT_TRUE(waitFor([&] { return GetForegroundWindow() == fullScreen; }, 5000));
    EXPECT_TRUE(waitFor([&] { return visibleFlies(flies.id()).empty(); }, 5000));

    DestroyWindow(fullScreen);
    EXPECT_TRUE(waitFor([&] { return visibleFlies(flies.id()).size() == 3; }, 5000));
}

TEST_F(FlyProgramTest, TrayMenuShooMakesTheFliesLeave) {
    Process flies;
    ASSERT_TRUE(startFlies(flies, L"-n 2 -t 0 -s 36 --seed 5"));
    ASSERT_TRUE(waitFor([&] { return visibleFlies(flies.id()).size() == 2; }, kAppearMs));
    const std::vector<HWND> owners = windowsOfClass(kOwnerClass, flies.id());
    ASSERT_EQ(1u, owners.size());

    // A right click on the icon, as the shell reports it to the owner window.
    PostMessageW(owners[0], kTrayMessage, 0, WM_RBUTTONUP);
    HWND menu = nullptr;
    ASSERT_TRUE(waitFor([&] {
        const std::vector<HWND> menus = windowsOfClass(L"#32768", flies.id());
        menu = menus.empty() ? nullptr : menus[0];
        return menu != nullptr && IsWindowVisible(menu);
    }, kAppearMs));
    // "Shoo the flies" is the second item, below "Swatting": select it and choose it.
    PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);

    DWORD exitCode = ~0u;
    ASSERT_TRUE(flies.waitExit(kExitMs, &exitCode));
    EXPECT_EQ(0u, exitCode);
}

}  // namespace

namespace {

// The whole road a user takes: the launcher beside gnatter.exe, three flies, "Let's Fly".
TEST_F(FlyProgramTest, LaunchersLetsFlyPutsFliesOnTheDesktop) {
    const std::wstring launcherPath = testsupport::joinPath(testsupport::exeFolder(), L"gnatter_gui.exe");
    Process launcher;
    ASSERT_TRUE(launcher.start(launcherPath));
    HWND window = testsupport::waitForWindow(launcher.id(), L"GnatterGuiClass", L"Gnatter Launcher", kAppearMs);
    ASSERT_NE(window, nullptr);
    SendMessageW(GetDlgItem(window, 1001), TBM_SETPOS, TRUE, 3);
    PostMessageW(GetDlgItem(window, 1004), BM_CLICK, 0, 0);

    DWORD exitCode = ~0u;
    ASSERT_TRUE(launcher.waitExit(kExitMs, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_FALSE(IsWindow(window)) << "the launcher window is gone";
    const auto threeFliesOut = [] {
        int visible = 0;
        for (HWND fly : windowsOfClass(kFlyClass)) visible += IsWindowVisible(fly) ? 1 : 0;
        return visible == 3;
    };
    EXPECT_TRUE(waitFor(threeFliesOut, kAppearMs)) << windowsOfClass(kFlyClass).size() << " fly windows";
    EXPECT_EQ(0u, runToEnd(L"--stop", kExitMs));
    EXPECT_TRUE(waitFor([] { return windowsOfClass(kOwnerClass).empty(); }, kExitMs));
}

}  // namespace
