// In-process checks of the desktop side of the fly program: which windows count as
// places to land, how two readings of them compare, and the tray tooltip's text.
#include "desktop_windows.h"
#include "tray.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

namespace {

using gnatter::WindowBox;

WindowBox box(std::uint64_t id, int left, int top, int right, int bottom) {
    WindowBox b;
    b.id = id;
    b.rect = {left, top, right, bottom};
    return b;
}

TEST(DesktopWindows, ReadingsDifferWhenAnyWindowOrAnyEdgeDiffers) {
    const std::vector<WindowBox> reading = {box(1, 10, 20, 30, 40), box(2, 0, 0, 5, 5)};
    EXPECT_TRUE(gnatter::win32::sameWindows(reading, reading));
    EXPECT_TRUE(gnatter::win32::sameWindows({}, {}));
    const std::vector<std::vector<WindowBox>> others = {
        {box(1, 10, 20, 30, 40)},                              // one went
        {box(2, 0, 0, 5, 5), box(1, 10, 20, 30, 40)},          // z-order swapped
        {box(3, 10, 20, 30, 40), box(2, 0, 0, 5, 5)},          // another window
        {box(1, 11, 20, 30, 40), box(2, 0, 0, 5, 5)},          // left edge
        {box(1, 10, 21, 30, 40), box(2, 0, 0, 5, 5)},          // top edge
        {box(1, 10, 20, 31, 40), box(2, 0, 0, 5, 5)},          // right edge
        {box(1, 10, 20, 30, 41), box(2, 0, 0, 5, 5)},          // bottom edge
        {box(1, 10, 20, 30, 40), box(2, 0, 0, 5, 6)},          // the second one
    };
    for (size_t i = 0; i < others.size(); ++i) {
        EXPECT_FALSE(gnatter::win32::sameWindows(reading, others[i])) << "case " << i;
        EXPECT_FALSE(gnatter::win32::sameWindows(others[i], reading)) << "case " << i;
    }
}

// The program's own windows (the flies among them) are never places to land.
TEST(DesktopWindows, LeavesOutThisProgramsWindows) {
    HWND own = CreateWindowExW(0, L"STATIC", L"own", WS_POPUP | WS_VISIBLE, 10, 10, 200, 100, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, own);
    const std::vector<WindowBox> windows = gnatter::win32::desktopWindows();
    const auto id = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(own));
    EXPECT_TRUE(std::none_of(windows.begin(), windows.end(), [&](const WindowBox& w) { return w.id == id; }));
    for (const WindowBox& w : windows) {
        EXPECT_LT(w.rect.left, w.rect.right);
        EXPECT_LT(w.rect.top, w.rect.bottom);
    }
    DestroyWindow(own);
}

TEST(TrayTooltip, CountsFliesInWords) {
    EXPECT_EQ(L"Gnatter: 1 fly", gnatter::win32::trayTooltip(1));
    EXPECT_EQ(L"Gnatter: 4 flies", gnatter::win32::trayTooltip(4));
    EXPECT_EQ(L"Gnatter: 0 flies", gnatter::win32::trayTooltip(0));
    EXPECT_EQ(L"Gnatter: 200 flies", gnatter::win32::trayTooltip(200));
}

}  // namespace
