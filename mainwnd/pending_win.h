// Features the main window calls whose own work lands later: the
// screenshot tool. Declared where the main window needs it.
#pragma once
#include <windows.h>

class CHalvane3Dlg;

void OpenScreenshotTool(CHalvane3Dlg& dlg);
