// Features the main window calls whose own work lands later: the keyboard
// hook and hotkeys, the mute, the tray icon and menus, the portal links and
// the screenshot tool. Declared where the main window needs them.
#pragma once
#include <windows.h>

class CHalvane3Dlg;

void InstallKeyboardHook(HINSTANCE module);
void RemoveKeyboardHook();
// True when the key message is the window-switch key.
bool IsWindowSwitchKey(const MSG& msg);
void ApplyMute(bool muted);
void SetTrayIcon(CHalvane3Dlg& dlg);
void DeleteTrayIcon(CHalvane3Dlg& dlg);
void ShowMainMenu(CHalvane3Dlg& dlg);
void ShowTrayMenu(CHalvane3Dlg& dlg);
void OpenPortalLink(CHalvane3Dlg& dlg, int type);
