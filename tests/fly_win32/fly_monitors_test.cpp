// The real gnatter.exe on a desktop of two monitors of different sizes (under Wine:
// wine-run.sh --two-monitors, 1280x800 and 1024x768 side by side, so a strip under the
// smaller one belongs to neither). Flies settle on both monitors and never on the strip;
// a window across the seam gets flies on both sides; at the end they leave across outer
// edges, never at the seam, and the program ends cleanly on its timeout and on --stop.
// Observed from outside: the fly windows' places, a fly's body at its window's top-left
// corner plus the sprite's anchor (the same for every picture of a fly of one size).
#include "fly_program_driver.h"
#include "sprite.h"
#include "swarm.h"
#include "win_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <map>
#include <ostream>
#include <string>
#include <vector>

using namespace flyprogram;
using testsupport::Process;
using testsupport::windowRect;

namespace {

const int kFlySize = 36;
const DWORD kSettleMs = 45000;
const DWORD kRestMs = 400;  // a fly whose window kept still this long is on the ground
const wchar_t kPerchClass[] = L"GnatterMonitorsTestPerch";

struct Screen {
    RECT bounds{}, work{};
    UINT dpiX = 0, dpiY = 0;
};

BOOL CALLBACK addScreen(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info)) return TRUE;
    Screen screen{info.rcMonitor, info.rcWork};
    using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    HMODULE shcore = LoadLibraryW(L"shcore.dll");
    const auto getDpi = shcore == nullptr ? nullptr
                                          : reinterpret_cast<GetDpiForMonitorFn>(reinterpret_cast<void*>(
                                                GetProcAddress(shcore, "GetDpiForMonitor")));
    if (getDpi != nullptr) getDpi(monitor, 0 /* effective DPI */, &screen.dpiX, &screen.dpiY);
    reinterpret_cast<std::vector<Screen>*>(list)->push_back(screen);
    return TRUE;
}

std::vector<Screen> screens() {
    std::vector<Screen> list;
    EnumDisplayMonitors(nullptr, nullptr, addScreen, reinterpret_cast<LPARAM>(&list));
    std::sort(list.begin(), list.end(), [](const Screen& a, const Screen& b) { return a.bounds.left < b.bounds.left; });
    return list;
}

// Where a fly's body lies in its window: the sprite's anchor, from the fly core itself.
int bodyAnchor() {
    gnatter::FlyView fly;
    fly.size = float(kFlySize);
    fly.visible = true;
    gnatter::Sprite sprite;
    gnatter::renderFly(fly, sprite);
    return sprite.anchorX;
}

POINT bodyOf(HWND fly, int anchor) {
    const RECT r = windowRect(fly);
    return {r.left + anchor, r.top + anchor};
}

bool inside(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

// Distance from p to the nearest point that no monitor shows (0 when p is off them all).
int distanceOffTheMonitors(const std::vector<Screen>& list, POINT p, int limit) {
    for (int d = 0; d <= limit; ++d) {
        for (const POINT step : {POINT{d, 0}, POINT{-d, 0}, POINT{0, d}, POINT{0, -d}}) {
            const POINT q = {p.x + step.x, p.y + step.y};
            if (std::none_of(list.begin(), list.end(), [&](const Screen& s) { return inside(s.bounds, q); })) return d;
        }
    }
    return limit + 1;
}

// How far p goes along the direction from `from` before no monitor shows it.
int distanceAlong(const std::vector<Screen>& list, POINT from, POINT p, int limit) {
    const double dx = p.x - from.x, dy = p.y - from.y, length = std::hypot(dx, dy);
    for (int d = 0; d <= limit; ++d) {
        const POINT q = {p.x + LONG(std::lround(dx * d / length)), p.y + LONG(std::lround(dy * d / length))};
        if (std::none_of(list.begin(), list.end(), [&](const Screen& s) { return inside(s.bounds, q); })) return d;
    }
    return limit + 1;
}

std::string text(POINT p) { return "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")"; }

void pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

void pumpFor(DWORD ms) {
    testsupport::waitFor([] {
        pump();
        return false;
    }, ms);
}

std::vector<HWND> visibleFlies(DWORD processId) {
    std::vector<HWND> flies;
    for (HWND fly : testsupport::topLevelWindows(processId, kFlyClass)) {
        if (IsWindowVisible(fly)) flies.push_back(fly);
    }
    return flies;
}

// The bodies of the flies whose windows kept still for kRestMs.
std::vector<POINT> groundedBodies(DWORD processId, int anchor) {
    std::map<HWND, RECT> before;
    for (HWND fly : visibleFlies(processId)) before[fly] = windowRect(fly);
    pumpFor(kRestMs);
    std::vector<POINT> bodies;
    for (const auto& [fly, rect] : before) {
        const RECT now = windowRect(fly);
        if (IsWindowVisible(fly) && EqualRect(&now, &rect)) bodies.push_back(bodyOf(fly, anchor));
    }
    return bodies;
}

HWND createPerch(const RECT& rect) { return testsupport::createPlainWindow(kPerchClass, rect); }

class TwoMonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        monitors_ = screens();
        for (const Screen& s : monitors_) {
            std::cout << "[ monitor   ] " << s.bounds.left << "," << s.bounds.top << "-" << s.bounds.right << ","
                      << s.bounds.bottom << ", work area " << s.work.left << "," << s.work.top << "-" << s.work.right
                      << "," << s.work.bottom << ", effective DPI " << s.dpiX << "x" << s.dpiY << "\n";
        }
        if (monitors_.size() < 2) GTEST_SKIP() << "this desktop has one monitor";
        if (FindWindowW(kOwnerClass, nullptr) != nullptr) runToEnd(L"--stop", kExitMs);
        SetCursorPos(monitors_[0].work.left, monitors_[0].work.top);
        anchor_ = bodyAnchor();
    }
    void TearDown() override {
        runToEnd(L"--stop", kExitMs);
        if (perch_ != nullptr) DestroyWindow(perch_);
    }

    // The monitor whose work area holds p, or -1.
    int workAreaOf(POINT p) const {
        for (size_t i = 0; i < monitors_.size(); ++i) {
            if (inside(monitors_[i].work, p)) return int(i);
        }
        return -1;
    }

    std::vector<Screen> monitors_;
    int anchor_ = 0;
    HWND perch_ = nullptr;
};

TEST_F(TwoMonitorTest, FliesSettleOnBothMonitorsAndNeverOffTheirWorkAreas) {
    Process flies;
    ASSERT_TRUE(startFlies(flies, L"-n 30 -t 0 -s 36 --seed 8"));
    std::vector<int> grounded(monitors_.size(), 0);
    std::vector<POINT> astray;
    // At least 15 s of looking, and until some have come to the ground on every monitor.
    const ULONGLONG start = GetTickCount64();
    testsupport::waitFor([&] {
        for (const POINT body : groundedBodies(flies.id(), anchor_)) {
            const int monitor = workAreaOf(body);
            if (monitor < 0) astray.push_back(body);
            else ++grounded[monitor];
        }
        const bool everywhere = std::all_of(grounded.begin(), grounded.end(), [](int n) { return n >= 3; });
        return everywhere && GetTickCount64() - start > 15000;
    }, kSettleMs);
    for (size_t i = 0; i < monitors_.size(); ++i) {
        EXPECT_GE(grounded[i], 3) << "flies seen on the ground of monitor " << i;
    }
    EXPECT_TRUE(astray.empty()) << astray.size() << " sightings of a fly on the ground off every work area, the first at "
                                << text(astray.empty() ? POINT{} : astray[0]);
}

TEST_F(TwoMonitorTest, AWindowAcrossTheSeamGivesPerchesOnBothSides) {
    const LONG seam = monitors_[1].bounds.left;
    // Most of both monitors, so that its edges are a good share of all the edges flies see.
    const LONG top = monitors_[1].work.top + 150;
    const RECT place = {monitors_[0].work.left + 200, top, monitors_[1].work.right - 200, top + 450};
    perch_ = createPerch(place);
    ASSERT_NE(nullptr, perch_);
    Process flies;
    ASSERT_TRUE(startFlies(flies, L"-n 40 -t 0 -s 36 --seed 21"));
    // Flies along the window's edges within a body length, left and right of the seam.
    int left = 0, right = 0;
    testsupport::waitFor([&] {
        for (const POINT body : groundedBodies(flies.id(), anchor_)) {
            const bool nearX = body.x >= place.left - kFlySize && body.x <= place.right + kFlySize;
            const bool nearY = body.y >= place.top - kFlySize && body.y <= place.bottom + kFlySize;
            const bool onEdge = (nearX && (std::abs(body.y - place.top) <= kFlySize ||
                                           std::abs(body.y - place.bottom) <= kFlySize)) ||
                                (nearY && (std::abs(body.x - place.left) <= kFlySize ||
                                           std::abs(body.x - place.right) <= kFlySize));
            if (onEdge && inside(place, body)) (body.x < seam ? left : right) += 1;
        }
        return left > 0 && right > 0;
    }, kSettleMs);
    EXPECT_GT(left, 0) << "no fly rested on the window's edges left of the seam";
    EXPECT_GT(right, 0) << "no fly rested on the window's edges right of the seam";
}

struct EndCase {
    const char* name;
    const wchar_t* options;
    bool stop;  // end with --stop rather than by the timeout
};

void PrintTo(const EndCase& c, std::ostream* out) { *out << c.name; }

class TwoMonitorEndTest : public TwoMonitorTest, public ::testing::WithParamInterface<EndCase> {};

// Every fly's last place on the screen before the program ends: where it left.
TEST_P(TwoMonitorEndTest, FliesLeaveAcrossOuterEdgesAndTheProgramEnds) {
    const EndCase& c = GetParam();
    Process flies;
    ASSERT_TRUE(startFlies(flies, std::wstring(L"-n 20 -s 36 --seed 13 ") + c.options));
    // Each fly's last two places on the screen: where it left, and which way it went.
    std::map<HWND, POINT> lastSeen, before;
    const auto watch = [&] {
        for (HWND fly : visibleFlies(flies.id())) {
            const POINT body = bodyOf(fly, anchor_);
            const auto seen = lastSeen.find(fly);
            if (seen != lastSeen.end() && (seen->second.x != body.x || seen->second.y != body.y)) {
                before[fly] = seen->second;
            }
            lastSeen[fly] = body;
        }
    };
    // Time to arrive and settle on both monitors.
    testsupport::waitFor([&] {
        watch();
        return false;
    }, 8000);
    if (c.stop) {
        Process stopper;
        ASSERT_TRUE(startFlies(stopper, L"--stop"));
        DWORD stopCode = ~0u;
        ASSERT_TRUE(stopper.waitExit(kExitMs, &stopCode));
        EXPECT_EQ(0u, stopCode);
    }
    DWORD exitCode = ~0u;
    const bool ended = testsupport::waitFor([&] {
        watch();
        return flies.waitExit(0, &exitCode);
    }, kExitMs + 10000);
    ASSERT_TRUE(ended) << "still running " << (c.stop ? "after --stop" : "after its timeout");
    EXPECT_EQ(0u, exitCode);
    ASSERT_FALSE(lastSeen.empty());
    // Followed on along its last heading, a fly that left across an outer edge is off the
    // monitors within a short way; one that vanished at the seam, or anywhere inside, is
    // not. A fast fly covers a hundred pixels or more between two looks under Wine.
    const int reach = 400;
    for (const auto& [fly, at] : lastSeen) {
        const auto from = before.find(fly);
        const int distance = from == before.end() ? distanceOffTheMonitors(monitors_, at, reach)
                                                  : distanceAlong(monitors_, from->second, at, reach);
        EXPECT_LE(distance, reach) << "a fly was last seen at " << text(at) << " coming from "
                                   << (from == before.end() ? std::string("nowhere seen") : text(from->second));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, TwoMonitorEndTest,
                         ::testing::Values(EndCase{"Timeout", L"-t 12", false}, EndCase{"Stop", L"-t 0", true}),
                         [](const ::testing::TestParamInfo<EndCase>& info) { return info.param.name; });

}  // namespace
