#include "settings/settings_win.h"

#include <shlobj.h>

#include <vector>

std::wstring InstallDirPath() {
    wchar_t buf[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf))) buf[0] = 0;
    std::wstring dir = buf;
    dir += kInstallSubDir;
    if (dir.size() >= MAX_PATH) dir.resize(MAX_PATH - 1);
    return dir;
}

std::wstring StatIniPath() {
    std::wstring path = InstallDirPath() + L"\\" + kSettingsFileName;
    if (path.size() >= MAX_PATH) path.resize(MAX_PATH - 1);
    return path;
}

std::wstring ReadSetting(const SettingKey& key, const std::wstring& path) {
    std::vector<wchar_t> buf(key.capacity, L'\0');
    ::GetPrivateProfileStringW(kSettingsSection, key.name, key.defaultValue, buf.data(),
                               static_cast<DWORD>(buf.size()), path.c_str());
    return buf.data();
}

bool WriteSetting(const SettingKey& key, const std::wstring& value, const std::wstring& path) {
    return WriteSettingRaw(key.name, value.c_str(), path);
}

namespace {

// A settings file that does not exist yet is started as UTF-16 (its byte
// order mark alone), so that the profile functions keep every later value
// in Unicode: names from the portal survive whatever the ANSI code page.
// An existing file keeps its encoding; a missing folder still fails the write.
void StartUnicodeFile(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    static const BYTE kBom[2] = {0xFF, 0xFE};
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, kBom, sizeof kBom, &written, nullptr);
    ::CloseHandle(file);
    if (!ok || written != sizeof kBom) ::DeleteFileW(path.c_str());
}

}  // namespace

bool WriteSettingRaw(const wchar_t* key, const wchar_t* value, const std::wstring& path) {
    if (key && value) StartUnicodeFile(path);  // deleting a key creates nothing
    return ::WritePrivateProfileStringW(kSettingsSection, key, value, path.c_str()) != FALSE;
}

std::uint32_t ReadCounter(const SettingKey& key, const std::wstring& path) {
    return ParseCounterText(ReadSetting(key, path));
}

std::uint32_t IncrementCounter(const SettingKey& key, const std::wstring& path) {
    const std::uint32_t value = NextCounter(ReadCounter(key, path));
    WriteSetting(key, FormatCounter(value), path);
    return value;
}

std::uint32_t ReadWeekdays(const std::wstring& path) {
    return SanitizeWeekdays(::GetPrivateProfileIntW(kSettingsSection, Keys::Weekdays.name, 0, path.c_str()));
}

bool WriteInstallTag() { return WriteSetting(Keys::InstallTag, L"1"); }

// ---------------------------------------------------------------------------

std::wstring ExePath() {
    wchar_t buf[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return buf;
}

std::wstring ExeFolder() {
    std::wstring path = ExePath();
    auto slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

CIni::CIni(const wchar_t* path, const wchar_t* section) : m_bRelativeToExe(1), m_szScratch{} {
    const std::wstring exe = ExePath();
    std::wstring p = path ? path : L"";
    if (p.empty()) {
        std::wstring base = exe;
        const auto slash = base.find_last_of(L'\\');
        const auto dot = base.rfind(L'.');
        if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) base.erase(dot);
        p = base + L".ini";
    } else if (!(p.size() >= 2 && p[1] == L':') && !(p.size() >= 2 && p[0] == L'\\' && p[1] == L'\\')) {
        // No drive: relative to the executable's folder (or the current one).
        if (m_bRelativeToExe) {
            std::wstring folder = ExeFolder();
            while (!p.empty() && p[0] == L'\\') p.erase(0, 1);
            p = folder + p;
        }
    }
    m_strPath = p;
    std::wstring s = section ? section : L"";
    if (s.empty()) {
        std::wstring name = exe.substr(exe.find_last_of(L'\\') + 1);
        if (auto dot = name.rfind(L'.'); dot != std::wstring::npos) name.erase(dot);
        s = name;
    }
    m_strSection = s;
}

BOOL CIni::WriteBytes(UINT nCount, const wchar_t* key, const BYTE* bytes) {
    if (!key || (!bytes && nCount)) return FALSE;
    const std::wstring text = LetterHexEncode(bytes, nCount);
    m_strSection = kSettingsSection;
    StartUnicodeFile(m_strPath);
    return ::WritePrivateProfileStringW(m_strSection.c_str(), key, text.c_str(), m_strPath.c_str());
}

// ---------------------------------------------------------------------------
// Registry

bool IsWow64() {
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32");
    auto fn = kernel ? reinterpret_cast<IsWow64ProcessFn>(
                           reinterpret_cast<void*>(::GetProcAddress(kernel, "IsWow64Process")))
                     : nullptr;
    BOOL wow = FALSE;
    if (!fn || !fn(::GetCurrentProcess(), &wow)) return false;
    return wow != FALSE;
}

const wchar_t* RunKeyPath() {
    return IsWow64() ? L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"
                     : L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
}

bool WriteAutoRun(const std::wstring& exePath) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, RunKeyPath(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
        return false;
    // The system adds a terminator the count left out when a zero follows the
    // characters in memory; a character other than zero there keeps the
    // value at exactly twice its character count.
    const std::wstring data = exePath + L'\x1';
    LONG rc = ::RegSetValueExW(key, kRunValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                               static_cast<DWORD>(exePath.size() * 2));
    ::RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool IsAutoRunOn() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, RunKeyPath(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    LONG rc = ::RegQueryValueExW(key, kRunValueName, nullptr, &type, nullptr, &size);
    ::RegCloseKey(key);
    return rc == ERROR_SUCCESS && size > 0;
}

bool ReadAutoRunValue(std::wstring& data) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, RunKeyPath(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    LONG rc = ::RegQueryValueExW(key, kRunValueName, nullptr, &type, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        std::vector<wchar_t> buf(size / sizeof(wchar_t) + 1, L'\0');
        rc = ::RegQueryValueExW(key, kRunValueName, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size);
        if (rc == ERROR_SUCCESS) {
            data.assign(buf.data(), size / sizeof(wchar_t));
            while (!data.empty() && data.back() == L'\0') data.pop_back();  // the stored terminator
        }
    }
    ::RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool DeleteAutoRun() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, RunKeyPath(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
    LONG rc = ::RegDeleteValueW(key, kRunValueName);
    ::RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool RaiseCacheLimit() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER,
                        L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache\\Content", 0,
                        KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    const DWORD limit = 0x100000;
    LONG rc = ::RegSetValueExW(key, L"CacheLimit", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&limit), sizeof limit);
    LONG rcClose = ::RegCloseKey(key);
    return rc == ERROR_SUCCESS && rcClose == ERROR_SUCCESS;
}

bool ReadEnableLua(DWORD& value) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System\\", 0,
                        KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = sizeof value;
    LONG rc = ::RegQueryValueExW(key, L"EnableLUA", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    ::RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_DWORD;
}
