// The fly program's one thread: a hidden owner window and a loop around
// MsgWaitForMultipleObjectsEx that gives the swarm real elapsed time, the monitors,
// the other programs' windows, the pointer and clicks, and shows what it reports.
//
// Clock: about 60 frames a second while any fly moves. While every fly rests the loop
// sleeps until the first rest ends, waking only to read the pointer (every
// Swarm::kPointerReadSeconds, or once a second while the system is known to report every
// mouse event to us; every frame while it could startle or swat a fly: near one and
// moving, or with the button held) and to look at the desktop; the swarm is advanced
// only when one of these changed. The desktop (other programs' windows and a full-screen
// application in front) is read again soon after the system reports a window moving,
// showing, hiding or going, and otherwise only every second or two, in case such reports
// do not come. While the session is locked or the display is off the loop waits without
// a timeout, and that time does not count: the swarm's clock, and so the -t timeout,
// stands still until the user is back.
//
// Swatting: the primary button is read with the pointer (GetAsyncKeyState, no global
// hook), and a press since the last reading swats at the pointer; a press the raw-input
// sink reports swats at once. The fly windows stay click-through, so the click still
// reaches the window under the fly.
#include "fly_program.h"

#include "desktop_windows.h"
#include "fly_windows.h"
#include "fullscreen.h"
#include "monitors.h"
#include "single_instance.h"
#include "swarm.h"
#include "tray.h"

#include <windows.h>
#include <wtsapi32.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <vector>

namespace gnatter::win32 {

namespace {

const UINT kTrayMessage = WM_APP + 1;
const double kFramePeriodSeconds = 1.0 / 60.0;
const double kPointerReadSeconds = gnatter::Swarm::kPointerReadSeconds;
// A pointer moved slowly reads the same in some frames in a row: it counts as moving for
// this long after its last change, and only then as parked.
const double kPointerStillSeconds = 0.25;
// While the system reports mouse events, a parked pointer is read this seldom, in case a
// move goes unreported; the reports sink opens again once the pointer was still this long.
const double kPointerSafetyPollSeconds = 1.0;
const double kPointerQuietSeconds = 0.5;
// A move a reading found may have its report still on the way: how long to wait for it.
const double kPointerReportGraceSeconds = 0.1;
// A press shows in a raw-input report and in GetAsyncKeyState, not always at the same
// moment (Wine answers GetAsyncKeyState from a cache for 50 ms): a press one of them shows
// this soon after the other showed one is the same press.
const double kPressEchoSeconds = 0.25;
// A window being dragged reports dozens of moves a second; one reading per this much.
const double kDesktopEventDelaySeconds = 0.05;
// The safety poll of the desktop: each reading costs a few milliseconds of round trips
// to the window server, so it is slow. Faster while the system has not yet reported any
// window event to us (Wine reports none), where it is the only way to notice a move.
const double kDesktopPollSeconds = 2.0;
const double kDesktopPollWithoutEventsSeconds = 1.0;
const double kLongestRestWaitSeconds = 3600.0;

// GUID_CONSOLE_DISPLAY_STATE (Windows 8 and later) and GUID_MONITOR_POWER_ON (before);
// both report a DWORD, 0 when the display is off.
const GUID kConsoleDisplayState = {0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
const GUID kMonitorPowerOn = {0x02731015, 0x4510, 0x4526, {0x99, 0xe6, 0xe5, 0xa1, 0x7e, 0xbd, 0x1a, 0xea}};

std::unique_ptr<gnatter::Swarm> g_swarm;
FlyWindows g_flies;
HWND g_owner = nullptr;
UINT g_taskbarCreatedMessage = 0;
HPOWERNOTIFY g_displayNotification = nullptr;

bool g_sessionLocked = false;
bool g_displayOff = false;
bool g_monitorsChanged = false;
bool g_wakeNow = false;  // something happened that the swarm must hear at once
bool g_swatting = true;
std::size_t g_countShown = 0;  // flies counted in the tray tooltip

// Clock, in QueryPerformanceCounter ticks.
long long g_ticksPerSecond = 1;
long long g_lastFrame = 0;
long long g_nextFrame = 0;
long long g_nextPointerRead = 0;
long long g_lastDesktopRead = 0;
bool g_desktopDirty = true;  // a window event arrived since the last reading
bool g_resting = false;

// What the swarm was last told about the pointer, the windows and full-screen
// applications, and the button as it was at the last reading.
bool g_pointerPresent = false;
POINT g_pointer = {};
long long g_pointerMovedAt = 0;  // the last reading that differed from the one before
bool g_buttonDown = false;
std::vector<gnatter::WindowBox> g_windows;
bool g_windowsChanged = false;  // g_windows not yet passed to the swarm
bool g_covered = false;
gnatter::Rect g_coveredMonitor;

// Windows reports every mouse event to a raw-input sink, whichever window has the focus,
// so a parked pointer need only be read now and then. Not every system reports every
// move, though: Wine reports only moves over its own windows, and a pen or a program
// that sets the pointer reports none. So the slow pace is taken only once a report has
// come in, and given up for good when a reading finds the pointer moved unreported.
// A moving mouse would report hundreds of times a second: the sink closes at the first
// report (the pointer is then read as before) and opens again once the pointer is still.
enum class PointerReports { Unproven, Complete, Incomplete };
PointerReports g_pointerReports = PointerReports::Unproven;
bool g_pointerSinkOpen = false;
long long g_unreportedMoveAt = -1;  // a reading found a move that no report announced
bool g_pressReported = false;  // a report announced a press of the primary button
enum class PressSeenIn { Nothing, Report, ButtonState };
PressSeenIn g_lastPressSeenIn = PressSeenIn::Nothing;
long long g_lastPressAt = 0;

// For the desktop bench: with GNATTER_WINDOW_COUNTS naming a file, a line a second goes
// to its end: the time (Unix seconds) and the window moves and new pictures so far, so
// that a minimal program can be paced as the flies really were. Without it, no wake-up.
HANDLE g_countsFile = INVALID_HANDLE_VALUE;
long long g_nextCountsWrite = 0;
const double kCountsSeconds = 1.0;

long long now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

long long ticks(double seconds) { return static_cast<long long>(seconds * static_cast<double>(g_ticksPerSecond)); }

// True when what is due at `when` is due at `at`: waits are whole milliseconds, so a
// wake-up up to a millisecond early counts as on time.
bool isDue(long long at, long long when) { return at + ticks(0.001) >= when; }

bool paused() { return g_sessionLocked || g_displayOff; }

void departNow() {
    if (!g_swarm) return;
    g_swarm->requestDeparture();
    g_wakeNow = true;
}

// ---- reading the pointer, the button and the desktop ----

struct PointerReading {
    bool present = false;
    POINT at = {};
    bool pressed = false;  // the primary button went down since the last reading
};

// False when the press is one the other source showed a moment ago.
bool newPress(PressSeenIn seenIn, long long at) {
    const bool echo = g_lastPressSeenIn != PressSeenIn::Nothing && g_lastPressSeenIn != seenIn &&
                      at - g_lastPressAt <= ticks(kPressEchoSeconds);
    g_lastPressSeenIn = echo ? PressSeenIn::Nothing : seenIn;
    g_lastPressAt = at;
    return !echo;
}

// GetAsyncKeyState reports the physical buttons: with swapped buttons the primary one
// is the right. Its low bit catches a click that began and ended between two readings.
bool primaryButtonPressed(long long at) {
    const int button = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
    const SHORT state = GetAsyncKeyState(button);
    const bool down = (state & 0x8000) != 0;
    const bool pressed = (state & 0x0001) != 0 || (down && !g_buttonDown);
    g_buttonDown = down;
    return pressed && newPress(PressSeenIn::ButtonState, at);
}

// Reads the button and drops what it says: the presses so far swat nothing.
void forgetPresses() {
    primaryButtonPressed(now());
    g_pressReported = false;
}

PointerReading readPointer(long long at) {
    PointerReading reading;
    reading.present = GetCursorPos(&reading.at) != FALSE;  // fails on the secure desktop
    reading.pressed = g_swatting && primaryButtonPressed(at);
    if (g_pressReported && g_swatting) {
        reading.pressed = true;
        g_buttonDown = true;
    }
    g_pressReported = false;
    return reading;
}

bool pointerMoved(const PointerReading& reading) {
    return reading.present != g_pointerPresent ||
           (reading.present && (reading.at.x != g_pointer.x || reading.at.y != g_pointer.y));
}

double secondsSince(long long at, long long then) {
    return static_cast<double>(at - then) / static_cast<double>(g_ticksPerSecond);
}

bool pointerMovesReported() { return g_pointerReports == PointerReports::Complete && g_pointerSinkOpen; }

double nextPointerReadSeconds(long long at) {
    return pointerReadDelay(g_swarm->pointerNearFly(), secondsSince(at, g_pointerMovedAt), g_swatting && g_buttonDown,
                            pointerMovesReported());
}

// A sink that cannot be opened reports nothing: the pointer is then read as before.
void setPointerSink(bool open) {
    RAWINPUTDEVICE mouse = {};
    mouse.usUsagePage = 0x01;  // generic desktop controls
    mouse.usUsage = 0x02;      // mouse
    mouse.dwFlags = open ? RIDEV_INPUTSINK : RIDEV_REMOVE;
    mouse.hwndTarget = open ? g_owner : nullptr;
    if (RegisterRawInputDevices(&mouse, 1, sizeof mouse)) {
        g_pointerSinkOpen = open;
    } else if (open) {
        g_pointerReports = PointerReports::Incomplete;
    }
}

// After each pointer reading: opens the sink again once the pointer is still, and
// notices a move the system did not report (looked at again a moment later, in case
// its report was on the way; a report closes the sink).
void watchPointerReports(long long at, bool shifted) {
    if (g_pointerReports == PointerReports::Incomplete) return;
    if (!g_pointerSinkOpen) {
        if (secondsSince(at, g_pointerMovedAt) >= kPointerQuietSeconds) setPointerSink(true);
        return;
    }
    if (g_unreportedMoveAt >= 0 && isDue(at, g_unreportedMoveAt + ticks(kPointerReportGraceSeconds))) {
        g_pointerReports = PointerReports::Incomplete;
        setPointerSink(false);
        g_nextPointerRead = std::min(g_nextPointerRead, at + ticks(nextPointerReadSeconds(at)));
        return;
    }
    if (shifted && g_unreportedMoveAt < 0) {
        g_unreportedMoveAt = at;
        g_nextPointerRead = std::min(g_nextPointerRead, at + ticks(kPointerReportGraceSeconds));
    }
}

// Right after advance(): the swarm takes the reading as of now.
void passPointer(const PointerReading& reading) {
    if (pointerMoved(reading)) {
        g_pointerPresent = reading.present;
        g_pointer = reading.at;
        g_swarm->setPointer(g_pointerPresent, static_cast<float>(g_pointer.x), static_cast<float>(g_pointer.y));
    }
    if (reading.pressed && reading.present) {
        g_swarm->swat(static_cast<float>(reading.at.x), static_cast<float>(reading.at.y));
    }
}

long long nextDesktopRead() {
    if (g_desktopDirty) return g_lastDesktopRead + ticks(kDesktopEventDelaySeconds);
    return g_lastDesktopRead +
           ticks(desktopEventsArrive() ? kDesktopPollSeconds : kDesktopPollWithoutEventsSeconds);
}

// True when the other windows or the full-screen state changed since the last reading.
bool readDesktop(long long at) {
    g_desktopDirty = false;
    g_lastDesktopRead = at;
    bool changed = false;
    std::vector<gnatter::WindowBox> windows = desktopWindows();
    if (!sameWindows(windows, g_windows)) {
        g_windows = std::move(windows);
        g_windowsChanged = true;
        changed = true;
    }
    gnatter::Rect monitor;
    const bool covered = findFullScreenMonitor(monitor);
    if (covered != g_covered || (covered && monitor != g_coveredMonitor)) {
        g_covered = covered;
        g_coveredMonitor = monitor;
        changed = true;
    }
    return changed;
}

// ---- the bench's window counts ----

void openWindowCounts() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"GNATTER_WINDOW_COUNTS", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    g_countsFile = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
}

void writeWindowCounts(long long at) {
    if (g_countsFile == INVALID_HANDLE_VALUE) return;
    g_nextCountsWrite = at + ticks(kCountsSeconds);
    FILETIME wall;
    GetSystemTimeAsFileTime(&wall);
    const unsigned long long hundredNs = (static_cast<unsigned long long>(wall.dwHighDateTime) << 32) | wall.dwLowDateTime;
    const double unixSeconds = static_cast<double>(hundredNs - 116444736000000000ull) / 1e7;
    char line[96];
    const int n = std::snprintf(line, sizeof line, "%.3f %lu %lu\n", unixSeconds, g_flies.moves(), g_flies.uploads());
    DWORD written = 0;
    if (n > 0) WriteFile(g_countsFile, line, static_cast<DWORD>(n), &written, nullptr);
}

long long nextCountsWrite() {
    return g_countsFile == INVALID_HANDLE_VALUE ? LLONG_MAX : g_nextCountsWrite;
}

// ---- the frame ----

void showFlyCount() {
    const std::size_t alive = g_swarm->aliveCount();
    if (alive == g_countShown) return;
    g_countShown = alive;
    setTrayFlyCount(g_owner, static_cast<int>(alive));
}

void frame(long long at, const PointerReading* reading) {
    const double elapsed = static_cast<double>(at - g_lastFrame) / static_cast<double>(g_ticksPerSecond);
    g_lastFrame = at;
    g_wakeNow = false;

    if (g_monitorsChanged) {
        g_monitorsChanged = false;
        g_swarm->setMonitors(currentMonitors());
    }
    if (g_windowsChanged) {
        g_windowsChanged = false;
        g_swarm->setWindows(g_windows);
    }
    // The swarm skips time in which every fly rests in one go and clamps the rest, so
    // the real elapsed time goes in as it is.
    g_swarm->advance(elapsed);
    if (reading != nullptr) passPointer(*reading);

    g_flies.update(*g_swarm, g_covered ? &g_coveredMonitor : nullptr);
    showFlyCount();

    if (g_swarm->done()) {
        DestroyWindow(g_owner);
        return;
    }
    g_resting = g_swarm->allResting();
    g_nextFrame = at + ticks(g_resting ? restWaitSeconds(g_swarm->restingSecondsLeft()) : kFramePeriodSeconds);
    g_nextPointerRead = std::min(g_nextPointerRead, at + ticks(nextPointerReadSeconds(at)));
}

// Called after every wake-up: reads what is due, and runs a frame when one is due or
// when something the swarm must hear changed.
void tick() {
    const long long at = now();
    if (takeDesktopChanged()) g_desktopDirty = true;
    bool run = g_wakeNow || g_monitorsChanged || isDue(at, g_nextFrame);
    if (isDue(at, nextDesktopRead())) run = readDesktop(at) || run;

    PointerReading reading;
    const bool pointerDue = isDue(at, g_nextPointerRead);
    if (pointerDue) {
        reading = readPointer(at);
        const bool moved = pointerMoved(reading);
        if (moved) g_pointerMovedAt = at;
        run = run || reading.pressed || moved;
        g_nextPointerRead = at + ticks(nextPointerReadSeconds(at));
        watchPointerReports(at, moved && g_pointerPresent && reading.present);
    }
    if (run) frame(at, pointerDue ? &reading : nullptr);
    if (isDue(at, nextCountsWrite())) writeWindowCounts(at);
}

DWORD waitMilliseconds() {
    if (paused()) return INFINITE;
    if (g_wakeNow || g_monitorsChanged) return 0;
    const long long due = std::min({g_nextFrame, g_nextPointerRead, nextDesktopRead(), nextCountsWrite()});
    const long long left = due - now();
    if (left <= 0) return 0;
    return static_cast<DWORD>(left * 1000 / g_ticksPerSecond);
}

void setSwatting(bool on) {
    g_swatting = on;
    if (on) forgetPresses();  // forget presses from while it was off
}

// ---- the owner window ----

void setPaused(bool locked, bool displayOff) {
    const bool wasPaused = paused();
    g_sessionLocked = locked;
    g_displayOff = displayOff;
    if (wasPaused && !paused()) {
        // Back again: the time away does not count, and the windows may have changed.
        // The pointer was moved where no report reaches us: the next reading is a fresh
        // start, not a move to look into.
        g_lastFrame = now();
        g_wakeNow = true;
        g_desktopDirty = true;
        g_pointerPresent = false;
    }
}

LRESULT onTrayMessage(LPARAM lParam) {
    const UINT mouseMessage = LOWORD(lParam);
    if (mouseMessage != WM_LBUTTONUP && mouseMessage != WM_RBUTTONUP && mouseMessage != WM_CONTEXTMENU) return 0;
    const TrayCommand command = trayMenuChoice(g_owner, g_swatting);
    // The clicks that went to the icon and the menu swat nothing.
    if (g_swatting) forgetPresses();
    if (command == TrayCommand::ToggleSwatting) setSwatting(!g_swatting);
    if (command == TrayCommand::Shoo) departNow();
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

// True when a raw-input report says the primary button went down.
bool reportsPress(LPARAM report) {
    RAWINPUT input;
    UINT size = sizeof input;
    if (GetRawInputData(reinterpret_cast<HRAWINPUT>(report), RID_INPUT, &input, &size, sizeof(RAWINPUTHEADER)) ==
            static_cast<UINT>(-1) ||
        input.header.dwType != RIM_TYPEMOUSE) {
        return false;
    }
    const USHORT down = GetSystemMetrics(SM_SWAPBUTTON) ? RI_MOUSE_RIGHT_BUTTON_DOWN : RI_MOUSE_LEFT_BUTTON_DOWN;
    return (input.data.mouse.usButtonFlags & down) != 0;
}

// WM_INPUT: the system reported a mouse event. The pointer is read at once, and a press
// in the report counts even if GetAsyncKeyState does not show it yet: otherwise the
// pointer's jump to a fly could startle it before the press that swats it is seen.
LRESULT onPointerReport(HWND window, WPARAM wParam, LPARAM lParam) {
    const long long at = now();
    if (reportsPress(lParam) && newPress(PressSeenIn::Report, at)) g_pressReported = true;
    if (g_pointerReports != PointerReports::Incomplete) {
        g_pointerReports = PointerReports::Complete;
        g_unreportedMoveAt = -1;
        if (g_pointerSinkOpen) setPointerSink(false);
        g_nextPointerRead = at;
    }
    return DefWindowProcW(window, WM_INPUT, wParam, lParam);  // frees the report
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
    stopWatchingDesktopWindows();
    if (g_pointerSinkOpen) setPointerSink(false);
    writeWindowCounts(now());
    if (g_countsFile != INVALID_HANDLE_VALUE) CloseHandle(g_countsFile);
    g_countsFile = INVALID_HANDLE_VALUE;
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
        addTrayIcon(window, kTrayMessage, static_cast<int>(g_swarm->aliveCount()));  // Explorer restarted
        return 0;
    }
    switch (message) {
        case kTrayMessage: return onTrayMessage(lParam);
        case WM_WTSSESSION_CHANGE: return onSessionChange(wParam);
        case WM_POWERBROADCAST: return onPowerBroadcast(wParam, lParam);
        case WM_INPUT: return onPointerReport(window, wParam, lParam);
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

// Near a fly the pointer is followed every frame while it could startle the fly (it
// moves) or swat it (the button is held). One parked beside a fly is read at the slow
// pace: it startles nothing, and a click on it is still caught by the "pressed since"
// bit of the next reading. Where the system reports every mouse event, the report wakes
// the loop, and the reading is only a safety net.
double pointerReadDelay(bool nearFly, double secondsSinceMoved, bool buttonHeld, bool movesReported) {
    const bool threat = nearFly && (secondsSinceMoved < kPointerStillSeconds || buttonHeld);
    if (threat) return kFramePeriodSeconds;
    return movesReported ? kPointerSafetyPollSeconds : kPointerReadSeconds;
}

// Until the first rest ends (the swarm counts its timeout in), but never less than a
// frame: should the swarm still rest when the wait is over, the loop must not spin. The
// swarm makes the change that ends a rest in the step that starts when the rest is over,
// so the wait runs half a step into it: waking at the rest's very end (or a millisecond
// early, as whole-millisecond waits do) would show nothing new and need a second wake-up
// a frame later.
double restWaitSeconds(double restingSecondsLeft) {
    const double wait = restingSecondsLeft + 1.5 * gnatter::Swarm::kStepSeconds;
    return std::min(std::max(wait, kFramePeriodSeconds), kLongestRestWaitSeconds);
}

bool startFlies(const gnatter::Options& options, std::uint64_t seed) {
    g_swatting = options.swat;
    g_owner = createOwnerWindow();
    if (g_owner == nullptr) return false;
    g_taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
    listenForPauses(g_owner);

    g_swarm = std::make_unique<gnatter::Swarm>(options, seed, currentMonitors());
    if (!g_flies.create(g_owner, g_swarm->flyCount())) {
        DestroyWindow(g_owner);
        return false;
    }
    g_countShown = g_swarm->aliveCount();
    addTrayIcon(g_owner, kTrayMessage, static_cast<int>(g_countShown));
    watchDesktopWindows();
    setPointerSink(true);
    if (g_swatting) forgetPresses();  // a press from before the start is no swat

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    g_ticksPerSecond = frequency.QuadPart;
    g_lastFrame = now();
    g_pointerMovedAt = g_lastFrame - ticks(kPointerStillSeconds);
    g_wakeNow = true;
    openWindowCounts();
    g_nextCountsWrite = g_lastFrame;
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
