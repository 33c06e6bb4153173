// Interim: the install and uninstall steps arrive with their own work; the
// uninstall already reports that it finished so that start-up's last wait
// returns.
#include "install/install_win.h"

#include "app/halvane3_app_win.h"

void InstallClient() {}

int UninstallClient(CHalvane3App& app) {
    ::SetEvent(app.m_hDoneEvent);
    return IDOK;
}
