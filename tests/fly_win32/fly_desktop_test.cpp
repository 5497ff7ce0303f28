// Drives the real gnatter.exe against windows of this test: flies settle on the edges of
// a plain top-level window and take off when it moves; the fly core alone, given the same
// seed and desktop, puts each resting fly where the program shows it; a click on a
// resting fly squashes it (its window goes, the tray tooltip counts one fly less) while
// the window under it still gets the click; with --no-swat, or "Swatting" unchecked in
// the tray menu, the same click squashes nothing; swatting the only fly ends the program;
// a pointer coming fast at a resting fly startles it, whether or not the system reports
// the move.
#include "fly_program_driver.h"
#include "monitors.h"
#include "options.h"
#include "sprite.h"
#include "swarm.h"
#include "win_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

using namespace flyprogram;
using testsupport::Process;
using testsupport::windowRect;

namespace {

const wchar_t kTargetClass[] = L"GnatterDesktopTestTarget";
const DWORD kSettleMs = 30000;
const DWORD kRestMs = 600;  // a fly whose window kept still this long is resting
// A fly about to be clicked must have sat still longer: a fly new to the screen rests
// only a second or so between the things it does, and a short rest may end before the
// click reaches it.
const DWORD kLongRestMs = 1500;

void stopFlies() { runToEnd(L"--stop", kExitMs); }

// Handles this thread's messages while waiting: the test's own window must get its
// input and its moves.
bool waitPumping(const std::function<bool()>& condition, DWORD timeoutMs) {
    return testsupport::waitFor([&] {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        return condition();
    }, timeoutMs);
}

void pumpFor(DWORD ms) {
    waitPumping([] { return false; }, ms);
}

// ---- the test's window: a plain popup that records the clicks it gets ----

std::vector<POINT> g_clicks;  // WM_LBUTTONDOWN, in screen coordinates

LRESULT CALLBACK targetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_LBUTTONDOWN) {
        POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        ClientToScreen(window, &at);
        g_clicks.push_back(at);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND createTarget(const RECT& rect) {
    g_clicks.clear();
    return testsupport::createPlainWindow(kTargetClass, rect, targetProc);
}

RECT screenRect() { return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

RECT inset(RECT rect, int dx, int dy) {
    InflateRect(&rect, -dx, -dy);
    return rect;
}

// ---- the flies as seen from outside ----

std::vector<HWND> flyWindows(DWORD processId) { return testsupport::topLevelWindows(processId, kFlyClass); }

// A grounded fly's window is centred on its body.
POINT centreOf(HWND window) {
    const RECT r = windowRect(window);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// The visible fly windows that did not move for kRestMs.
std::vector<HWND> restingFlies(DWORD processId, DWORD stillMs = kRestMs) {
    std::vector<HWND> windows;
    std::vector<RECT> before;
    for (HWND fly : flyWindows(processId)) {
        if (!IsWindowVisible(fly)) continue;
        windows.push_back(fly);
        before.push_back(windowRect(fly));
    }
    pumpFor(stillMs);
    std::vector<HWND> resting;
    for (size_t i = 0; i < windows.size(); ++i) {
        const RECT now = windowRect(windows[i]);
        if (IsWindowVisible(windows[i]) && EqualRect(&now, &before[i])) resting.push_back(windows[i]);
    }
    return resting;
}

// True when the point lies within `reach` of one of the rectangle's four sides.
bool onEdge(POINT p, const RECT& r, int reach) {
    const bool alongX = p.x >= r.left - reach && p.x <= r.right + reach;
    const bool alongY = p.y >= r.top - reach && p.y <= r.bottom + reach;
    return (alongX && (std::abs(p.y - r.top) <= reach || std::abs(p.y - r.bottom) <= reach)) ||
           (alongY && (std::abs(p.x - r.left) <= reach || std::abs(p.x - r.right) <= reach));
}

// Resting flies on the window, within `reach` of its edges.
std::vector<HWND> restingOnEdge(DWORD processId, const RECT& window, int reach) {
    std::vector<HWND> found;
    for (HWND fly : restingFlies(processId)) {
        const POINT centre = centreOf(fly);
        if (PtInRect(&window, centre) && onEdge(centre, window, reach)) found.push_back(fly);
    }
    return found;
}

// ---- the flies as the core alone has them ----

// Where a fly's body lies in its window: the sprite's anchor, from the fly core itself.
int bodyAnchor(int size) {
    gnatter::FlyView fly;
    fly.size = float(size);
    fly.visible = true;
    gnatter::Sprite sprite;
    gnatter::renderFly(fly, sprite);
    return sprite.anchorX;
}

// What a user sees of the desktop, topmost first: every shown top-level window but the
// flies' (Wine's tray box among them), at its place and size.
std::vector<gnatter::WindowBox> visibleWindows(DWORD fliesProcess) {
    std::vector<gnatter::WindowBox> windows;
    for (HWND window = GetTopWindow(nullptr); window != nullptr; window = GetWindow(window, GW_HWNDNEXT)) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (!IsWindowVisible(window) || process == fliesProcess) continue;
        const RECT r = windowRect(window);
        const auto id = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(window));
        windows.push_back({{r.left, r.top, r.right, r.bottom}, id});
    }
    return windows;
}

struct Spot {
    float x, y;
};

// Every place where one of the core's flies stood on the ground in its next `seconds`.
std::vector<Spot> groundSpots(gnatter::Swarm& swarm, double seconds) {
    std::vector<Spot> spots;
    for (double t = 0.0; t < seconds; t += gnatter::Swarm::kStepSeconds) {
        swarm.advance(gnatter::Swarm::kStepSeconds);
        for (std::size_t i = 0; i < swarm.flyCount(); ++i) {
            const gnatter::FlyView& fly = swarm.flyView(i);
            using gnatter::Activity;
            const Activity a = fly.activity;
            if (a == Activity::Resting || a == Activity::Grooming || a == Activity::Walking) {
                spots.push_back({fly.x, fly.y});
            }
        }
    }
    return spots;
}

// The window's top-left is the body centre rounded to the pixel, less the anchor, less
// one more pixel when the picture is drawn one pixel in (see FlyWindows::uploadPicture).
bool showsSpot(POINT windowCorner, int anchor, const Spot& spot) {
    const double dx = spot.x - (windowCorner.x + anchor), dy = spot.y - (windowCorner.y + anchor);
    return dx >= -0.5 && dx <= 1.5 && dy >= -0.5 && dy <= 1.5;
}

// ---- the click and the tray ----

// A mouse event where the pointer is: a button change, or with MOUSEEVENTF_MOVE alone a
// report that moves nothing.
void sendMouse(DWORD flags) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

// One mouse event that puts the pointer at a point of the screen, as a mouse (not a
// program) does, with the button changes in `flags`.
void sendMouseAt(POINT at, DWORD flags) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    // Rounded up, so that the system's scaling back (rounding down) gives the same pixel.
    const LONG width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    input.mi.dx = (at.x * 65536 + width - 1) / width;
    input.mi.dy = (at.y * 65536 + height - 1) / height;
    SendInput(1, &input, sizeof input);
}

// A quick click where a user's swat would land: the pointer arrives there with the primary
// button going down, in one event (a pointer that arrived alone first would be a fast
// approach the fly may flee), and the button goes up 50 ms later.
void clickAt(POINT at) {
    sendMouseAt(at, GetSystemMetrics(SM_SWAPBUTTON) ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
    pumpFor(50);
    sendMouse(GetSystemMetrics(SM_SWAPBUTTON) ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
}

// The text of the tooltip Wine's notification area shows while the pointer rests on our
// icon, or empty when there is no such icon or tooltip.
std::wstring trayTooltipText() {
    HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr);
    HWND icon = tray == nullptr ? nullptr : FindWindowExW(tray, nullptr, L"__winex11_tray_icon", nullptr);
    if (icon == nullptr) return L"";
    const POINT away = {0, 0};
    const POINT on = centreOf(icon);
    SetCursorPos(away.x, away.y);
    pumpFor(100);
    SetCursorPos(on.x, on.y);
    std::wstring text;
    waitPumping([&] {
        for (HWND tip = FindWindowExW(nullptr, nullptr, L"tooltips_class32", nullptr); tip != nullptr;
             tip = FindWindowExW(nullptr, tip, L"tooltips_class32", nullptr)) {
            if (!IsWindowVisible(tip)) continue;
            // GetWindowText would read another process's window caption, not the tip.
            wchar_t tipText[128] = {};
            DWORD_PTR copied = 0;
            SendMessageTimeoutW(tip, WM_GETTEXT, 128, reinterpret_cast<LPARAM>(tipText), SMTO_ABORTIFHUNG, 2000,
                                &copied);
            text = tipText;
            if (text.rfind(L"Gnatter", 0) == 0) return true;
        }
        return false;
    }, 5000);
    SetCursorPos(away.x, away.y);
    return text;
}

void chooseSwattingInTrayMenu(DWORD processId) {
    const std::vector<HWND> owners = testsupport::topLevelWindows(processId, kOwnerClass);
    ASSERT_EQ(1u, owners.size());
    PostMessageW(owners[0], kTrayMessage, 0, WM_RBUTTONUP);
    HWND menu = nullptr;
    ASSERT_TRUE(waitPumping([&] {
        const std::vector<HWND> menus = testsupport::topLevelWindows(processId, L"#32768");
        menu = menus.empty() ? nullptr : menus[0];
        return menu != nullptr && IsWindowVisible(menu);
    }, kAppearMs));
    // "Swatting" is the first item.
    PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(waitPumping([&] { return !IsWindowVisible(menu); }, kAppearMs));
}

class FlyDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (FindWindowW(kOwnerClass, nullptr) != nullptr) stopFlies();
        ASSERT_TRUE(testsupport::waitFor([] { return FindWindowW(kOwnerClass, nullptr) == nullptr; }, kExitMs));
    }
    void TearDown() override {
        stopFlies();
        if (target_ != nullptr) DestroyWindow(target_);
    }
    HWND target_ = nullptr;
};

TEST_F(FlyDesktopTest, FliesSettleOnTheEdgesOfAWindowAndLeaveWhenItMoves) {
    const RECT screen = screenRect();
    const RECT place = inset(screen, (screen.right - screen.left) / 8, (screen.bottom - screen.top) / 8);
    target_ = createTarget(place);
    ASSERT_NE(nullptr, target_);
    Process flies;
    ASSERT_TRUE(startFlies(flies, L"-n 24 -t 0 -s 36 --seed 21"));

    // Flies gather along edges: some come to rest on the window within a body length of
    // its sides.
    const int reach = 36;
    std::vector<HWND> onEdges;
    ASSERT_TRUE(waitPumping([&] { return (onEdges = restingOnEdge(flies.id(), place, reach)).size() >= 2; },
                            kSettleMs))
        << onEdges.size() << " flies rest on the edges of the window";

    // The window moves: every fly resting on it takes off, so its window moves. The
    // window list is read again within a second where the system does not report moves.
    std::vector<HWND> perched;
    for (HWND fly : restingFlies(flies.id())) {
        if (PtInRect(&place, centreOf(fly))) perched.push_back(fly);
    }
    std::vector<RECT> before;
    for (HWND fly : perched) before.push_back(windowRect(fly));
    SetWindowPos(target_, nullptr, place.left + 150, place.top + 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    std::vector<bool> tookOff(perched.size(), false);
    // Within a second, though under Wine the move comes unreported (a slower machine may
    // add a frame or two).
    EXPECT_TRUE(waitPumping([&] {
        for (size_t i = 0; i < perched.size(); ++i) {
            const RECT now = windowRect(perched[i]);
            if (!EqualRect(&now, &before[i])) tookOff[i] = true;
        }
        return std::find(tookOff.begin(), tookOff.end(), false) == tookOff.end();
    }, 1200)) << std::count(tookOff.begin(), tookOff.end(), false) << " of " << perched.size()
              << " flies stayed put on the moved window";
}

// Nothing comes between the desktop and the flies: the program reads the work area and
// the windows a user sees (Wine's tray box too, nothing more) and shows each fly at its
// body centre, so the core, given those and the seed, has every fly that rests on the
// screen stand on that spot.
TEST_F(FlyDesktopTest, EachRestingFlyStandsWhereTheCoreGivenTheSameDesktopPutsIt) {
    target_ = createTarget({390, 250, 890, 550});
    ASSERT_NE(nullptr, target_);
    const int size = 36;
    const std::vector<std::string> words = {"-n", "12", "-t", "0", "-s", std::to_string(size), "--seed", "7"};
    const gnatter::ParseResult parsed = gnatter::parseOptions(words);
    ASSERT_TRUE(parsed.ok);
    std::wstring options;
    for (const std::string& word : words) options += std::wstring(word.begin(), word.end()) + L" ";
    // The core sees what the program saw: the desktop as it was when it started, then the
    // windows its tray icon brings (under Wine, a box of its own) a moment later.
    gnatter::Swarm core(parsed.options, parsed.options.seed, gnatter::win32::currentMonitors(), visibleWindows(0));
    Process flies;
    ASSERT_TRUE(startFlies(flies, options));
    // A fly on the screen: the program has read the desktop, its tray icon up.
    ASSERT_TRUE(waitPumping([&] {
        const std::vector<HWND> windows = flyWindows(flies.id());
        return std::any_of(windows.begin(), windows.end(), [](HWND fly) { return IsWindowVisible(fly) != FALSE; });
    }, kAppearMs));
    for (int step = 0; step < 36; ++step) core.advance(gnatter::Swarm::kStepSeconds);  // 0.3 s
    core.setWindows(visibleWindows(flies.id()));

    // Longer than the program runs here: a program that fell behind is still covered.
    const std::vector<Spot> spots = groundSpots(core, 40.0);

    // Ten seconds in most flies have landed once, twenty seconds in most have moved on
    // over the window too.
    const int anchor = bodyAnchor(size);
    std::size_t compared = 0;
    std::ostringstream misplaced;
    for (int round = 0; round < 2; ++round) {
        pumpFor(10000);
        for (HWND fly : restingFlies(flies.id())) {
            const RECT r = windowRect(fly);
            const POINT corner = {r.left, r.top};
            ++compared;
            const auto shown = [&](const Spot& spot) { return showsSpot(corner, anchor, spot); };
            if (std::none_of(spots.begin(), spots.end(), shown)) {
                misplaced << " (" << corner.x + anchor << ", " << corner.y + anchor << ")";
            }
        }
    }
    ASSERT_GE(compared, 6u) << "too few flies rest to compare";
    EXPECT_TRUE(misplaced.str().empty()) << "flies rest where the core never put one:" << misplaced.str();
}

TEST_F(FlyDesktopTest, SwattingTheLastFlyEndsTheProgram) {
    Process flies;
    ASSERT_TRUE(startFlies(flies, L"-n 1 -t 0 -s 48 --seed 4"));
    std::vector<HWND> resting;
    ASSERT_TRUE(waitPumping([&] { return !(resting = restingFlies(flies.id(), kLongRestMs)).empty(); }, kSettleMs));
    clickAt(centreOf(resting[0]));
    DWORD exitCode = ~0u;
    ASSERT_TRUE(flies.waitExit(kExitMs, &exitCode)) << "still running after its only fly was swatted";
    EXPECT_EQ(0u, exitCode);
}

struct SwatCase {
    const char* name;
    const wchar_t* options;
    bool uncheckInMenu;  // turn "Swatting" off in the tray menu first
    bool squashes;
    const wchar_t* thenRun = nullptr;  // a second gnatter.exe started with these options first
};

void PrintTo(const SwatCase& c, std::ostream* out) { *out << c.name; }

class FlySwatTest : public FlyDesktopTest, public ::testing::WithParamInterface<SwatCase> {};

TEST_P(FlySwatTest, AClickOnARestingFlyAndTheWindowUnderIt) {
    const SwatCase& c = GetParam();
    const RECT screen = screenRect();
    const RECT place = inset(screen, 60, 60);
    target_ = createTarget(place);
    ASSERT_NE(nullptr, target_);
    Process flies;
    ASSERT_TRUE(startFlies(flies, std::wstring(L"-n 6 -t 0 -s 48 --seed 9 ") + c.options));
    ASSERT_TRUE(waitPumping([&] { return flyWindows(flies.id()).size() == 6; }, kAppearMs));
    if (c.uncheckInMenu) chooseSwattingInTrayMenu(flies.id());
    if (c.thenRun != nullptr) {
        ASSERT_EQ(0u, runToEnd(c.thenRun, kExitMs));
    }
    // Read before choosing a fly: the pointer's trip to the icon may startle one.
    const std::wstring tipBefore = trayTooltipText();

    // A resting fly whose body centre lies over the window.
    const RECT inside = inset(place, 1, 1);
    HWND fly = nullptr;
    ASSERT_TRUE(waitPumping([&] {
        for (HWND resting : restingFlies(flies.id(), kLongRestMs)) {
            const POINT centre = centreOf(resting);
            if (PtInRect(&inside, centre)) fly = resting;
        }
        return fly != nullptr;
    }, kSettleMs)) << "no fly rests over the window";
    const POINT at = centreOf(fly);
    clickAt(at);

    ASSERT_TRUE(waitPumping([&] { return !g_clicks.empty(); }, 5000)) << "the window under the fly got no click";
    EXPECT_EQ(at.x, g_clicks[0].x);
    EXPECT_EQ(at.y, g_clicks[0].y);
    // A squashed fly stays where it was hit for a few seconds, fades, and its window goes.
    // A fly that was not squashed either sits on, or moves: it may flee the pointer's
    // jump, even off the screen for a while, but never without moving first.
    const RECT hitAt = windowRect(fly);
    bool moved = false;
    const bool hidden = waitPumping([&] {
        const RECT now = windowRect(fly);
        moved = moved || !EqualRect(&now, &hitAt);
        return moved || !IsWindowVisible(fly);
    }, 8000) && !moved;
    EXPECT_EQ(c.squashes, hidden) << (moved ? "the fly moved" : "the fly sat on");
    // The notification area counts the flies still alive (when its tooltip can be read).
    if (tipBefore.empty()) return;
    EXPECT_EQ(L"Gnatter: 6 flies", tipBefore);
    const std::wstring tipAfter = trayTooltipText();
    if (!tipAfter.empty()) {
        EXPECT_EQ(c.squashes ? L"Gnatter: 5 flies" : L"Gnatter: 6 flies", tipAfter);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, FlySwatTest,
                         ::testing::Values(SwatCase{"Squashes", L"", false, true},
                                           SwatCase{"NoSwatOption", L"--no-swat", false, false},
                                           SwatCase{"SwattingUncheckedInTheMenu", L"", true, false},
                                           SwatCase{"SwattingTurnedOffFromACommand", L"", false, false,
                                                    L"--swatting off"}),
                         [](const ::testing::TestParamInfo<SwatCase>& info) { return info.param.name; });

// ---- the pointer coming at a fly ----

// Moves the pointer as a mouse would (the system reports it to every raw-input sink), or
// as a program that sets it does (no report).
void movePointer(POINT to, bool reported) {
    if (reported) {
        sendMouseAt(to, 0);
    } else {
        SetCursorPos(to.x, to.y);
    }
}

struct StartleCase {
    const char* name;
    bool reported;  // the approach comes as mouse input; the parking always does
};

void PrintTo(const StartleCase& c, std::ostream* out) { *out << c.name; }

class FlyStartleTest : public FlyDesktopTest, public ::testing::WithParamInterface<StartleCase> {};

// The program reads a parked pointer only now and then once the system has shown that it
// reports mouse input, so the case that matters is a move that goes unreported after that.
TEST_P(FlyStartleTest, APointerComingFastAtARestingFlyStartlesIt) {
    const StartleCase& c = GetParam();
    // Parked mid-screen: away from the notification area, whose window's own pointer
    // events Wine reports as mouse input when the pointer leaves it.
    const RECT screen = screenRect();
    movePointer({(screen.left + screen.right) / 2, (screen.top + screen.bottom) / 2}, true);
    Process flies;
    ASSERT_TRUE(startFlies(flies, L"-n 1 -t 0 -s 48 --seed 4"));
    ASSERT_TRUE(waitPumping([&] { return !restingFlies(flies.id(), kLongRestMs).empty(); }, kSettleMs));
    // A mouse event that moves nothing shows the program that mouse input is reported;
    // the fly is then chosen after the pointer kept still for a while.
    sendMouse(MOUSEEVENTF_MOVE);
    HWND fly = nullptr;
    ASSERT_TRUE(waitPumping([&] {
        const std::vector<HWND> resting = restingFlies(flies.id(), kLongRestMs);
        fly = resting.empty() ? nullptr : resting[0];
        return fly != nullptr;
    }, kSettleMs));

    // In a tenth of a second from where it was parked to two body lengths from the fly:
    // not onto its window, whose pointer events Wine would report too.
    POINT from = {};
    GetCursorPos(&from);
    const POINT centre = centreOf(fly);
    const double length = std::hypot(centre.x - from.x, centre.y - from.y);
    ASSERT_GT(length, 6 * 48) << "the fly rests where the pointer is parked";
    const double reach = std::max(0.0, 1.0 - 2 * 48 / std::max(length, 1.0));
    for (int step = 1; step <= 6; ++step) {
        const double f = reach * step / 6.0;
        movePointer({from.x + static_cast<LONG>(f * (centre.x - from.x)), from.y + static_cast<LONG>(f * (centre.y - from.y))},
                    c.reported);
        pumpFor(16);
    }
    // The fly jumps and flies off: within the pointer's slow reading and a little more
    // it is five body lengths from where it sat, further than it could walk in the time,
    // or off the screen (its window hidden).
    EXPECT_TRUE(waitPumping([&] {
        const POINT now = centreOf(fly);
        return !IsWindowVisible(fly) || std::hypot(now.x - centre.x, now.y - centre.y) > 5 * 48;
    }, 1600)) << "the fly did not fly off";
}

INSTANTIATE_TEST_SUITE_P(Table, FlyStartleTest,
                         ::testing::Values(StartleCase{"ReportedMove", true},
                                           StartleCase{"UnreportedMoveAfterReports", false}),
                         [](const ::testing::TestParamInfo<StartleCase>& info) { return info.param.name; });

}  // namespace
