// Interim: the refresh arrives with the socket HTTP client.
#include "install/icon_update_win.h"

void UpdateDesktopIcon() {}
