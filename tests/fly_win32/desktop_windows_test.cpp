// In-process checks of the desktop side of the fly program: which windows count as
// places to land, and the tray tooltip's text.
#include "desktop_windows.h"
#include "tray.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

namespace {

using gnatter::WindowBox;

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
