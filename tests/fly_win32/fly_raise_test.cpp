// Putting the fly windows back on top, in-process: black layered windows like the flies',
// then a white window made after them (on an X server it starts above them all), then
// raiseFlyWindows; the screen, read back, must show every black square again, and the
// foreground must not change. A lone fly window is already first in the system's z-order,
// and a second raise finds the order the first one left: both must still reach the screen.
#include "fly_windows.h"
#include "win_test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

const wchar_t kSquareClass[] = L"GnatterRaiseTestFly";
const wchar_t kCoverClass[] = L"GnatterRaiseTestCover";
const int kSide = 40;

void pumpFor(DWORD ms) {
    testsupport::waitFor([] {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        return false;
    }, ms);
}

// A click-through topmost layered window showing an opaque black square at (x, y).
HWND blackSquare(int x, int y) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kSquareClass;
    RegisterClassExW(&windowClass);
    HWND window = CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE | WS_EX_TOPMOST |
                                      WS_EX_TOOLWINDOW,
                                  kSquareClass, L"", WS_POPUP, x, y, kSide, kSide, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) return nullptr;
    testsupport::ScreenDib dib(kSide, kSide);
    for (int i = 0; i < kSide * kSide; ++i) dib.pixels[i] = 0xFF000000u;
    POINT at = {x, y}, origin = {0, 0};
    SIZE size = {kSide, kSide};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(window, dib.screen, &at, &size, dib.memory, &origin, 0, &blend, ULW_ALPHA);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    return window;
}

// Of the pixels the screen shows in a window's rectangle, how many are black.
int blackOnScreen(HWND window) {
    const RECT r = testsupport::windowRect(window);
    const int width = r.right - r.left, height = r.bottom - r.top;
    testsupport::ScreenDib dib(width, height);
    BitBlt(dib.memory, 0, 0, width, height, dib.screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    int black = 0;
    for (int i = 0; i < width * height; ++i) black += (dib.pixels[i] & 0xFFFFFFu) == 0 ? 1 : 0;
    return black;
}

// A plain white window over all the squares, made after them.
HWND coverOver(const std::vector<HWND>& squares) {
    RECT all = testsupport::windowRect(squares[0]);
    for (HWND square : squares) {
        const RECT r = testsupport::windowRect(square);
        UnionRect(&all, &all, &r);
    }
    InflateRect(&all, 20, 20);
    HWND cover = testsupport::createPlainWindow(kCoverClass, all, nullptr);
    pumpFor(300);
    return cover;
}

void expectAllShown(const std::vector<HWND>& squares, const char* when) {
    for (size_t i = 0; i < squares.size(); ++i) {
        EXPECT_EQ(kSide * kSide, blackOnScreen(squares[i])) << "square " << i << " " << when;
    }
}

void raiseAndCheck(const std::vector<HWND>& squares, const char* when) {
    const HWND foreground = GetForegroundWindow();
    gnatter::win32::raiseFlyWindows(squares);
    pumpFor(300);
    expectAllShown(squares, when);
    EXPECT_EQ(foreground, GetForegroundWindow()) << "the foreground changed " << when;
}

TEST(RaiseFlyWindows, ALoneFlyComesBackOverALaterWindow) {
    const std::vector<HWND> squares = {blackSquare(200, 200)};
    ASSERT_NE(nullptr, squares[0]);
    HWND cover = coverOver(squares);
    raiseAndCheck(squares, "after the raise");
    DestroyWindow(cover);
    DestroyWindow(squares[0]);
}

TEST(RaiseFlyWindows, EveryFlyComesBackOverLaterWindowsTimeAfterTime) {
    std::vector<HWND> squares;
    for (int i = 0; i < 3; ++i) squares.push_back(blackSquare(200 + 60 * i, 200));
    for (HWND square : squares) ASSERT_NE(nullptr, square);
    HWND first = coverOver(squares);
    raiseAndCheck(squares, "after the first raise");
    HWND second = coverOver(squares);
    raiseAndCheck(squares, "after the second raise");
    DestroyWindow(second);
    DestroyWindow(first);
    for (HWND square : squares) DestroyWindow(square);
}

}  // namespace
