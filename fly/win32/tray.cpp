// Shell_NotifyIconW plumbing for the fly program's single notification-area icon.
#include "tray.h"

#include "resource_ids.h"
#include "single_instance.h"

#include <commctrl.h>
#include <shellapi.h>

#include <vector>

namespace gnatter::win32 {

namespace {

const UINT kIconId = 1;
const UINT kSwattingCommand = 1;
const UINT kShooCommand = 2;

NOTIFYICONDATAW iconData(HWND owner) {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = kIconId;
    return data;
}

HICON smallAppIcon() {
    static HICON icon = nullptr;
    if (icon != nullptr) return icon;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // LoadIconMetric picks the image that suits the notification area's DPI.
    if (FAILED(LoadIconMetric(instance, MAKEINTRESOURCEW(IDI_GNATTER), LIM_SMALL, &icon))) {
        icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_GNATTER), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    }
    return icon;
}

// Wine's notification area on a desktop without a shell (the "Wine System Tray" window)
// moves the icons after a removed one along without drawing them again. The instance
// before this one removes its icon only as it ends, after ours was added, so ours would
// stay blank: it gets its picture again whenever one of those instances has ended.
struct EarlierInstance {
    HANDLE process = nullptr;
    HANDLE wait = nullptr;
};
std::vector<EarlierInstance> g_earlierInstances;

void CALLBACK onEarlierInstanceEnded(PVOID owner, BOOLEAN) {
    NOTIFYICONDATAW data = iconData(static_cast<HWND>(owner));
    data.uFlags = NIF_ICON;
    data.hIcon = smallAppIcon();
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void stopWatchingEarlierInstances() {
    for (const EarlierInstance& earlier : g_earlierInstances) {
        // INVALID_HANDLE_VALUE: returns only once a callback under way has finished.
        if (earlier.wait != nullptr) UnregisterWaitEx(earlier.wait, INVALID_HANDLE_VALUE);
        CloseHandle(earlier.process);
    }
    g_earlierInstances.clear();
}

BOOL CALLBACK addEarlierInstance(HWND window, LPARAM) {
    const DWORD processId = otherInstanceOwning(window);
    if (processId == 0) return TRUE;
    EarlierInstance earlier;
    earlier.process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (earlier.process != nullptr) g_earlierInstances.push_back(earlier);
    return TRUE;
}

// The processes are opened before our icon is added: one that ends before then took its
// icon away before ours came, which leaves ours alone.
void findEarlierInstances() {
    stopWatchingEarlierInstances();
    EnumWindows(addEarlierInstance, 0);
}

void watchEarlierInstances(HWND owner) {
    for (EarlierInstance& earlier : g_earlierInstances) {
        RegisterWaitForSingleObject(&earlier.wait, earlier.process, onEarlierInstanceEnded, owner, INFINITE,
                                    WT_EXECUTEONLYONCE);
    }
}

}  // namespace

std::wstring trayTooltip(int flyCount) {
    if (flyCount == 1) return L"Gnatter: 1 fly";
    return L"Gnatter: " + std::to_wstring(flyCount) + L" flies";
}

bool addTrayIcon(HWND owner, UINT callbackMessage, int flyCount) {
    NOTIFYICONDATAW data = iconData(owner);
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = callbackMessage;
    data.hIcon = smallAppIcon();
    lstrcpynW(data.szTip, trayTooltip(flyCount).c_str(), ARRAYSIZE(data.szTip));
    findEarlierInstances();
    const bool added = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    if (added) {
        watchEarlierInstances(owner);
    } else {
        stopWatchingEarlierInstances();
    }
    return added;
}

void removeTrayIcon(HWND owner) {
    stopWatchingEarlierInstances();
    NOTIFYICONDATAW data = iconData(owner);
    Shell_NotifyIconW(NIM_DELETE, &data);
}

void setTrayFlyCount(HWND owner, int flyCount) {
    NOTIFYICONDATAW data = iconData(owner);
    data.uFlags = NIF_TIP;
    lstrcpynW(data.szTip, trayTooltip(flyCount).c_str(), ARRAYSIZE(data.szTip));
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

TrayCommand trayMenuChoice(HWND owner, bool swatting) {
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return TrayCommand::None;
    AppendMenuW(menu, MF_STRING | (swatting ? MF_CHECKED : MF_UNCHECKED), kSwattingCommand, L"Swatting");
    AppendMenuW(menu, MF_STRING, kShooCommand, L"Shoo the flies");
    POINT at = {};
    GetCursorPos(&at);
    // A notification-area menu only closes on a click elsewhere when its owner is in
    // the foreground; the user's click on our icon allows that.
    SetForegroundWindow(owner);
    const UINT chosen = static_cast<UINT>(TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, at.x, at.y, 0, owner, nullptr));
    PostMessageW(owner, WM_NULL, 0, 0);
    DestroyMenu(menu);
    if (chosen == kSwattingCommand) return TrayCommand::ToggleSwatting;
    if (chosen == kShooCommand) return TrayCommand::Shoo;
    return TrayCommand::None;
}

}  // namespace gnatter::win32
