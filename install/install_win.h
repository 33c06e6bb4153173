// Install and uninstall of the client.
#pragma once

class CHalvane3App;

// First-run install: copies the client into the install folder, creates the
// shortcuts and starts the installed copy.
void InstallClient();
// Removes files, shortcuts and registry entries; returns the result of its
// final message.
int UninstallClient(CHalvane3App& app);
