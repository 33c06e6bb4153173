// The settings file and the registry values of the client.
#pragma once
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <string>

#include "settings/settings_keys.h"

// Common application data + "\4286\GameLogin".
std::wstring InstallDirPath();
// InstallDirPath() + "\Statistic.ini".
std::wstring StatIniPath();

// String read of a key of section "Lm03000" with the key's own default and
// capacity. `path` defaults to StatIniPath().
std::wstring ReadSetting(const SettingKey& key, const std::wstring& path = StatIniPath());
bool WriteSetting(const SettingKey& key, const std::wstring& value, const std::wstring& path = StatIniPath());
// The same for keys not in the table (sealed entries).
bool WriteSettingRaw(const wchar_t* key, const wchar_t* value, const std::wstring& path = StatIniPath());

// A counter read as text and converted; unparsable text counts as 0.
std::uint32_t ReadCounter(const SettingKey& key, const std::wstring& path = StatIniPath());
// Reads, adds one, writes "%u"; returns the new value.
std::uint32_t IncrementCounter(const SettingKey& key, const std::wstring& path = StatIniPath());
// The weekdays mask through the profile integer read; above 128 counts as 0.
std::uint32_t ReadWeekdays(const std::wstring& path = StatIniPath());

// Writes InstallTag = "1".
bool WriteInstallTag();

// INI accessor with the letter-hex byte-block write.
class CIni {
public:
    CIni(const wchar_t* path, const wchar_t* section);

    // Encodes the bytes as letter-hex and writes them under the key, always
    // in section "Lm03000".
    BOOL WriteBytes(UINT nCount, const wchar_t* key, const BYTE* bytes);

    const std::wstring& Path() const { return m_strPath; }
    const std::wstring& Section() const { return m_strSection; }

private:
    int m_bRelativeToExe;
    wchar_t m_szScratch[2048];
    std::wstring m_strPath;
    std::wstring m_strSection;
};

// The executable's own path and folder (with its trailing backslash).
std::wstring ExePath();
std::wstring ExeFolder();

// True when this process runs under WOW64; "IsWow64Process" is looked up at
// each call, a missing routine counts as false.
bool IsWow64();

// HKLM key of the auto-start value, chosen by the WOW64 test.
const wchar_t* RunKeyPath();
inline constexpr wchar_t kRunValueName[] = L"Lm03000";
// Writes the auto-start value: the executable's path, exactly twice its
// character count in bytes, no terminator.
bool WriteAutoRun(const std::wstring& exePath = ExePath());
// True when the value exists with non-empty data.
bool IsAutoRunOn();
// The value's data as text; false when it cannot be read.
bool ReadAutoRunValue(std::wstring& data);
bool DeleteAutoRun();

// HKCU browser cache limit 0x100000; true when written and the key closed.
bool RaiseCacheLimit();

// The EnableLUA policy value; false when missing.
bool ReadEnableLua(DWORD& value);
