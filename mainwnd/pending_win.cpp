// Interim: the screenshot tool lands with its own work; until then the
// main window's button for it does nothing.
#include "mainwnd/pending_win.h"

void OpenScreenshotTool(CHalvane3Dlg&) {}
