// Full-screen detection by comparing the foreground window with its monitor.
#include "fullscreen.h"

#include <windows.h>

namespace gnatter::win32 {

namespace {

// The desktop itself (wallpaper and icons) fills the monitor and may be in front.
bool isDesktopWindow(HWND window) {
    if (window == GetDesktopWindow() || window == GetShellWindow()) return true;
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    return lstrcmpW(className, L"Progman") == 0 || lstrcmpW(className, L"WorkerW") == 0;
}

}  // namespace

bool findFullScreenMonitor(gnatter::Rect& monitor) {
    HWND window = GetForegroundWindow();
    if (window == nullptr || !IsWindowVisible(window) || IsIconic(window)) return false;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == GetCurrentProcessId() || isDesktopWindow(window)) return false;

    HMONITOR handle = MonitorFromWindow(window, MONITOR_DEFAULTTONULL);
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    RECT rect = {};
    if (handle == nullptr || !GetMonitorInfoW(handle, &info) || !GetWindowRect(window, &rect)) return false;
    const RECT& m = info.rcMonitor;
    if (rect.left > m.left || rect.top > m.top || rect.right < m.right || rect.bottom < m.bottom) return false;
    monitor = {m.left, m.top, m.right, m.bottom};
    return true;
}

}  // namespace gnatter::win32
