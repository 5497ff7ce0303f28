// What a user sees of a real fly's transparency: gnatter.exe runs over a plain window of
// this test, and the screen under the fly's window is read back (BitBlt from the screen,
// which under Wine shows what the compositor composed). Photographed over a dark and then
// a light background, each pixel gives its own opacity and colour (two equations, two
// unknowns: shown = colour + (1 - opacity) * background). With a compositor (Windows'
// case), the fly must look as the fly core draws it: see-through wings in about the
// core's amount and shade, premultiplied colours, a window that changes nothing beyond
// the drawn fly. Without one (a bare X desktop) every pixel is either the background or
// opaque: that is what such a desktop shows, and the test says so.
//
// Under Wine ctest runs it twice, through wine-run.sh --compositor on and --compositor
// off; the environment variable GNATTER_COMPOSITOR tells which (unset: Windows, which
// always composites).
#include "fly_program_driver.h"
#include "sprite.h"
#include "swarm.h"
#include "win_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

using namespace flyprogram;
using testsupport::Process;
using testsupport::windowRect;

namespace {

const int kFlySize = 96;  // large, so that wings and shadow cover many pixels
const DWORD kSettleMs = 90000;  // a new fly explores for its first half minute
const DWORD kRestMs = 600;
const wchar_t kBackdropClass[] = L"GnatterAlphaTestBackdrop";
// Dark and light, and far apart in every channel, so each channel measures the opacity.
const COLORREF kDark = RGB(16, 24, 40);
const COLORREF kLight = RGB(240, 232, 216);

// Windows always composites; under Wine, wine-run.sh says whether it does.
bool composited() {
    const char* value = std::getenv("GNATTER_COMPOSITOR");
    return value == nullptr || std::string(value) != "off";
}

void pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

bool waitPumping(const std::function<bool()>& condition, DWORD timeoutMs) {
    return testsupport::waitFor([&] {
        pump();
        return condition();
    }, timeoutMs);
}

// ---- the backdrop: this test's own full-screen window in one plain colour ----

COLORREF g_backdropColour = kDark;

LRESULT CALLBACK backdropProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) {
        RECT client;
        GetClientRect(window, &client);
        HBRUSH brush = CreateSolidBrush(g_backdropColour);
        FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
        DeleteObject(brush);
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND createBackdrop() {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = backdropProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kBackdropClass;
    RegisterClassExW(&windowClass);
    HWND window = CreateWindowExW(WS_EX_NOACTIVATE, kBackdropClass, L"backdrop", WS_POPUP, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window != nullptr) ShowWindow(window, SW_SHOWNOACTIVATE);
    return window;
}

// ---- reading the screen ----

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, top row first
    bool operator==(const Picture& o) const {
        return width == o.width && height == o.height && pixels == o.pixels;
    }
};

Picture grabScreen(const RECT& r) {
    Picture picture;
    picture.width = r.right - r.left;
    picture.height = r.bottom - r.top;
    testsupport::ScreenDib dib(picture.width, picture.height);
    if (dib.pixels != nullptr) {
        BitBlt(dib.memory, 0, 0, picture.width, picture.height, dib.screen, r.left, r.top, SRCCOPY);
        GdiFlush();
        picture.pixels.assign(dib.pixels, dib.pixels + static_cast<size_t>(picture.width) * picture.height);
        for (std::uint32_t& pixel : picture.pixels) pixel &= 0xffffffu;
    }
    return picture;
}

std::uint32_t asPixel(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

// Repaints the backdrop in `colour` and waits until the screen shows it at `probe`, a
// point of the backdrop that no fly covers, and a little longer for the compositor to
// finish the frame.
bool showBackdrop(HWND backdrop, COLORREF colour, POINT probe) {
    g_backdropColour = colour;
    RedrawWindow(backdrop, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    const RECT at = {probe.x, probe.y, probe.x + 1, probe.y + 1};
    if (!waitPumping([&] { return grabScreen(at).pixels[0] == asPixel(colour); }, 5000)) return false;
    waitPumping([] { return false; }, 150);
    return true;
}

// ---- opacity and colour from two photographs ----

struct Channels {
    double c[3];  // red, green, blue
};

Channels channelsOf(std::uint32_t pixel) {
    return {{double((pixel >> 16) & 0xff), double((pixel >> 8) & 0xff), double(pixel & 0xff)}};
}

Channels channelsOf(COLORREF c) { return channelsOf(asPixel(c)); }

struct Matte {
    double alpha = 0.0;       // 0 = background shows unchanged, 1 = nothing of it shows
    double spread = 0.0;      // how much the three channels disagree about alpha
    Channels premultiplied{};  // the colour the window adds, already scaled by alpha
};

Matte matte(std::uint32_t overDark, std::uint32_t overLight) {
    const Channels dark = channelsOf(kDark), light = channelsOf(kLight);
    const Channels shownDark = channelsOf(overDark), shownLight = channelsOf(overLight);
    double through[3];
    for (int k = 0; k < 3; ++k) {
        through[k] = (shownLight.c[k] - shownDark.c[k]) / (light.c[k] - dark.c[k]);
    }
    const double mean = (through[0] + through[1] + through[2]) / 3.0;
    Matte m;
    m.alpha = std::clamp(1.0 - mean, 0.0, 1.0);
    m.spread = std::max({std::fabs(through[0] - mean), std::fabs(through[1] - mean), std::fabs(through[2] - mean)});
    for (int k = 0; k < 3; ++k) m.premultiplied.c[k] = shownDark.c[k] - (1.0 - m.alpha) * dark.c[k];
    return m;
}

double luminance(const Channels& c) { return 0.299 * c.c[0] + 0.587 * c.c[1] + 0.114 * c.c[2]; }

// How a fly picture's pixels divide up by opacity, and how light its see-through ones are.
struct AlphaCensus {
    double drawn = 0;        // opacity at least 0.03: the fly and its shadow
    double seeThrough = 0;   // opacity 0.1 to 0.9: wings, shadow, anti-aliased edges
    double opaque = 0;       // opacity above 0.9
    double seeThroughLight = 0;  // mean luminance of the see-through pixels' own colour
    double softDark = 0;     // opacity 0.03 to 0.6 and nearly black: shadow, soft leg edges
    double binary = 0;       // pixels that are neither clear (< 0.03) nor opaque (> 0.97)

    void add(double alpha, const Channels& premultiplied) {
        if (alpha >= 0.03) ++drawn;
        if (alpha >= 0.03 && alpha <= 0.6 && luminance(premultiplied) < 40.0 * alpha) ++softDark;
        if (alpha > 0.9) ++opaque;
        if (alpha >= 0.03 && alpha <= 0.97) ++binary;
        if (alpha >= 0.1 && alpha <= 0.9) {
            seeThroughLight += luminance(premultiplied) / alpha;
            ++seeThrough;
        }
    }
    void finish(double pictures = 1.0) {
        if (seeThrough > 0) seeThroughLight /= seeThrough;
        drawn /= pictures;
        seeThrough /= pictures;
        opaque /= pictures;
        softDark /= pictures;
        binary /= pictures;
    }
};

std::string describe(const AlphaCensus& c) {
    std::ostringstream out;
    out << "drawn " << c.drawn << ", see-through " << c.seeThrough << " (luminance " << c.seeThroughLight
        << "), soft and dark " << c.softDark << ", opaque " << c.opaque;
    return out.str();
}

// The fly core's own pictures of a fly standing on the glass, averaged over headings.
AlphaCensus coreCensus() {
    AlphaCensus census;
    const int headings = 16;
    gnatter::Sprite sprite;
    for (int h = 0; h < headings; ++h) {
        gnatter::FlyView fly;
        fly.size = float(kFlySize);
        fly.heading = float(h) * 6.2831853f / float(headings);
        fly.visible = true;
        gnatter::renderFly(fly, sprite);
        for (std::uint32_t pixel : sprite.pixels) {
            const double alpha = double(pixel >> 24) / 255.0;
            census.add(alpha, channelsOf(pixel & 0xffffffu));
        }
    }
    census.finish(headings);
    return census;
}

// ---- finding a fly to photograph ----

std::vector<HWND> visibleFlies(DWORD processId) {
    std::vector<HWND> flies;
    for (HWND fly : testsupport::topLevelWindows(processId, kFlyClass)) {
        if (IsWindowVisible(fly)) flies.push_back(fly);
    }
    return flies;
}

// Somewhere on the screen that nothing but the backdrop covers: away from the fly and
// from Wine's notification-area box.
bool clearOf(const RECT& fly, const RECT& other) {
    RECT overlap;
    return !IntersectRect(&overlap, &fly, &other);
}

RECT trayBox() {
    HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr);
    return tray != nullptr && IsWindowVisible(tray) ? windowRect(tray) : RECT{0, 0, 0, 0};
}

struct Photographs {
    RECT rect{};
    Picture overDark, overLight;
};

// Waits for the fly to rest wholly on the screen, then photographs it over both
// backgrounds; tries again when it moved or changed its picture (grooming) meanwhile.
bool photographRestingFly(DWORD processId, HWND backdrop, Photographs& out) {
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return waitPumping([&] {
        const std::vector<HWND> flies = visibleFlies(processId);
        if (flies.size() != 1) return false;
        const RECT before = windowRect(flies[0]);
        waitPumping([] { return false; }, kRestMs);
        RECT now = windowRect(flies[0]), inside;
        if (!EqualRect(&now, &before) || !IntersectRect(&inside, &now, &screen) || !EqualRect(&inside, &now) ||
            !clearOf(now, trayBox())) {
            return false;
        }
        // The probe: a screen corner the fly is not near.
        const POINT probe = now.left > screen.right / 2 ? POINT{4, screen.bottom - 4}
                                                         : POINT{screen.right - 4, screen.bottom - 4};
        // Twice over each background: a grooming fly's strokes can go and come back
        // between two photographs, so one repeat would not show it.
        Picture dark, light;
        for (int round = 0; round < 2; ++round) {
            if (!showBackdrop(backdrop, kDark, probe)) return false;
            const Picture overDark = grabScreen(now);
            if (!showBackdrop(backdrop, kLight, probe)) return false;
            const Picture overLight = grabScreen(now);
            if (round > 0 && !(overDark == dark && overLight == light)) return false;
            dark = overDark;
            light = overLight;
        }
        now = windowRect(flies[0]);
        if (!EqualRect(&now, &before)) return false;
        out = {now, dark, light};
        return true;
    }, kSettleMs);
}

class FlyAlphaTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (FindWindowW(kOwnerClass, nullptr) != nullptr) runToEnd(L"--stop", kExitMs);
        backdrop_ = createBackdrop();
        ASSERT_NE(nullptr, backdrop_);
        SetCursorPos(0, 0);  // far from where the fly is photographed, and still
    }
    void TearDown() override {
        runToEnd(L"--stop", kExitMs);
        if (backdrop_ != nullptr) DestroyWindow(backdrop_);
    }
    HWND backdrop_ = nullptr;
};

TEST_F(FlyAlphaTest, ARestingFlyShowsTheBackgroundAsTheFlyCoreDrawsIt) {
    Process flies;
    // A seed whose fly comes to rest wholly on the screen within ten seconds; many rest on
    // a screen edge, their pictures half off it.
    ASSERT_TRUE(startFlies(flies, L"-n 1 -t 0 -s " + std::to_wstring(kFlySize) + L" --seed 3"));
    Photographs shots;
    ASSERT_TRUE(photographRestingFly(flies.id(), backdrop_, shots)) << "the fly never rested wholly on the screen";

    const int width = shots.overDark.width, height = shots.overDark.height;
    AlphaCensus screen;
    double worstSpread = 0.0, worstExcess = -255.0;
    int cornerPixelsChanged = 0;
    const int corner = 6;  // a fly's legs reach a circle within its window, never its corners
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t i = size_t(y) * width + x;
            const Matte m = matte(shots.overDark.pixels[i], shots.overLight.pixels[i]);
            screen.add(m.alpha, m.premultiplied);
            worstSpread = std::max(worstSpread, m.spread);
            for (double c : m.premultiplied.c) worstExcess = std::max(worstExcess, c - 255.0 * m.alpha);
            const bool inCorner = (x < corner || x >= width - corner) && (y < corner || y >= height - corner);
            if (inCorner && m.alpha >= 0.03) ++cornerPixelsChanged;
        }
    }
    screen.finish();
    const AlphaCensus core = coreCensus();
    const std::string both = "\n  on screen: " + describe(screen) + "\n  fly core:  " + describe(core);
    std::cout << "[ census    ] " << (composited() ? "with" : "without") << " a compositor:" << both << "\n";

    // Every channel lets the same share of the background through: one opacity per pixel.
    EXPECT_LT(worstSpread, 0.06) << both;
    EXPECT_EQ(0, cornerPixelsChanged) << "the window changes the background beyond the fly" << both;

    if (!composited()) {
        // A bare X desktop: the window's outline is cut from the alpha, and inside it the
        // colours are drawn as they are, opaque (see-through wings come out dark grey).
        EXPECT_EQ(0.0, screen.binary) << "partly transparent pixels without a compositor" << both;
        EXPECT_GT(screen.opaque, 0.7 * core.drawn) << both;
        EXPECT_LT(screen.opaque, 1.3 * core.drawn) << both;
        return;
    }
    // Nothing drawn beyond the fly: the drawn area is the core's, give or take the pose.
    EXPECT_GT(screen.drawn, 0.8 * core.drawn) << both;
    EXPECT_LT(screen.drawn, 1.2 * core.drawn) << "the window covers more than the fly" << both;
    // See-through wings: a good part of the fly lets the background through, about as
    // much as the core draws and as light (a colour scaled by its opacity once more
    // comes out darker), and no more opaque pixels than the core's.
    EXPECT_GT(screen.seeThrough, 0.25 * screen.drawn) << "the wings are not see-through" << both;
    EXPECT_GT(screen.seeThrough, 0.7 * core.seeThrough) << both;
    EXPECT_LT(screen.seeThrough, 1.4 * core.seeThrough) << both;
    EXPECT_LT(screen.opaque, 1.25 * core.opaque) << "too many opaque pixels" << both;
    EXPECT_NEAR(screen.seeThroughLight, core.seeThroughLight, 20.0) << both;
    // The shadow and the legs' edges darken the background softly, as in the core.
    EXPECT_GT(screen.softDark, 0.6 * core.softDark) << both;
    EXPECT_LT(screen.softDark, 1.6 * core.softDark) << both;
    // Premultiplied: no pixel adds more light than its opacity allows.
    EXPECT_LT(worstExcess, 8.0) << "a colour exceeds its opacity (not premultiplied)" << both;
}

}  // namespace
