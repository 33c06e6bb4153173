// Features the main window calls whose own work lands later: the tray icon
// and menus, the portal links and the screenshot tool. Declared where the
// main window needs them.
#pragma once
#include <windows.h>

class CHalvane3Dlg;

void SetTrayIcon(CHalvane3Dlg& dlg);
void DeleteTrayIcon(CHalvane3Dlg& dlg);
void ShowMainMenu(CHalvane3Dlg& dlg);
void ShowTrayMenu(CHalvane3Dlg& dlg);
void OpenPortalLink(CHalvane3Dlg& dlg, int type);
void OpenScreenshotTool(CHalvane3Dlg& dlg);
