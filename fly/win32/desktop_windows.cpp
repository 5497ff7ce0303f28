// Enumerating and watching other programs' top-level windows. dwmapi.dll is loaded at
// run time so the program still starts where it is missing; there no window counts as
// cloaked and a window's bounds are its GetWindowRect.
#include "desktop_windows.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

namespace gnatter::win32 {

namespace {

// dwmapi.h values, so that the header (and the import) are not needed.
using DwmGetWindowAttributeFn = HRESULT(WINAPI*)(HWND, DWORD, PVOID, DWORD);
const DWORD kDwmExtendedFrameBounds = 9;  // DWMWA_EXTENDED_FRAME_BOUNDS
const DWORD kDwmCloaked = 14;             // DWMWA_CLOAKED
const DWORD kEventObjectCloaked = 0x8017;
const DWORD kEventObjectUncloaked = 0x8018;

DwmGetWindowAttributeFn dwmGetWindowAttribute() {
    static const DwmGetWindowAttributeFn function = [] {
        HMODULE dwmapi = LoadLibraryW(L"dwmapi.dll");
        if (dwmapi == nullptr) return DwmGetWindowAttributeFn{};
        return reinterpret_cast<DwmGetWindowAttributeFn>(
            reinterpret_cast<void*>(GetProcAddress(dwmapi, "DwmGetWindowAttribute")));
    }();
    return function;
}

bool isCloaked(HWND window) {
    const DwmGetWindowAttributeFn function = dwmGetWindowAttribute();
    DWORD cloaked = 0;
    return function != nullptr && SUCCEEDED(function(window, kDwmCloaked, &cloaked, sizeof cloaked)) && cloaked != 0;
}

// What the user sees of the window: on Windows 10 and later GetWindowRect also counts
// the invisible resizing border around it, the compositor's frame bounds do not.
RECT visibleBounds(HWND window) {
    RECT rect = {};
    const DwmGetWindowAttributeFn function = dwmGetWindowAttribute();
    if (function != nullptr && SUCCEEDED(function(window, kDwmExtendedFrameBounds, &rect, sizeof rect))) return rect;
    GetWindowRect(window, &rect);
    return rect;
}

struct Enumeration {
    std::vector<gnatter::WindowBox> windows;
    HWND shell = nullptr;
    RECT primary = {};
    DWORD ourProcess = 0;
    bool* fliesBuried = nullptr;
};

// One of our windows (a fly: the owner is never shown) under another program's that
// overlaps it, the windows so far being those above it.
bool underAnother(HWND window, const Enumeration& e) {
    RECT ours = {};
    GetWindowRect(window, &ours);
    for (const gnatter::WindowBox& other : e.windows) {
        const gnatter::Rect& r = other.rect;
        if (r.left < ours.right && ours.left < r.right && r.top < ours.bottom && ours.top < r.bottom) return true;
    }
    return false;
}

// The wallpaper and icons fill the screen behind everything: nothing to land on. Only
// a window that covers the primary monitor can be one, so only such a window's class
// is asked for.
bool isShellDesktop(HWND window, const RECT& bounds, const Enumeration& e) {
    if (window == e.shell) return true;
    if (bounds.left > e.primary.left || bounds.top > e.primary.top || bounds.right < e.primary.right ||
        bounds.bottom < e.primary.bottom) {
        return false;
    }
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    return lstrcmpW(className, L"Progman") == 0 || lstrcmpW(className, L"WorkerW") == 0;
}

// Cheapest tests first: most top-level windows are hidden, and each question about
// another process's window may cost a round trip to the window server.
BOOL CALLBACK addWindow(HWND window, LPARAM context) {
    auto& e = *reinterpret_cast<Enumeration*>(context);
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    if ((style & WS_VISIBLE) == 0 || (style & WS_MINIMIZE) != 0) return TRUE;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == e.ourProcess) {
        if (e.fliesBuried != nullptr && !*e.fliesBuried) *e.fliesBuried = underAnother(window, e);
        return TRUE;
    }
    const LONG_PTR clickThrough = WS_EX_LAYERED | WS_EX_TRANSPARENT;
    if ((GetWindowLongPtrW(window, GWL_EXSTYLE) & clickThrough) == clickThrough) return TRUE;
    const RECT r = visibleBounds(window);
    if (r.right <= r.left || r.bottom <= r.top || isShellDesktop(window, r, e) || isCloaked(window)) return TRUE;
    gnatter::WindowBox box;
    box.rect = {r.left, r.top, r.right, r.bottom};
    box.id = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(window));
    e.windows.push_back(box);
    return TRUE;
}

// ---- the watch ----

struct EventRange {
    DWORD first, last;
};
// Foreground changes (a window brought to the front covers others), minimising and
// restoring, creation, destruction, showing, hiding, z-order, moving and sizing, cloaking.
// Wine 8 reports only creation and the focus to other processes.
const EventRange kWatchedEvents[] = {
    {EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND},
    {EVENT_SYSTEM_MINIMIZESTART, EVENT_SYSTEM_MINIMIZEEND},
    {EVENT_OBJECT_CREATE, EVENT_OBJECT_FOCUS},
    {EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_LOCATIONCHANGE},
    {kEventObjectCloaked, kEventObjectUncloaked},
};
HWINEVENTHOOK g_hooks[std::size(kWatchedEvents)] = {};
std::vector<gnatter::DesktopEvent> g_events;
HWND g_focusedTopLevel = nullptr;

void note(gnatter::DesktopEvent kind) {
    if (std::find(g_events.begin(), g_events.end(), kind) == g_events.end()) g_events.push_back(kind);
}

// The focus moves from control to control inside a window all the time; only its moving
// to another top-level window may bring that window forward.
void onFocus(HWND window) {
    const HWND topLevel = GetAncestor(window, GA_ROOT);
    if (topLevel == nullptr || topLevel == g_focusedTopLevel) return;
    g_focusedTopLevel = topLevel;
    note(gnatter::DesktopEvent::Foreground);
}

gnatter::DesktopEvent kindOf(DWORD event) {
    using gnatter::DesktopEvent;
    switch (event) {
        case EVENT_SYSTEM_FOREGROUND: return DesktopEvent::Foreground;
        case EVENT_OBJECT_CREATE: return DesktopEvent::Created;
        case EVENT_OBJECT_REORDER: return DesktopEvent::Restacked;
        case EVENT_OBJECT_LOCATIONCHANGE: return DesktopEvent::Moved;
        case EVENT_SYSTEM_MINIMIZEEND:
        case EVENT_OBJECT_SHOW:
        case kEventObjectUncloaked: return DesktopEvent::Shown;
        default: return DesktopEvent::Hidden;  // minimised, destroyed, hidden, cloaked
    }
}

void CALLBACK onWindowEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG objectId, LONG childId, DWORD, DWORD) {
    // The caret and the pointer report moves too; only whole windows matter, and of
    // those only top-level ones (a child moving inside its window changes nothing here).
    // A change of z-order among top-level windows names the desktop window itself.
    if (window == nullptr) return;
    if (event == EVENT_OBJECT_FOCUS) return onFocus(window);
    if (objectId != OBJID_WINDOW || childId != CHILDID_SELF) return;
    const HWND desktop = GetDesktopWindow();
    if (window == desktop || GetAncestor(window, GA_PARENT) == desktop) note(kindOf(event));
}

}  // namespace

std::vector<gnatter::WindowBox> desktopWindows(bool* fliesBuried) {
    Enumeration e;
    e.shell = GetShellWindow();
    e.primary = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    e.ourProcess = GetCurrentProcessId();
    e.fliesBuried = fliesBuried;
    if (fliesBuried != nullptr) *fliesBuried = false;
    // EnumWindows goes through the top-level windows in z-order, topmost first.
    EnumWindows(addWindow, reinterpret_cast<LPARAM>(&e));
    return std::move(e.windows);
}

void watchDesktopWindows() {
    for (size_t i = 0; i < std::size(kWatchedEvents); ++i) {
        if (g_hooks[i] != nullptr) continue;
        g_hooks[i] = SetWinEventHook(kWatchedEvents[i].first, kWatchedEvents[i].last, nullptr, onWindowEvent, 0, 0,
                                     WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    }
}

void stopWatchingDesktopWindows() {
    for (HWINEVENTHOOK& hook : g_hooks) {
        if (hook != nullptr) UnhookWinEvent(hook);
        hook = nullptr;
    }
}

std::vector<gnatter::DesktopEvent> takeDesktopEvents() {
    std::vector<gnatter::DesktopEvent> events;
    events.swap(g_events);
    return events;
}

}  // namespace gnatter::win32
