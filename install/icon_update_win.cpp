#include "install/icon_update_win.h"

#include "framework/text_win.h"

#include <windows.h>
#include <process.h>
#include <shlobj.h>
#include <wininet.h>

#include <vector>

#include "app/build_config.h"
#include "app/halvane3_app_win.h"
#include "install/icon_description.h"
#include "install/install_win.h"
#include "net/sock_down_file.h"
#include "settings/settings_win.h"

namespace {

void RefreshDesktopList() {
    ::SHChangeNotify(SHCNE_DELETE, 0x1005, nullptr, nullptr);
    HWND progman = ::FindWindowW(L"Progman", nullptr);
    HWND view = progman ? ::FindWindowExW(progman, nullptr, L"SHELLDLL_DefView", nullptr) : nullptr;
    HWND list = view ? ::FindWindowExW(view, nullptr, L"SysListView32", nullptr) : nullptr;
    if (!list) return;
    ::PostMessageW(list, WM_KEYDOWN, VK_F5, 0);
    ::PostMessageW(list, WM_KEYUP, VK_F5, 0);
}

unsigned __stdcall CacheCleaningWorker(void*) {
    CleanFlashObjects();
    CleanBrowserCache();
    return 0;
}

}  // namespace

std::wstring IconDescriptionUrl() {
    return std::wstring(L"http://") + LUMENDOR_PORTAL_HOST_W +
           L"/webStatic/index.php?_c=client&_a=getIconInfo&game=lmdr&aid=2";
}

void UpdateDesktopIcon() {
    IconDescription description;
    if (!ParseIconDescription(SockFetchText(IconDescriptionUrl()), description)) return;
    const std::wstring& url = description.url;
    const std::wstring& name = description.name;
    const std::wstring& time = description.time;
    if (ReadSetting(Keys::IconTime) == time) return;
    // A name the links cannot carry would leave the desktop without any
    // shortcut, and a name or time the settings file gives back otherwise
    // would orphan the links or repeat the refresh at every start: such a
    // description is not applied.
    if (!AppliesIconDescription(name, time)) return;

    const std::wstring icon = ExeFolderPath(L"\\Lm03000.ico");
    if (!SockDownloadFile(url, icon)) return;

    const HRESULT com = ::CoInitialize(nullptr);
    const std::wstring old = StoredLinkName(ReadSetting(Keys::IconName));
    DeleteDesktopShortcut(old);
    DeleteProgramsShortcut(old);
    DeleteProgramsShortcut(RefreshUninstallLinkName(old));
    RemoveQuickLaunchShortcut(old);

    ::Sleep(800);
    RefreshDesktopList();

    const std::wstring exe = ExePath();
    CreateDesktopShortcut(name, exe, icon);
    CreateProgramsShortcut(L"/Lm03000D", exe, name, icon);
    CreateProgramsShortcut(L"/uninst", exe, RefreshUninstallLinkName(name), icon);
    if (!IsWindows10OrLater()) CreateQuickLaunchShortcut(name, exe, icon);

    WriteSetting(Keys::IconTime, time);
    WriteSetting(Keys::IconName, name);
    if (SUCCEEDED(com)) ::CoUninitialize();
}

void StartCacheCleaning() {
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &CacheCleaningWorker, nullptr, 0, nullptr));
    if (thread) ::CloseHandle(thread);
}

void CleanFlashObjects() {
    wchar_t roaming[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, roaming))) return;
    DeleteTree(std::wstring(roaming) + L"\\Macromedia\\Flash Player\\#SharedObjects");
}

void CleanBrowserCache() {
    std::vector<BYTE> buffer(4096);
    HANDLE find = nullptr;
    for (bool first = true;;) {
        auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
        DWORD size = static_cast<DWORD>(buffer.size());
        const bool got = first ? (find = ::FindFirstUrlCacheEntryW(nullptr, entry, &size)) != nullptr
                               : ::FindNextUrlCacheEntryW(find, entry, &size) != FALSE;
        if (!got) {
            if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
            buffer.resize(static_cast<std::size_t>(size) * 2);  // the same entry again, with room
            continue;
        }
        first = false;
        if (!(entry->CacheEntryType & 0x100000)) ::DeleteUrlCacheEntryW(entry->lpszSourceUrlName);  // cookies stay
    }
    if (find) ::FindCloseUrlCache(find);
    wchar_t cache[MAX_PATH] = {};
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, 32 /* the browser cache folder */, nullptr, SHGFP_TYPE_CURRENT, cache)))
        DeleteTree(cache);
}
