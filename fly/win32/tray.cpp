// Shell_NotifyIconW plumbing for the fly program's single notification-area icon.
#include "tray.h"

#include "resource_ids.h"

#include <commctrl.h>
#include <shellapi.h>

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
    return Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

void removeTrayIcon(HWND owner) {
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
