// The notification-area icon: shows how many flies are out, and offers a menu with
// "Shoo the flies".
#pragma once

#include <windows.h>

#include <string>

namespace gnatter::win32 {

// The icon's tooltip: "Gnatter: 1 fly", "Gnatter: 12 flies".
std::wstring trayTooltip(int flyCount);

// Adds (or, after an Explorer restart, re-adds) the icon; clicks arrive at `owner` as
// `callbackMessage` with the mouse message in lParam.
bool addTrayIcon(HWND owner, UINT callbackMessage, int flyCount);
void removeTrayIcon(HWND owner);

// Shows the menu at the pointer; true when the user chose "Shoo the flies".
bool trayMenuChoseShoo(HWND owner);

}  // namespace gnatter::win32
