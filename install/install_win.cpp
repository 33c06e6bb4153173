#include "install/install_win.h"

#include "framework/text_win.h"

#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <shlobj.h>

#include "app/build_config.h"
#include "app/halvane3_app_win.h"
#include "settings/settings_win.h"
#include "skin/message_box_win.h"
#include "stats/stats_win.h"

namespace {

std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return path;
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring FolderOf(const std::wstring& path) {
    const auto cut = path.find_last_of(L'\\');
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

std::wstring FileNameOf(const std::wstring& path) {
    const auto cut = path.find_last_of(L'\\');
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

bool CanCreate(const std::wstring& name, const std::wstring& target) {
    return !name.empty() && !target.empty() && target.size() < MAX_PATH && FileExists(target);
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
struct GroupIconDir {
    WORD reserved, type, count;
};
#pragma pack(pop)

}  // namespace

// --- icon file ------------------------------------------------------------------

bool CIcons::Load(const std::wstring& modulePath) {
    m_modulePath = modulePath;
    m_images.clear();
    HMODULE module = ::LoadLibraryExW(modulePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        ::MessageBoxW(nullptr, L"装入文件时出错 - 请选择一个WIN32的DLL或EXE文件!", modulePath.c_str(), MB_OK);
        return false;
    }
    bool ok = false;
    if (HRSRC group = ::FindResourceW(module, MAKEINTRESOURCEW(128), MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */)) {
        const auto* dir = static_cast<const GroupIconDir*>(::LockResource(::LoadResource(module, group)));
        if (dir && ::SizeofResource(module, group) >= sizeof(GroupIconDir) + dir->count * sizeof(GroupIconEntry)) {
            const auto* entries = reinterpret_cast<const GroupIconEntry*>(dir + 1);
            ok = dir->count > 0;
            for (WORD i = 0; i < dir->count && ok; ++i) {
                HRSRC icon = ::FindResourceW(module, MAKEINTRESOURCEW(entries[i].id), MAKEINTRESOURCEW(3) /* RT_ICON */);
                const auto* bytes = icon ? static_cast<const std::uint8_t*>(::LockResource(::LoadResource(module, icon)))
                                         : nullptr;
                if (!bytes) {
                    ok = false;
                    break;
                }
                IconImage image;
                try {
                    image.data.assign(bytes, bytes + ::SizeofResource(module, icon));
                    m_images.push_back(std::move(image));
                } catch (const std::bad_alloc&) {
                    ::MessageBoxW(nullptr, L"内存分配出错!", modulePath.c_str(), MB_OK);
                    ok = false;
                }
            }
        }
    }
    ::FreeLibrary(module);
    if (!ok) m_images.clear();
    return ok;
}

bool CIcons::Write(const std::wstring& filePath) {
    if (m_images.empty()) return false;
    HANDLE file = ::CreateFileW(filePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ::MessageBoxW(nullptr, L"文件建立时出错!", filePath.c_str(), MB_OK);
        return false;
    }
    const std::vector<std::uint8_t> bytes = BuildIconFile(m_images);
    DWORD written = 0;
    const bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    ::CloseHandle(file);
    if (!ok) {
        // A cut icon file is worse than none: without it the shortcuts take
        // the executable's own icon.
        ::DeleteFileW(filePath.c_str());
        ::MessageBoxW(nullptr, L"写图标文件头时出错!", filePath.c_str(), MB_OK);
    }
    return ok;
}

std::wstring IconFilePath() { return InstallDirPath() + L"\\Lm03000.ico"; }

// --- files ------------------------------------------------------------------------

int CountFiles(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 1;
    int count = 0;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        // A junction or link to a folder is not followed: it may lead
        // anywhere, even back here.
        const DWORD kind = data.dwFileAttributes;
        if ((kind & FILE_ATTRIBUTE_DIRECTORY) && !(kind & FILE_ATTRIBUTE_REPARSE_POINT)) {
            count += CountFiles(folder + L"\\" + name);
        } else {
            ++count;
        }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return count;
}

bool DeleteTree(const std::wstring& folder) {
    bool ok = true;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            const DWORD kind = data.dwFileAttributes;
            if ((kind & FILE_ATTRIBUTE_DIRECTORY) && (kind & FILE_ATTRIBUTE_REPARSE_POINT)) {
                // The link goes, never what it points at.
                ok = ::RemoveDirectoryW(path.c_str()) && ok;
            } else if (kind & FILE_ATTRIBUTE_DIRECTORY) {
                ok = DeleteTree(path) && ok;
            } else {
                if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                    ::SetFileAttributesW(path.c_str(), data.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
                ok = ::DeleteFileW(path.c_str()) && ok;
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    return ::RemoveDirectoryW(folder.c_str()) && ok;
}

std::wstring ExeFolderPath(const wchar_t* name) {
    const std::wstring exe = ExePath();
    if (!name) return exe;
    return exe.substr(0, exe.find_last_of(L'\\') + 1) + name;
}

bool AppendToFile(const std::wstring& path, const std::string& text) {
    HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    // Only the whole text is a script: a short write is a failure.
    const bool ok = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE &&
                    written == text.size();
    ::CloseHandle(file);
    return ok;
}

// --- shortcuts ----------------------------------------------------------------------

bool CreateShortcut(const std::wstring& target, const std::wstring& icon, const std::wstring& linkPath,
                    const std::wstring& arguments, const std::wstring& description) {
    if (linkPath.empty()) return false;
    IShellLinkW* link = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link))))
        return false;
    link->SetPath(target.c_str());
    link->SetIconLocation(icon.empty() ? target.c_str() : icon.c_str(), 0);
    link->SetArguments(arguments.c_str());
    if (!description.empty()) link->SetDescription(description.c_str());
    link->SetWorkingDirectory(FolderOf(target).c_str());
    IPersistFile* file = nullptr;
    bool ok = false;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        ok = SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
        file->Release();
    }
    link->Release();
    return ok;
}

bool CreateDesktopShortcut(const std::wstring& name, const std::wstring& target, const std::wstring& icon) {
    if (!CanCreate(name, target)) return false;
    // A folder the shell cannot give is no place for a link: a path built on
    // an empty folder would lie at the drive's root or the current folder.
    const std::wstring desktop = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
    if (desktop.empty()) return false;
    const std::wstring documents = ShellFolder(CSIDL_PERSONAL);
    if (!documents.empty()) ::DeleteFileW(LegacyDesktopLinkPath(documents, desktop, name).c_str());
    return CreateShortcut(target, icon, DesktopLinkPath(desktop, name), L"/Lm03000D",
                          DesktopLinkDescription(LUMENDOR_PORTAL_HOST_W));
}

bool CreateProgramsShortcut(const std::wstring& arguments, const std::wstring& target, const std::wstring& name,
                            const std::wstring& icon) {
    if (!CanCreate(name, target)) return false;
    const std::wstring programs = ShellFolder(CSIDL_PROGRAMS);
    if (programs.empty()) return false;
    ::CreateDirectoryW(ProgramsFolderPath(programs).c_str(), nullptr);
    return CreateShortcut(target, icon, ProgramsLinkPath(programs, name), arguments, L"");
}

bool CreateQuickLaunchShortcut(const std::wstring& name, const std::wstring& target, const std::wstring& icon) {
    if (!CanCreate(name, target)) return false;
    const std::wstring roaming = ShellFolder(CSIDL_APPDATA);
    if (roaming.empty()) return false;
    const std::wstring link = QuickLaunchLinkPath(roaming, name);
    if (!CreateShortcut(target, icon, link, L"/Lm03000D", L"")) return false;
    if (SystemMajorVersion() > 5) {
        ::ShellExecuteW(nullptr, L"TaskbarPin", link.c_str(), nullptr, nullptr, SW_SHOW);
        ::ShellExecuteW(nullptr, L"StartPin", link.c_str(), nullptr, nullptr, SW_SHOW);
    }
    return true;
}

bool DeleteDesktopShortcut(const std::wstring& name) {
    const std::wstring desktop = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
    return !desktop.empty() && ::DeleteFileW(DesktopLinkPath(desktop, name).c_str()) != FALSE;
}

bool DeleteProgramsShortcut(const std::wstring& name) {
    const std::wstring programs = ShellFolder(CSIDL_PROGRAMS);
    return !programs.empty() && ::DeleteFileW(ProgramsLinkPath(programs, name).c_str()) != FALSE;
}

bool RemoveQuickLaunchShortcut(const std::wstring& name) {
    const std::wstring roaming = ShellFolder(CSIDL_APPDATA);
    if (roaming.empty()) return false;
    const std::wstring link = QuickLaunchLinkPath(roaming, name);
    ::ShellExecuteW(nullptr, L"TaskbarUnpin", link.c_str(), nullptr, nullptr, SW_SHOW);
    ::ShellExecuteW(nullptr, L"StartUnpin", link.c_str(), nullptr, nullptr, SW_SHOW);
    return ::DeleteFileW(link.c_str()) != FALSE;
}

// --- the install folder's security ----------------------------------------------------
//
// The installed executable runs for every user of the machine (the all-users
// desktop link, the machine-wide Run value), and the system looks for the
// libraries it imports in its own folder first. So nobody but the system,
// the administrators and the installing user may put a file there: every
// other user may only read and run.

namespace {

// The installing user's SID as text, empty when the token cannot be read.
std::wstring CurrentUserSid() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    std::wstring text;
    LPWSTR sid = nullptr;
    if (::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
        ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) {
        text = sid;
        ::LocalFree(sid);
    }
    ::CloseHandle(token);
    return text;
}

bool TrustedOwner(const std::wstring& path, const std::wstring& user) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                nullptr, &sd) != ERROR_SUCCESS)
        return false;
    bool trusted = owner && (::IsWellKnownSid(owner, WinLocalSystemSid) ||
                             ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    LPWSTR text = nullptr;
    if (!trusted && owner && !user.empty() && ::ConvertSidToStringSidW(owner, &text)) {
        trusted = user == text;
        ::LocalFree(text);
    }
    ::LocalFree(sd);
    return trusted;
}

// A file the install may take as its own: owned as a folder must be, no
// link to somewhere else (a junction, or a second name of another file).
bool TrustedEntry(const std::wstring& path, const std::wstring& user) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    if (!TrustedOwner(path, user)) return false;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
    HANDLE file = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool single = ::GetFileInformationByHandle(file, &info) && info.nNumberOfLinks == 1;
    ::CloseHandle(file);
    return single;
}

bool ApplySddl(const std::wstring& path, const std::wstring& sddl, SECURITY_INFORMATION what) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr)) return false;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    bool ok = ::GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) && present &&
              ::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT, what, nullptr, nullptr, dacl,
                                      nullptr) == ERROR_SUCCESS;
    ::LocalFree(sd);
    return ok;
}

// Creates the folder or takes the existing one, when it and everything in
// it belong to the system, the administrators or this user; then gives it
// the protected access list. False only for a folder that is another's: one
// that cannot be made, or whose list cannot be changed (a file system
// without access lists, a read-only medium), is left to fail or work as
// the install's own writes do.
bool SecureFolder(const std::wstring& path, const std::wstring& user) {
    ::CreateDirectoryW(path.c_str(), nullptr);
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    if (!TrustedEntry(path, user)) return false;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        bool trusted = true;
        do {
            const std::wstring name = data.cFileName;
            if (name != L"." && name != L".." && !TrustedEntry(path + L"\\" + name, user)) trusted = false;
        } while (trusted && ::FindNextFileW(find, &data));
        ::FindClose(find);
        if (!trusted) return false;
    }
    ApplySddl(path, InstallFolderSddl(user), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION);
    return true;
}

}  // namespace

std::wstring InstallFolderSddl(const std::wstring& userSid) {
    std::wstring sddl = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    if (!userSid.empty()) sddl += L"(A;OICI;FA;;;" + userSid + L")";
    return sddl + L"(A;OICI;0x1200a9;;;BU)";  // read and execute
}

bool PrepareInstallDir() {
    wchar_t common[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common))) return false;
    const std::wstring user = CurrentUserSid();
    if (!SecureFolder(std::wstring(common) + L"\\4286", user) || !SecureFolder(InstallDirPath(), user)) return false;
    // The settings file is every user's: the client writes its counters
    // and the login page's values at every start, whoever plays. Only a
    // file made here gets that right; others may write into it, never add
    // a file beside it.
    const std::wstring settings = StatIniPath();
    HANDLE file = ::CreateFileW(settings.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        static const BYTE kBom[2] = {0xFF, 0xFE};  // a Unicode settings file, as the store starts one
        DWORD written = 0;
        ::WriteFile(file, kBom, sizeof kBom, &written, nullptr);
        ::CloseHandle(file);
        ApplySddl(settings, L"D:(A;;0x12019f;;;BU)", DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION);
    }
    return true;
}

// --- install -------------------------------------------------------------------------

void InstallClient() {
    const HRESULT com = ::CoInitialize(nullptr);

    const std::wstring exe = ExePath();
    std::wstring icon = IconFilePath();
    CIcons icons;
    if (!icons.Load(exe) || !icons.Write(icon)) icon.clear();

    const std::wstring destination = InstallDirPath() + L"\\" + FileNameOf(exe);
    if (::lstrcmpiW(destination.c_str(), exe.c_str()) != 0) ::CopyFileW(exe.c_str(), destination.c_str(), FALSE);

    CreateDesktopShortcut(L"Lumendor", destination, icon);
    CreateProgramsShortcut(L"/Lm03000D", destination, L"Lumendor", icon);
    CreateProgramsShortcut(L"/uninst", destination, UninstallLinkName(L"Lumendor"), L"");
    if (!IsWindows10OrLater()) CreateQuickLaunchShortcut(L"Lumendor", destination, icon);
    LaunchProcess(destination.c_str());
    if (SUCCEEDED(com)) ::CoUninitialize();
}

// --- uninstall -------------------------------------------------------------------------

void RemoveRegistryEntries() {
    ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\4286\\GameLogin\\Lm03000");  // with every sub-key
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                        L"SOFTWARE\\Microsoft\\Internet Explorer\\MAIN\\FeatureControl\\FEATURE_BROWSER_EMULATION", 0,
                        KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        ::RegDeleteValueW(key, FileNameOf(ExePath()).c_str());
        ::RegCloseKey(key);
    }
}

void RemoveShortcuts() {
    const HRESULT com = ::CoInitialize(nullptr);
    DeleteDesktopShortcut(L"4286网页游戏");
    const std::wstring name = StoredLinkName(ReadSetting(Keys::IconName));
    DeleteDesktopShortcut(name);
    DeleteProgramsShortcut(name);
    DeleteProgramsShortcut(RefreshUninstallLinkName(name));
    RemoveQuickLaunchShortcut(name);
    WriteSetting(Keys::IconTime, L"");
    WriteSetting(Keys::IconName, L"");
    const std::wstring programs = ShellFolder(CSIDL_PROGRAMS);
    if (!programs.empty() && CountFiles(ProgramsFolderPath(programs)) == 0)
        ::RemoveDirectoryW(ProgramsFolderPath(programs).c_str());
    if (SUCCEEDED(com)) ::CoUninitialize();
}

// A path as the script holds it, in the ANSI code page. A character the
// code page lacks would turn into "?", a wildcard: the short form of the
// path is taken then, and where that cannot be had either the "?" stays and
// the script is refused.
std::string ScriptPath(const std::wstring& path) {
    const auto exact = [](const std::wstring& text, std::string& out) {
        BOOL lossy = FALSE;
        const int n = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, &lossy);
        if (n <= 0) return false;
        out.assign(static_cast<std::size_t>(n), '\0');
        ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), n, nullptr, &lossy);
        out.resize(static_cast<std::size_t>(n - 1));
        return lossy == FALSE;
    };
    std::string out;
    if (exact(path, out)) return out;
    wchar_t shortPath[MAX_PATH] = {};
    const DWORD n = ::GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    std::string shortOut;
    if (n > 0 && n < MAX_PATH && exact(shortPath, shortOut)) return shortOut;
    return out;
}

bool ScheduleSelfDelete() {
    wchar_t temp[MAX_PATH] = {}, name[MAX_PATH] = {};
    if (!::GetTempPathW(MAX_PATH, temp) || !::GetTempFileNameW(temp, L"DelSelf", 0, name)) return false;
    const std::wstring script = std::wstring(name) + L".bat";
    const std::string exe = ScriptPath(ExePath());
    const std::string folder = FolderOfPath(exe);
    const bool alone = CountFiles(FolderOf(ExePath())) <= 1;
    // The script file is created first, so that its own path has a short form.
    const std::string text = AppendToFile(script, "") ? SelfDeleteScript(exe, folder, ScriptPath(script), alone) : "";
    if (text.empty() || !AppendToFile(script, text)) {
        ::DeleteFileW(script.c_str());  // a part of a script is never run
        return false;
    }

    std::wstring command = L"\"" + script + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                          &pi))
        return false;
    ::SetThreadPriority(pi.hThread, THREAD_PRIORITY_IDLE);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return true;
}

int UninstallClient(CHalvane3App&) {
    RemoveRegistryEntries();
    RemoveShortcuts();
    ScheduleSelfDelete();
    ::DeleteFileW(ExeFolderPath(L"Logo.swf").c_str());
    ::DeleteFileW(ExeFolderPath(L"Lm03000.ico").c_str());
    const std::wstring classes = ClassesRootKeyName(FileNameOf(ExePath()));
    ::SHDeleteKeyW(HKEY_CLASSES_ROOT, classes.c_str());
    DeleteAutoRun();
    SendUninstallStats();
    return ShowMessage(0, UninstallDoneMessage(DisplayName).c_str(), nullptr);
}
