// Install and uninstall of the client, its shortcuts and its icon file.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "install/install_logic.h"

class CHalvane3App;

// First-run install: copies the client into the install folder, writes the
// icon file, creates the shortcuts and starts the installed copy.
// Creates the install folder (and the one above it) with an access list
// that lets only the system, the administrators and the installing user
// change it, or takes an existing one that belongs to them; false, and
// nothing installed, for a folder another user made or put files in (a
// folder that cannot be made or locked is no refusal: the install's own
// writes fail or work there as they would anyway).
bool PrepareInstallDir();
// That access list, as a security descriptor's text.
std::wstring InstallFolderSddl(const std::wstring& userSid);
void InstallClient();
// Removes registry entries, shortcuts and files, schedules the self-delete,
// sends the uninstall statistics; returns the result of its final message.
int UninstallClient(CHalvane3App& app);

void RemoveRegistryEntries();
void RemoveShortcuts();
bool ScheduleSelfDelete();

bool CreateShortcut(const std::wstring& target, const std::wstring& icon, const std::wstring& linkPath,
                    const std::wstring& arguments, const std::wstring& description);
bool CreateDesktopShortcut(const std::wstring& name, const std::wstring& target, const std::wstring& icon);
bool CreateProgramsShortcut(const std::wstring& arguments, const std::wstring& target, const std::wstring& name,
                            const std::wstring& icon);
bool CreateQuickLaunchShortcut(const std::wstring& name, const std::wstring& target, const std::wstring& icon);
bool DeleteDesktopShortcut(const std::wstring& name);
bool DeleteProgramsShortcut(const std::wstring& name);
bool RemoveQuickLaunchShortcut(const std::wstring& name);

// Files below a folder (sub-folders included); 1 when it cannot be listed.
int CountFiles(const std::wstring& folder);
bool DeleteTree(const std::wstring& folder);
// The executable's folder (with its "\") followed by the name; the
// executable's own path without a name.
std::wstring ExeFolderPath(const wchar_t* name = nullptr);
bool AppendToFile(const std::wstring& path, const std::string& text);

// The icon group 128 of a module, written out as an icon file.
class CIcons {
public:
    virtual ~CIcons() = default;
    // Loads every image of the module's icon group 128; false on failure
    // (the module that cannot be loaded and memory shortage are reported).
    bool Load(const std::wstring& modulePath);
    bool Write(const std::wstring& filePath);

    std::wstring m_modulePath;
    std::vector<IconImage> m_images;
};

// The install folder's icon file: InstallDir + "\Lm03000.ico".
std::wstring IconFilePath();
