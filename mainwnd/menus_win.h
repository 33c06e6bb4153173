// The main window's menus, tray icon and portal links.
#pragma once
#include <windows.h>

#include <string>

class CHalvane3Dlg;

// The main menu, or the tray menu, with the boss key named from the
// settings file at `settingsPath`.
HMENU BuildMenu(bool tray, const std::wstring& settingsPath);

void SetTrayIcon(CHalvane3Dlg& dlg);
void DeleteTrayIcon(CHalvane3Dlg& dlg);
// The menu button's menu, below the button.
void ShowMainMenu(CHalvane3Dlg& dlg);
// The tray icon's menu, at the cursor.
void ShowTrayMenu(CHalvane3Dlg& dlg);
// Opens a portal page (1 account ... 5 customer service) logged in with the
// current page's account, in the system's browser at its fixed path.
void OpenPortalLink(CHalvane3Dlg& dlg, int type);
