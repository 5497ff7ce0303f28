// The fly program's Win32 side: a hidden owner window that hears the system's broadcasts
// (session lock, display power, monitors and work areas, other instances, the tray icon,
// raw mouse input) and a FlyPlatform that carries out what the shared loop decides, with
// MsgWaitForMultipleObjectsEx as its wait.
//
// The pointer is read with GetCursorPos and the primary button with GetAsyncKeyState, no
// global hook; a raw-input sink reports every mouse event whichever window has the
// focus. The fly windows stay click-through, so a click that swats a fly still reaches
// the window under it.
#include "fly_program.h"

#include "desktop_windows.h"
#include "fly_loop.h"
#include "fly_windows.h"
#include "fullscreen.h"
#include "monitors.h"
#include "single_instance.h"
#include "tray.h"

#include <windows.h>
#include <wtsapi32.h>

#include <cstdio>
#include <memory>

namespace gnatter::win32 {

namespace {

const UINT kTrayMessage = WM_APP + 1;

// GUID_CONSOLE_DISPLAY_STATE (Windows 8 and later) and GUID_MONITOR_POWER_ON (before);
// both report a DWORD, 0 when the display is off.
const GUID kConsoleDisplayState = {0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
const GUID kMonitorPowerOn = {0x02731015, 0x4510, 0x4526, {0x99, 0xe6, 0xe5, 0xa1, 0x7e, 0xbd, 0x1a, 0xea}};

HWND g_owner = nullptr;
UINT g_taskbarCreatedMessage = 0;
HPOWERNOTIFY g_displayNotification = nullptr;
bool g_sessionLocked = false;
bool g_displayOff = false;

// Swapped mouse buttons make the right one primary.
bool buttonsSwapped() { return GetSystemMetrics(SM_SWAPBUTTON) != 0; }

class Win32Platform final : public gnatter::FlyPlatform {
public:
    FlyWindows flies;

    void start() {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        ticksPerSecond_ = static_cast<double>(frequency.QuadPart);
        openWindowWorkLog();
    }

    void stop() {
        if (workLog_ != INVALID_HANDLE_VALUE) CloseHandle(workLog_);
        workLog_ = INVALID_HANDLE_VALUE;
    }

    // Windows reports every mouse event to a raw-input sink, but Wine only the moves over
    // its own windows, and a pen or a program that sets the pointer reports none; the
    // loop finds out which. Window events come for creation only under Wine.
    gnatter::PlatformTraits traits() const override {
        gnatter::PlatformTraits traits;
        traits.logsWindowWork = workLog_ != INVALID_HANDLE_VALUE;
        return traits;
    }

    double now() override {
        LARGE_INTEGER counter;
        QueryPerformanceCounter(&counter);
        return static_cast<double>(counter.QuadPart) / ticksPerSecond_;
    }

    void waitForEvents(gnatter::FlyLoop& loop, double deadline) override {
        DWORD wait = INFINITE;
        if (deadline != gnatter::kNoDeadline) {
            const double left = deadline - now();
            wait = left <= 0.0 ? 0 : static_cast<DWORD>(left * 1000.0);
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                loop.quit();
                return;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        for (gnatter::DesktopEvent event : takeDesktopEvents()) loop.onDesktopEvent(event);
    }

    // GetAsyncKeyState reports the physical buttons; its low bit catches a click that
    // began and ended since the last call.
    gnatter::PointerReading readPointer() override {
        gnatter::PointerReading reading;
        POINT at = {};
        reading.present = GetCursorPos(&at) != FALSE;  // fails on the secure desktop
        reading.x = at.x;
        reading.y = at.y;
        const SHORT state = GetAsyncKeyState(buttonsSwapped() ? VK_RBUTTON : VK_LBUTTON);
        reading.buttonDown = (state & 0x8000) != 0;
        reading.pressedSince = (state & 0x0001) != 0;
        return reading;
    }

    bool watchPointerMoves(bool on) override {
        RAWINPUTDEVICE mouse = {};
        mouse.usUsagePage = 0x01;  // generic desktop controls
        mouse.usUsage = 0x02;      // mouse
        mouse.dwFlags = on ? RIDEV_INPUTSINK : RIDEV_REMOVE;
        mouse.hwndTarget = on ? g_owner : nullptr;
        return RegisterRawInputDevices(&mouse, 1, sizeof mouse) != FALSE;
    }

    gnatter::DesktopReading readDesktop() override {
        gnatter::DesktopReading reading;
        reading.windows = desktopWindows(&reading.fliesBuried);
        gnatter::Rect monitor;
        if (findFullScreenMonitor(monitor)) reading.fullScreen.push_back(monitor);
        return reading;
    }

    std::vector<gnatter::Monitor> readMonitors() override { return currentMonitors(); }

    void showFlies(const gnatter::Swarm& swarm, const std::vector<gnatter::Rect>& hiddenOn) override {
        flies.update(swarm, hiddenOn);
    }
    void hideFlies() override { flies.hideAll(); }
    void raiseFlies() override { flies.raise(); }
    void showFlyCount(std::size_t alive) override { setTrayFlyCount(g_owner, static_cast<int>(alive)); }

    // A line a second for the desktop bench: the time (Unix seconds) and the window moves
    // and new pictures so far, so that a minimal program can be paced as the flies were.
    void logWindowWork() override {
        FILETIME wall;
        GetSystemTimeAsFileTime(&wall);
        const unsigned long long hundredNs =
            (static_cast<unsigned long long>(wall.dwHighDateTime) << 32) | wall.dwLowDateTime;
        const double unixSeconds = static_cast<double>(hundredNs - 116444736000000000ull) / 1e7;
        char line[96];
        const int n = std::snprintf(line, sizeof line, "%.3f %lu %lu\n", unixSeconds, flies.moves(), flies.uploads());
        DWORD written = 0;
        if (n > 0) WriteFile(workLog_, line, static_cast<DWORD>(n), &written, nullptr);
    }

private:
    // GNATTER_WINDOW_COUNTS names the bench's file; without it there is no log.
    void openWindowWorkLog() {
        wchar_t path[MAX_PATH];
        const DWORD length = GetEnvironmentVariableW(L"GNATTER_WINDOW_COUNTS", path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return;
        workLog_ = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    double ticksPerSecond_ = 1.0;
    HANDLE workLog_ = INVALID_HANDLE_VALUE;
};

Win32Platform g_platform;
std::unique_ptr<gnatter::FlyLoop> g_loop;

// ---- the owner window ----

void setPaused(bool locked, bool displayOff) {
    g_sessionLocked = locked;
    g_displayOff = displayOff;
    if (g_loop != nullptr) g_loop->onPaused(locked || displayOff);
}

LRESULT onTrayMessage(LPARAM lParam) {
    const UINT mouseMessage = LOWORD(lParam);
    if (mouseMessage != WM_LBUTTONUP && mouseMessage != WM_RBUTTONUP && mouseMessage != WM_CONTEXTMENU) return 0;
    if (g_loop == nullptr) return 0;
    const TrayCommand command = trayMenuChoice(g_owner, g_loop->swatting());
    g_loop->forgetPresses();  // the clicks on the icon and the menu swat nothing
    if (command == TrayCommand::ToggleSwatting) g_loop->setSwatting(!g_loop->swatting());
    if (command == TrayCommand::Shoo) g_loop->onLeaveRequest();
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
    const USHORT down = buttonsSwapped() ? RI_MOUSE_RIGHT_BUTTON_DOWN : RI_MOUSE_LEFT_BUTTON_DOWN;
    return (input.data.mouse.usButtonFlags & down) != 0;
}

// WM_INPUT: the system reported a mouse event. A press in the report counts even if
// GetAsyncKeyState does not show it yet: otherwise the pointer's jump to a fly could
// startle it before the press that swats it is seen.
LRESULT onPointerReport(HWND window, WPARAM wParam, LPARAM lParam) {
    if (g_loop != nullptr) g_loop->onPointerReport(reportsPress(lParam));
    return DefWindowProcW(window, WM_INPUT, wParam, lParam);  // frees the report
}

LRESULT onMonitorsChanged() {
    if (g_loop != nullptr) g_loop->onMonitorsChanged();
    return 0;
}

LRESULT onLeaveRequest() {
    if (g_loop != nullptr) g_loop->onLeaveRequest();
    return 0;
}

LRESULT onEndSession(WPARAM ending) {
    // Nothing to save: tidy the notification area and go.
    if (ending) DestroyWindow(g_owner);
    return 0;
}

LRESULT onTaskbarCreated(HWND window) {
    // Explorer restarted: the icon must be added again.
    if (g_loop != nullptr) addTrayIcon(window, kTrayMessage, static_cast<int>(g_loop->swarm().aliveCount()));
    return 0;
}

LRESULT onDestroy(HWND window) {
    stopWatchingDesktopWindows();
    g_platform.flies.destroy();
    removeTrayIcon(window);
    WTSUnRegisterSessionNotification(window);
    if (g_displayNotification != nullptr) UnregisterPowerSettingNotification(g_displayNotification);
    g_displayNotification = nullptr;
    g_owner = nullptr;
    PostQuitMessage(0);
    return 0;
}

LRESULT onSwattingRequest(WPARAM on) {
    if (g_loop != nullptr) g_loop->setSwatting(on != 0);
    return 0;
}

LRESULT CALLBACK ownerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == leaveMessage()) return onLeaveRequest();
    if (message == swattingMessage()) return onSwattingRequest(wParam);
    if (message == g_taskbarCreatedMessage && message != 0) return onTaskbarCreated(window);
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
        case WM_CLOSE: return onLeaveRequest();
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
    g_owner = createOwnerWindow();
    if (g_owner == nullptr) return false;
    g_taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
    listenForPauses(g_owner);
    g_platform.start();
    g_loop = std::make_unique<gnatter::FlyLoop>(g_platform, options, seed);
    if (!g_platform.flies.create(g_owner, g_loop->swarm().flyCount())) {
        DestroyWindow(g_owner);
        g_loop.reset();
        return false;
    }
    // After the loop's first reading of the desktop: under Wine the icon brings a small
    // box of its own at the screen's corner, which is no place for the flies' first landings.
    addTrayIcon(g_owner, kTrayMessage, static_cast<int>(g_loop->swarm().aliveCount()));
    watchDesktopWindows();
    return true;
}

int runFlies() {
    g_loop->run();
    if (g_owner != nullptr) DestroyWindow(g_owner);
    g_platform.stop();
    g_loop.reset();
    return 0;
}

}  // namespace gnatter::win32
