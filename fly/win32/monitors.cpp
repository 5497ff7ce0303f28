// Monitor enumeration. GetDpiForMonitor (Windows 8.1, shcore.dll) is looked up at run
// time so the program still starts where it is missing; there every monitor counts as
// 96 DPI.
#include "monitors.h"

#include <windows.h>

namespace gnatter::win32 {

namespace {

// MONITOR_DPI_TYPE is an enum in shellscalingapi.h; 0 is MDT_EFFECTIVE_DPI.
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
const int kEffectiveDpi = 0;

GetDpiForMonitorFn getDpiForMonitor() {
    static const GetDpiForMonitorFn function = [] {
        HMODULE shcore = LoadLibraryW(L"shcore.dll");
        if (shcore == nullptr) return GetDpiForMonitorFn{};
        return reinterpret_cast<GetDpiForMonitorFn>(
            reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
    }();
    return function;
}

float monitorScale(HMONITOR monitor) {
    const GetDpiForMonitorFn function = getDpiForMonitor();
    UINT dpiX = 0, dpiY = 0;
    if (function == nullptr || FAILED(function(monitor, kEffectiveDpi, &dpiX, &dpiY)) || dpiX == 0) {
        return 1.0f;
    }
    return static_cast<float>(dpiX) / 96.0f;
}

gnatter::Rect toRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

BOOL CALLBACK addMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info)) return TRUE;
    gnatter::Monitor m;
    m.bounds = toRect(info.rcMonitor);
    m.workArea = toRect(info.rcWork);
    m.scale = monitorScale(monitor);
    reinterpret_cast<std::vector<gnatter::Monitor>*>(list)->push_back(m);
    return TRUE;
}

}  // namespace

std::vector<gnatter::Monitor> currentMonitors() {
    std::vector<gnatter::Monitor> monitors;
    EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

}  // namespace gnatter::win32
