// Install helpers on a real system: shell links, the icon writer, folder
// counting and deletion, the Flash stored-objects clean-up.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <fstream>

#include "install/icon_update_win.h"
#include "install/install_win.h"
#include "test_util.h"

namespace {

std::wstring FreshFolder(const wchar_t* stem) {
    wchar_t dir[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, dir);
    std::wstring d = std::wstring(dir) + stem + std::to_wstring(::GetTickCount());
    ::SHCreateDirectoryExW(nullptr, d.c_str(), nullptr);
    return d;
}

void Touch(const std::wstring& path) { std::ofstream(std::string(path.begin(), path.end())) << "x"; }

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

TEST(CacheCleaning, FlashStoredObjectsGo) {
    wchar_t roaming[MAX_PATH] = {};
    ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, roaming), S_OK);
    const std::wstring objects = std::wstring(roaming) + L"\\Macromedia\\Flash Player\\#SharedObjects";
    ::SHCreateDirectoryExW(nullptr, (objects + L"\\ABCD\\game").c_str(), nullptr);
    Touch(objects + L"\\ABCD\\game\\save.sol");
    CleanFlashObjects();
    EXPECT_EQ(::GetFileAttributesW(objects.c_str()), INVALID_FILE_ATTRIBUTES);
    CleanBrowserCache();  // nothing to check here beyond surviving an empty cache
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
