// The fly program's one thread: a hidden owner window and a loop around
// MsgWaitForMultipleObjectsEx that gives the swarm real elapsed time, the monitors and
// the pointer, and shows what it reports.
//
// Clock: about 60 frames a second while any fly moves; the pointer is read 20 times a
// second then (reading it may cost a round trip to the display server, and a startled
// fly does not need it sooner). While every fly rests the loop sleeps until the first
// rest ends, waking only every 100 ms to look at the pointer (an approaching pointer may
// startle a fly) and every 250 ms for a full-screen application in front; the swarm is
// advanced only when one of these changed. While the session is locked or the display
// is off the loop waits without a timeout, and that time does not count: the swarm's
// clock, and so the -t timeout, stands still until the user is back.
#include "fly_program.h"

#include "fly_windows.h"
#include "fullscreen.h"
#include "monitors.h"
#include "single_instance.h"
#include "swarm.h"
#include "tray.h"

#include <windows.h>
#include <wtsapi32.h>

#include <algorithm>
#include <memory>

namespace gnatter::win32 {

namespace {

const UINT kTrayMessage = WM_APP + 1;
const double kFramePeriodSeconds = 1.0 / 60.0;
const double kPointerReadSeconds = 0.05;
const double kRestingPollSeconds = 0.1;
const double kFullScreenCheckSeconds = 0.25;
const double kLongestRestWaitSeconds = 3600.0;

// GUID_CONSOLE_DISPLAY_STATE (Windows 8 and later) and GUID_MONITOR_POWER_ON (before);
// both report a DWORD, 0 when the display is off.
const GUID kConsoleDisplayState = {0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
const GUID kMonitorPowerOn = {0x02731015, 0x4510, 0x4526, {0x99, 0xe6, 0xe5, 0xa1, 0x7e, 0xbd, 0x1a, 0xea}};

gnatter::Options g_options;
std::unique_ptr<gnatter::Swarm> g_swarm;
FlyWindows g_flies;
HWND g_owner = nullptr;
UINT g_taskbarCreatedMessage = 0;
HPOWERNOTIFY g_displayNotification = nullptr;

bool g_sessionLocked = false;
bool g_displayOff = false;
bool g_monitorsChanged = false;
bool g_wakeNow = false;  // something happened that the swarm must hear at once

// Clock, in QueryPerformanceCounter ticks.
long long g_ticksPerSecond = 1;
long long g_lastFrame = 0;
long long g_nextFrame = 0;
long long g_nextPoll = 0;
long long g_nextFullScreenCheck = 0;
long long g_nextPointerRead = 0;
bool g_resting = false;

// What the swarm was last told about the pointer and full-screen applications.
bool g_pointerPresent = false;
POINT g_pointer = {};
bool g_covered = false;
gnatter::Rect g_coveredMonitor;

long long now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

long long ticks(double seconds) { return static_cast<long long>(seconds * static_cast<double>(g_ticksPerSecond)); }

bool paused() { return g_sessionLocked || g_displayOff; }

void departNow() {
    if (!g_swarm) return;
    g_swarm->requestDeparture();
    g_wakeNow = true;
}

// ---- the frame ----

bool readPointer(bool& present, POINT& at) {
    present = GetCursorPos(&at) != FALSE;  // fails on the secure desktop
    return present != g_pointerPresent || (present && (at.x != g_pointer.x || at.y != g_pointer.y));
}

bool readFullScreen(bool& covered, gnatter::Rect& monitor) {
    covered = findFullScreenMonitor(monitor);
    return covered != g_covered ||
           (covered && (monitor.left != g_coveredMonitor.left || monitor.top != g_coveredMonitor.top ||
                        monitor.right != g_coveredMonitor.right || monitor.bottom != g_coveredMonitor.bottom));
}

// Until the first rest ends (the swarm counts its timeout in), but never less than a
// frame: should the swarm still rest when the wait is over, the loop must not spin.
double restWaitSeconds() {
    return std::min(std::max(g_swarm->restingSecondsLeft(), kFramePeriodSeconds), kLongestRestWaitSeconds);
}

void frame(long long at) {
    const double elapsed = static_cast<double>(at - g_lastFrame) / static_cast<double>(g_ticksPerSecond);
    g_lastFrame = at;
    g_wakeNow = false;

    if (g_monitorsChanged) {
        g_monitorsChanged = false;
        g_swarm->setMonitors(currentMonitors());
    }
    if (at >= g_nextPointerRead) {
        readPointer(g_pointerPresent, g_pointer);
        g_swarm->setPointer(g_pointerPresent, static_cast<float>(g_pointer.x), static_cast<float>(g_pointer.y));
        g_nextPointerRead = at + ticks(kPointerReadSeconds);
    }
    // The swarm skips time in which every fly rests in one go and clamps the rest, so
    // the real elapsed time goes in as it is.
    g_swarm->advance(elapsed);

    if (at >= g_nextFullScreenCheck) {
        readFullScreen(g_covered, g_coveredMonitor);
        g_nextFullScreenCheck = at + ticks(kFullScreenCheckSeconds);
    }
    g_flies.update(*g_swarm, g_covered ? &g_coveredMonitor : nullptr);

    if (g_swarm->done()) {
        DestroyWindow(g_owner);
        return;
    }
    g_resting = g_swarm->allResting();
    g_nextFrame = at + ticks(g_resting ? restWaitSeconds() : kFramePeriodSeconds);
    g_nextPoll = at + ticks(kRestingPollSeconds);
}

// While resting: true when the pointer or a full-screen application changed; the frame
// that follows then reads them again at once. The full-screen look costs several calls,
// so it keeps its own slower pace here too.
bool somethingChanged(long long at) {
    bool present = false, covered = false;
    POINT pointer = {};
    gnatter::Rect monitor;
    const bool pointerChanged = readPointer(present, pointer);
    bool coverChanged = false;
    if (at >= g_nextFullScreenCheck) {
        coverChanged = readFullScreen(covered, monitor);
        g_nextFullScreenCheck = at + ticks(kFullScreenCheckSeconds);
    }
    if (pointerChanged) g_nextPointerRead = 0;
    if (coverChanged) g_nextFullScreenCheck = 0;
    return pointerChanged || coverChanged;
}

// Called after every wake-up: runs a frame when one is due.
void tick() {
    const long long at = now();
    // A frame within a millisecond of its time is due: waits are whole milliseconds.
    if (g_wakeNow || g_monitorsChanged || at + ticks(0.001) >= g_nextFrame) {
        frame(at);
    } else if (g_resting && at >= g_nextPoll) {
        g_nextPoll = at + ticks(kRestingPollSeconds);
        if (somethingChanged(at)) frame(at);
    }
}

DWORD waitMilliseconds() {
    if (paused()) return INFINITE;
    if (g_wakeNow || g_monitorsChanged) return 0;
    long long due = g_nextFrame;
    if (g_resting) due = std::min(due, g_nextPoll);
    const long long left = due - now();
    if (left <= 0) return 0;
    return static_cast<DWORD>(left * 1000 / g_ticksPerSecond);
}

// ---- the owner window ----

void setPaused(bool locked, bool displayOff) {
    const bool wasPaused = paused();
    g_sessionLocked = locked;
    g_displayOff = displayOff;
    if (wasPaused && !paused()) {
        // Back again: the time away does not count.
        g_lastFrame = now();
        g_wakeNow = true;
    }
}

LRESULT onTrayMessage(LPARAM lParam) {
    const UINT mouseMessage = LOWORD(lParam);
    if (mouseMessage == WM_LBUTTONUP || mouseMessage == WM_RBUTTONUP || mouseMessage == WM_CONTEXTMENU) {
        if (trayMenuChoseShoo(g_owner)) departNow();
    }
    return 0;
}

LRESULT onSessionChange(WPARAM event) {
    if (event == WTS_SESSION_LOCK) setPaused(true, g_displayOff);
    if (event == WTS_SESSION_UNLOCK) setPaused(false, g_displayOff);
    return 0;
}

LRESULT onPowerBroadcast(WPARAM event, LPARAM lParam) {
    if (event != PBT_POWERSETTINGCHANGE) return TRUE;
    const auto* setting = reinterpret_cast<const POWERBROADCAST_SETTING*>(lParam);
    if ((setting->PowerSetting == kConsoleDisplayState || setting->PowerSetting == kMonitorPowerOn) &&
        setting->DataLength >= sizeof(DWORD)) {
        const DWORD state = *reinterpret_cast<const DWORD*>(setting->Data);
        setPaused(g_sessionLocked, state == 0);
    }
    return TRUE;
}

LRESULT onMonitorsChanged() {
    g_monitorsChanged = true;
    return 0;
}

LRESULT onEndSession(WPARAM ending) {
    // Nothing to save: tidy the notification area and go.
    if (ending) DestroyWindow(g_owner);
    return 0;
}

LRESULT onDestroy(HWND window) {
    g_flies.destroy();
    removeTrayIcon(window);
    WTSUnRegisterSessionNotification(window);
    if (g_displayNotification != nullptr) UnregisterPowerSettingNotification(g_displayNotification);
    g_displayNotification = nullptr;
    g_owner = nullptr;
    PostQuitMessage(0);
    return 0;
}

LRESULT CALLBACK ownerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == leaveMessage()) {
        departNow();
        return 0;
    }
    if (message == g_taskbarCreatedMessage && message != 0) {
        addTrayIcon(window, kTrayMessage, static_cast<int>(g_swarm->flyCount()));  // Explorer restarted
        return 0;
    }
    switch (message) {
        case kTrayMessage: return onTrayMessage(lParam);
        case WM_WTSSESSION_CHANGE: return onSessionChange(wParam);
        case WM_POWERBROADCAST: return onPowerBroadcast(wParam, lParam);
        case WM_DISPLAYCHANGE:
        case WM_DPICHANGED: return onMonitorsChanged();
        case WM_SETTINGCHANGE:
            if (wParam == SPI_SETWORKAREA) return onMonitorsChanged();
            return 0;
        case WM_CLOSE: departNow(); return 0;
        case WM_QUERYENDSESSION: return TRUE;
        case WM_ENDSESSION: return onEndSession(wParam);
        case WM_DESTROY: return onDestroy(window);
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND createOwnerWindow() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = ownerWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kOwnerClassName;
    if (RegisterClassExW(&windowClass) == 0) return nullptr;
    // A hidden top-level popup rather than a message-only window: only top-level
    // windows hear the display, work-area and DPI broadcasts. WS_EX_TOOLWINDOW keeps it
    // off the taskbar should anything ever show it.
    return CreateWindowExW(WS_EX_TOOLWINDOW, kOwnerClassName, L"Gnatter", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           instance, nullptr);
}

void listenForPauses(HWND window) {
    WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION);
    g_displayNotification = RegisterPowerSettingNotification(window, &kConsoleDisplayState, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (g_displayNotification == nullptr) {
        g_displayNotification = RegisterPowerSettingNotification(window, &kMonitorPowerOn, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
}

}  // namespace

bool startFlies(const gnatter::Options& options, std::uint64_t seed) {
    g_options = options;
    g_owner = createOwnerWindow();
    if (g_owner == nullptr) return false;
    g_taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
    listenForPauses(g_owner);

    g_swarm = std::make_unique<gnatter::Swarm>(options, seed, currentMonitors());
    if (!g_flies.create(g_owner, g_swarm->flyCount())) {
        DestroyWindow(g_owner);
        return false;
    }
    addTrayIcon(g_owner, kTrayMessage, static_cast<int>(g_swarm->flyCount()));

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    g_ticksPerSecond = frequency.QuadPart;
    g_lastFrame = now();
    g_wakeNow = true;
    return true;
}

int runFlies() {
    for (;;) {
        MsgWaitForMultipleObjectsEx(0, nullptr, waitMilliseconds(), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                g_swarm.reset();
                return static_cast<int>(message.wParam);
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (g_owner != nullptr && !paused()) tick();
    }
}

}  // namespace gnatter::win32
