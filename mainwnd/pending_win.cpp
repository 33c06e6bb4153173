// Interim: each of these lands with its own work (hotkeys, mute, tray and
// menus, portal links, screenshots); until then the main window's buttons
// for them do nothing.
#include "mainwnd/pending_win.h"

void InstallKeyboardHook(HINSTANCE) {}
void RemoveKeyboardHook() {}
bool IsWindowSwitchKey(const MSG&) { return false; }
void ApplyMute(bool) {}
void SetTrayIcon(CHalvane3Dlg&) {}
void DeleteTrayIcon(CHalvane3Dlg&) {}
void ShowMainMenu(CHalvane3Dlg&) {}
void ShowTrayMenu(CHalvane3Dlg&) {}
void OpenPortalLink(CHalvane3Dlg&, int) {}
