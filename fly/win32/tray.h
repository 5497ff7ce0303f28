// The notification-area icon: shows how many flies are out, and offers a menu with
// "Swatting" (a check item) and "Shoo the flies".
#pragma once

#include <windows.h>

#include <string>

namespace gnatter::win32 {

// The icon's tooltip: "Gnatter: 1 fly", "Gnatter: 12 flies".
std::wstring trayTooltip(int flyCount);

// Adds (or, after an Explorer restart, re-adds) the icon; clicks arrive at `owner` as
// `callbackMessage` with the mouse message in lParam. The icon is drawn again whenever an
// instance that was running when it was added ends (see tray.cpp).
bool addTrayIcon(HWND owner, UINT callbackMessage, int flyCount);
void removeTrayIcon(HWND owner);
// Puts the count into the icon's tooltip.
void setTrayFlyCount(HWND owner, int flyCount);

enum class TrayCommand { None, ToggleSwatting, Shoo };

// Shows the menu at the pointer, "Swatting" checked when `swatting`; returns the choice.
TrayCommand trayMenuChoice(HWND owner, bool swatting);

}  // namespace gnatter::win32
