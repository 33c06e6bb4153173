// The texts and byte layouts of install and uninstall: the icon file, the
// self-delete script, the shortcut paths. Portable.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One icon image as stored in a program's resources (a bitmap header and
// its colour and mask data, or a PNG stream).
struct IconImage {
    std::vector<std::uint8_t> data;
};

// The fields of an image's directory entry, read from its own header.
struct IconEntry {
    int width = 0, height = 0;  // height: half the stored bitmap height
    int planes = 0, bitCount = 0;
    bool valid = false;
};
IconEntry ReadIconEntry(const std::vector<std::uint8_t>& data);

// The icon file: header, one 16-byte entry per image, the images in order
// with their bitmap header's size-of-image field written as 0.
std::vector<std::uint8_t> BuildIconFile(const std::vector<IconImage>& images);

// The self-delete script: the first form also removes the install folder
// (when the executable is the only file in it). Every path is quoted with
// its "%" doubled; empty when a path cannot be written safely (below).
std::string SelfDeleteScript(std::string_view exePath, std::string_view folder, std::string_view scriptPath,
                             bool removeFolder);
// The folder of a path: before its last "\", the whole path without one.
std::string FolderOfPath(std::string_view path);

// Shortcut paths.
std::wstring DesktopLinkPath(std::wstring_view commonDesktop, std::wstring_view name);
std::wstring ProgramsFolderPath(std::wstring_view programs);  // ...\4286登录器
std::wstring ProgramsLinkPath(std::wstring_view programs, std::wstring_view name);
std::wstring QuickLaunchLinkPath(std::wstring_view roamingAppData, std::wstring_view name);
// The older per-user desktop link: the documents folder cut at its last
// "\", the common desktop's last component, "\", the name, ".lnk".
std::wstring LegacyDesktopLinkPath(std::wstring_view documents, std::wstring_view commonDesktop,
                                   std::wstring_view name);
std::wstring UninstallLinkName(std::wstring_view name);  // "卸载 " + name
std::wstring DesktopLinkDescription(std::wstring_view portalHost);
std::wstring UninstallDoneMessage(std::wstring_view displayName);
// "loginer" + the executable's file name, lower case, without its extension.
std::wstring ClassesRootKeyName(std::wstring_view exeFileName);

// --- desktop-icon refresh ------------------------------------------------------

// The text from the first "{" to the last "}"; empty without a "{".
std::string CutJsonObject(std::string_view body);
// A portal-given shortcut name is taken when it has 1 to 31 characters,
// makes a file name and reads back from the settings file as written.
bool AcceptIconName(std::wstring_view name);
// A description is applied only when both its name and its time read back
// from the settings file as written: otherwise the next refresh would
// delete links of another name, or every start would refresh again.
bool AppliesIconDescription(std::wstring_view name, std::wstring_view time);
// The links' name as stored in the settings file: a name the refresh could
// not have written (a hand-edited or damaged file) is not a file name to
// delete by, so the display name's links are meant instead.
std::wstring StoredLinkName(std::wstring_view stored);
// The uninstall link's name after a refresh: "卸载 " + at most 28 characters.
std::wstring RefreshUninstallLinkName(std::wstring_view name);
