// Install helpers on a real system: shell links, the icon writer, folder
// counting and deletion, the Flash stored-objects clean-up.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <fstream>
#include <vector>
#include <functional>
#include <wininet.h>

#include "install/icon_update_win.h"
#include "install/install_win.h"
#include "settings/settings_win.h"
#include "test_util.h"

namespace {

std::wstring FreshFolder(const wchar_t* stem) {
    wchar_t dir[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, dir);
    std::wstring d = std::wstring(dir) + stem + std::to_wstring(::GetTickCount());
    ::SHCreateDirectoryExW(nullptr, d.c_str(), nullptr);
    return d;
}

void Touch(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) ::WriteFile(file, "x", 1, &written, nullptr), ::CloseHandle(file);
}

TEST(InstallFiles, CountAndDeleteTrees) {
    const std::wstring root = FreshFolder(L"tree");
    EXPECT_EQ(CountFiles(root), 0);
    ::CreateDirectoryW((root + L"\\sub").c_str(), nullptr);
    ::CreateDirectoryW((root + L"\\sub\\deeper").c_str(), nullptr);
    Touch(root + L"\\a.txt");
    Touch(root + L"\\sub\\b.txt");
    Touch(root + L"\\sub\\deeper\\c.txt");
    ::SetFileAttributesW((root + L"\\sub\\b.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(CountFiles(root), 3);  // files only, sub-folders included
    EXPECT_EQ(CountFiles(root + L"\\missing"), 1);
    EXPECT_TRUE(DeleteTree(root));
    EXPECT_EQ(::GetFileAttributesW(root.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(DeleteTree(root));
}

TEST(InstallFiles, AppendAndExeFolderPaths) {
    const std::wstring path = FreshFolder(L"append") + L"\\s.bat";
    EXPECT_TRUE(AppendToFile(path, "one\r\n"));
    EXPECT_TRUE(AppendToFile(path, "two\r\n"));
    std::ifstream in(std::string(path.begin(), path.end()), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "one\r\ntwo\r\n");
    EXPECT_EQ(ExeFolderPath(L"Logo.swf"), TestFolder() + L"Logo.swf");
    EXPECT_EQ(ExeFolderPath(), TestFolder() + L"win_tests.exe");
}

TEST(IconWriter, WritesTheProgramsIconGroup) {
    CIcons icons;
    ASSERT_TRUE(icons.Load(ExeFolderPath()));
    ASSERT_EQ(icons.m_images.size(), 3u);
    const std::wstring file = FreshFolder(L"icon") + L"\\Lm03000.ico";
    ASSERT_TRUE(icons.Write(file));
    HICON loaded = static_cast<HICON>(::LoadImageW(nullptr, file.c_str(), IMAGE_ICON, 32, 32, LR_LOADFROMFILE));
    EXPECT_NE(loaded, nullptr);  // the system reads it back as an icon
    if (loaded) ::DestroyIcon(loaded);
}

TEST(ShellLinks, CreateLoadsBackWithArgumentsFolderAndIcon) {
    ::CoInitialize(nullptr);
    const std::wstring folder = FreshFolder(L"links");
    const std::wstring target = ExeFolderPath();
    const std::wstring link = folder + L"\\Lumendor.lnk";
    ASSERT_TRUE(CreateShortcut(target, L"C:\\icons\\Lm03000.ico", link, L"/Lm03000D", L"portal中国最大的网页游戏平台"));
    IShellLinkW* shell = nullptr;
    ASSERT_EQ(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&shell)),
              S_OK);
    IPersistFile* file = nullptr;
    shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    ASSERT_EQ(file->Load(link.c_str(), STGM_READ), S_OK);
    wchar_t text[MAX_PATH] = {};
    shell->GetArguments(text, MAX_PATH);
    EXPECT_STREQ(text, L"/Lm03000D");
    shell->GetWorkingDirectory(text, MAX_PATH);
    EXPECT_EQ(std::wstring(text) + L"\\", TestFolder());
    int index = -1;
    shell->GetIconLocation(text, MAX_PATH, &index);
    EXPECT_STREQ(text, L"C:\\icons\\Lm03000.ico");
    EXPECT_EQ(index, 0);
    shell->GetDescription(text, MAX_PATH);
    EXPECT_STREQ(text, L"portal中国最大的网页游戏平台");
    file->Release();
    shell->Release();
    EXPECT_FALSE(CreateShortcut(target, L"", L"", L"", L""));  // no link path
    // The create operations refuse a missing target or an empty name.
    EXPECT_FALSE(CreateProgramsShortcut(L"/x", folder + L"\\missing.exe", L"n", L""));
    EXPECT_FALSE(CreateProgramsShortcut(L"/x", target, L"", L""));
    ::CoUninitialize();
}

// The access lists the install gives its folders and the settings file, as
// the system is asked to set them (this system keeps none on files, so they
// are taken from the call); and what makes an existing folder refused.
struct SecuritySet {
    std::wstring path, dacl;
    SECURITY_INFORMATION what;
};
std::vector<SecuritySet> g_securitySets;
decltype(&::SetNamedSecurityInfoW) g_realSetNamedSecurityInfo = &::SetNamedSecurityInfoW;
DWORD WINAPI RecordingSetNamedSecurityInfo(LPWSTR path, SE_OBJECT_TYPE type, SECURITY_INFORMATION what, PSID owner,
                                           PSID group, PACL dacl, PACL sacl) {
    SECURITY_DESCRIPTOR sd;
    ::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&sd, TRUE, dacl, FALSE);
    LPWSTR text = nullptr;
    ::ConvertSecurityDescriptorToStringSecurityDescriptorW(&sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr);
    g_securitySets.push_back({path, text ? text : L"", what});
    if (text) ::LocalFree(text);
    return g_realSetNamedSecurityInfo(path, type, what, owner, group, dacl, sacl);
}

TEST(InstallFolder, OnlyTheSystemAdministratorsAndInstallerMayChangeIt) {
    wchar_t common[MAX_PATH] = {};
    ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common), S_OK);
    const std::wstring parent = std::wstring(common) + L"\\4286";
    DeleteTree(InstallDirPath());
    const std::wstring user = UserSid();
    ASSERT_FALSE(user.empty());

    ASSERT_EQ(Intercept(true, {Replacing(g_realSetNamedSecurityInfo, &RecordingSetNamedSecurityInfo)}), NO_ERROR);
    g_securitySets.clear();
    const bool prepared = PrepareInstallDir();
    // A file planted beside the program as a second name of another file:
    // the folder is no longer the install's own.
    const std::wstring planted = InstallDirPath() + L"\\winmm.dll", elsewhere = FreshFolder(L"plant") + L"\\winmm.dll";
    Touch(elsewhere);
    const bool linked = ::CreateHardLinkW(planted.c_str(), elsewhere.c_str(), nullptr);
    const std::size_t setsBefore = g_securitySets.size();
    const bool preparedWithLink = PrepareInstallDir();
    const std::size_t setsWithLink = g_securitySets.size() - setsBefore;
    ::DeleteFileW(planted.c_str());
    ::DeleteFileW(elsewhere.c_str());
    const bool preparedAgain = PrepareInstallDir();
    Intercept(false, {Replacing(g_realSetNamedSecurityInfo, &RecordingSetNamedSecurityInfo)});

    EXPECT_TRUE(prepared);
    const std::wstring folder = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + L")(A;OICI;0x1200a9;;;BU)";
    EXPECT_EQ(InstallFolderSddl(user), folder);
    ASSERT_EQ(g_securitySets.size(), 3u + 1u + 2u);  // the settings file only the first time
    EXPECT_EQ(g_securitySets[0].path, parent);
    EXPECT_EQ(g_securitySets[1].path, InstallDirPath());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(g_securitySets[i].dacl, folder.substr(0, 2) + folder.substr(3)) << i;  // the flag travels apart
        EXPECT_EQ(g_securitySets[i].what, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION) << i;
    }
    // The settings file is every user's to write: made once, then left alone.
    EXPECT_EQ(g_securitySets[2].path, StatIniPath());
    EXPECT_EQ(g_securitySets[2].dacl, L"D:(A;;0x12019f;;;BU)");
    EXPECT_EQ(g_securitySets[2].what, DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION);
    ASSERT_TRUE(linked);
    EXPECT_FALSE(preparedWithLink);
    EXPECT_EQ(setsWithLink, 1u);  // the parent only: the folder with the link keeps what it had
    EXPECT_TRUE(preparedAgain);
}

TEST(ShellLinks, AFolderTheShellCannotGiveTakesNoLink) {
    // Each shell folder moved away in turn: the shell reports it missing, and
    // nothing is created or deleted at the drive's root in its place.
    ::CoInitialize(nullptr);
    const std::wstring target = ExeFolderPath();
    // Paths from the root lead to the current drive: the prefix's own.
    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    ASSERT_TRUE(::SetCurrentDirectoryW(L"C:\\"));
    ::SHCreateDirectoryExW(nullptr, L"C:\\Microsoft\\Internet Explorer\\Quick Launch", nullptr);
    const struct {
        int csidl;
        std::wstring link;  // where a path built on an empty folder would lie
        std::function<bool()> create, remove;
    } cases[] = {
        {CSIDL_COMMON_DESKTOPDIRECTORY, L"\\LmRoot.lnk", [&] { return CreateDesktopShortcut(L"LmRoot", target, L""); },
         [] { return DeleteDesktopShortcut(L"LmRoot"); }},
        {CSIDL_PROGRAMS, L"\\4286\x767B\x5F55\x5668\\LmRoot.lnk",
         [&] { return CreateProgramsShortcut(L"/Lm03000D", target, L"LmRoot", L""); },
         [] { return DeleteProgramsShortcut(L"LmRoot"); }},
        {CSIDL_APPDATA, L"\\Microsoft\\Internet Explorer\\Quick Launch\\LmRoot.lnk",
         [&] { return CreateQuickLaunchShortcut(L"LmRoot", target, L""); },
         [] { return RemoveQuickLaunchShortcut(L"LmRoot"); }},
    };
    for (const auto& c : cases) {
        wchar_t folder[MAX_PATH] = {};
        ASSERT_EQ(::SHGetFolderPathW(nullptr, c.csidl, nullptr, SHGFP_TYPE_CURRENT, folder), S_OK);
        const std::wstring aside = std::wstring(folder) + L".aside";
        ASSERT_TRUE(::MoveFileW(folder, aside.c_str()));
        ::CreateDirectoryW(L"\\4286\x767B\x5F55\x5668", nullptr);
        wchar_t again[MAX_PATH] = {};
        const bool gone = FAILED(::SHGetFolderPathW(nullptr, c.csidl, nullptr, SHGFP_TYPE_CURRENT, again));
        EXPECT_FALSE(c.create());
        const DWORD created = ::GetFileAttributesW(c.link.c_str());
        // Such a link, had it been made, must survive the delete operation too.
        Touch(c.link);
        EXPECT_FALSE(c.remove());
        const DWORD kept = ::GetFileAttributesW(c.link.c_str());
        ::DeleteFileW(c.link.c_str());
        ::MoveFileW(aside.c_str(), folder);
        EXPECT_TRUE(gone) << c.csidl;
        EXPECT_EQ(created, INVALID_FILE_ATTRIBUTES) << c.csidl;
        EXPECT_NE(kept, INVALID_FILE_ATTRIBUTES) << c.csidl;
    }
    ::RemoveDirectoryW(L"\\4286\x767B\x5F55\x5668");
    DeleteTree(L"C:\\Microsoft");
    ::SetCurrentDirectoryW(current);
    ::CoUninitialize();
}

TEST(CacheCleaning, FlashStoredObjectsGo) {
    wchar_t roaming[MAX_PATH] = {};
    ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, roaming), S_OK);
    const std::wstring objects = std::wstring(roaming) + L"\\Macromedia\\Flash Player\\#SharedObjects";
    ::SHCreateDirectoryExW(nullptr, (objects + L"\\ABCD\\game").c_str(), nullptr);
    Touch(objects + L"\\ABCD\\game\\save.sol");
    CleanFlashObjects();
    EXPECT_EQ(::GetFileAttributesW(objects.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(CacheCleaning, BrowserCacheEntriesAndFolderGoCookiesStay) {
    // A cached page, a cookie and a file in the cache folder.
    const wchar_t* page = L"http://cache.example/page.html";
    wchar_t local[MAX_PATH] = {};
    ASSERT_TRUE(::CreateUrlCacheEntryW(page, 0, L"html", local, 0));
    Touch(local);
    FILETIME never{};
    ASSERT_TRUE(::CommitUrlCacheEntryW(page, local, never, never, NORMAL_CACHE_ENTRY, nullptr, 0, nullptr, nullptr));
    ASSERT_TRUE(::InternetSetCookieW(L"http://cache.example/", L"Pauth",
                                     L"kept; expires=Sat, 01-Jan-2050 00:00:00 GMT"));
    wchar_t cache[MAX_PATH] = {};
    ASSERT_EQ(::SHGetFolderPathW(nullptr, 32, nullptr, SHGFP_TYPE_CURRENT, cache), S_OK);
    const std::wstring stray = std::wstring(cache) + L"\\LmStray";
    ::CreateDirectoryW(stray.c_str(), nullptr);
    Touch(stray + L"\\x.bin");

    CleanBrowserCache();

    DWORD size = 0;
    EXPECT_FALSE(::GetUrlCacheEntryInfoW(page, nullptr, &size));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    wchar_t cookie[256] = {};
    DWORD room = 256;
    ASSERT_TRUE(::InternetGetCookieW(L"http://cache.example/", L"Pauth", cookie, &room));
    EXPECT_NE(std::wstring(cookie).find(L"kept"), std::wstring::npos);
    EXPECT_EQ(::GetFileAttributesW(stray.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace

#include "install/desktop_icon_win.h"

namespace {

TEST(DesktopIcon, FoundInAnotherProcessesListView) {
    RECT none{1, 2, 3, 4};
    const bool before = FindDesktopIconRect(&none, false);
    EXPECT_FALSE(before);  // no desktop list view on this display yet

    const std::wstring exe = TestFolder() + L"fake_desktop.exe";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring cmd = L"\"" + exe + L"\"";
    ASSERT_TRUE(::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    RECT rect{};
    bool found = false;
    for (int i = 0; i < 100 && !found; ++i) {
        ::Sleep(50);
        found = FindDesktopIconRect(&rect, false);  // a 32-bit list view: the 32-bit item layout
    }
    ::TerminateProcess(pi.hProcess, 0);
    ::WaitForSingleObject(pi.hProcess, 5000);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    ASSERT_TRUE(found);  // "LUMENDOR": the label matches in any case
    EXPECT_GT(rect.right - rect.left, 0);
    EXPECT_GT(rect.left, 0);  // the third item, not the first
    EXPECT_GT(rect.bottom, rect.top);
}

}  // namespace
