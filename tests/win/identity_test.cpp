// Machine identity and sealing on a real system (here: Wine).
#include <windows.h>
#include <wincrypt.h>

#include <iphlpapi.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "mainwnd/detour_win.h"
#include "settings/settings_win.h"
#include "stats/identity_win.h"
#include "test_util.h"

namespace {

std::string Hex(const BYTE* data, DWORD count) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (DWORD i = 0; i < count; ++i) {
        out.push_back(kHex[data[i] >> 4]);
        out.push_back(kHex[data[i] & 15]);
    }
    return out;
}

TEST(Sealing, MatchesAes128CbcWithPkcs7Padding) {
    // Expected values from `openssl enc -aes-128-cbc` with the same key and IV.
    const struct {
        std::string input;
        DWORD count;
        const char* sealed;
    } cases[] = {
        {std::string("A\0", 2), 16, "7bc62682f8f2b2832ed9c677390f29aa"},
        {"0123456789abcdef", 32, "be8e6a0750df2c01d8291c29c9a080c079e1138940c56e12e3ace066f9714d2e"},
    };
    for (const auto& c : cases) {
        SealedBytes out;
        ASSERT_TRUE(SealPayload(reinterpret_cast<const BYTE*>(c.input.data()), static_cast<DWORD>(c.input.size()), out));
        EXPECT_EQ(out.count, c.count);
        ASSERT_EQ(out.bytes.size(), c.count + 2u);
        EXPECT_EQ(out.bytes[c.count], 0);
        EXPECT_EQ(out.bytes[c.count + 1], 0);
        EXPECT_EQ(Hex(out.bytes.data(), out.count), c.sealed);
    }
}

TEST(Sealing, WorksWhereTheDefaultKeyContainerIsMissing) {
    // In this fresh profile the default container does not exist...
    HCRYPTPROV probe = 0;
    const bool defaultExists = ::CryptAcquireContextW(&probe, nullptr, nullptr, PROV_RSA_AES, CRYPT_SILENT);
    if (defaultExists) ::CryptReleaseContext(probe, 0);
    // ...yet sealing succeeds, through a context without a container.
    SealedBytes out;
    const BYTE data[] = {1, 2, 3};
    ASSERT_TRUE(SealPayload(data, 3, out));
    EXPECT_EQ(out.count, 16u);
    EXPECT_EQ(LastSealAcquirePath(), defaultExists ? 0 : 1);
    EXPECT_FALSE(defaultExists) << "this test is meant to run in a fresh prefix";
}

TEST(SealedEntry, StoresALetterHexValueUnderASealedKey) {
    const std::wstring path = TempFilePath(L"sealed");
    const std::wstring argument = L"u%7Cpauth%2Dvalue%7Crest";  // decoded: u|pauth-value|rest
    ASSERT_TRUE(StoreSealedEntry(argument, path));
    // Keyed by the decoded field, valued by the argument as received.
    std::wstring key, value;
    ASSERT_TRUE(ExpectedSealedEntry(L"pauth-value", argument, key, value));
    const auto entries = SealedEntries(path);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].first == key) << entries[0].first.size() << " vs " << key.size() << " units";
    EXPECT_EQ(entries[0].second, value);
    ::DeleteFileW(path.c_str());
}

// Drive 0 answering the SMART requests as an IDE or ATAPI disk does, put in
// place of the system's (Wine has no SMART interface) through interception.
struct FakeDrive {
    bool opens = true;
    BYTE deviceMap = 0;         // what SMART_GET_VERSION reports in bIDEDeviceMap
    DWORD access = 0, share = 0;
    std::vector<BYTE> request;  // the identify command's input, as sent
    int closed = 0;
    bool noAdapter = false;     // the adapter list fails
} g_drive;

const auto kDrive = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x4C4D0));
auto g_realCreateFile = &::CreateFileW;
auto g_realDeviceIoControl = &::DeviceIoControl;
auto g_realCloseHandle = &::CloseHandle;
auto g_realGetAdaptersInfo = &::GetAdaptersInfo;

HANDLE WINAPI DriveCreateFile(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                              DWORD flags, HANDLE model) {
    if (!name || std::wcscmp(name, L"\\\\.\\PhysicalDrive0") != 0)
        return g_realCreateFile(name, access, share, sa, disposition, flags, model);
    g_drive.access = access;
    g_drive.share = share;
    return g_drive.opens ? kDrive : INVALID_HANDLE_VALUE;
}

BOOL WINAPI DriveIoControl(HANDLE h, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD got,
                           LPOVERLAPPED overlapped) {
    if (h != kDrive) return g_realDeviceIoControl(h, code, in, inSize, out, outSize, got, overlapped);
    if (code == SMART_GET_VERSION && outSize >= sizeof(GETVERSIONINPARAMS)) {
        GETVERSIONINPARAMS version{};
        version.bVersion = 1;
        version.bIDEDeviceMap = g_drive.deviceMap;
        std::memcpy(out, &version, sizeof version);
        *got = sizeof version;
        return TRUE;
    }
    if (code == SMART_RCV_DRIVE_DATA && outSize >= 16 + 512) {
        g_drive.request.assign(static_cast<BYTE*>(in), static_cast<BYTE*>(in) + inSize);
        // The identify data: words 10 to 19 hold the serial number, each word
        // two characters, the first in its high byte.
        std::uint16_t words[256] = {};
        const char serial[] = "   WD-WCC4N123456   ";
        for (int i = 0; i < 10; ++i)
            words[10 + i] = static_cast<std::uint16_t>((serial[2 * i] << 8) | static_cast<BYTE>(serial[2 * i + 1]));
        std::memset(out, 0, 16);
        std::memcpy(static_cast<BYTE*>(out) + 16, words, sizeof words);
        *got = 16 + 512;
        return TRUE;
    }
    ::SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
}

BOOL WINAPI DriveCloseHandle(HANDLE h) {
    if (h != kDrive) return g_realCloseHandle(h);
    ++g_drive.closed;
    return TRUE;
}

ULONG WINAPI NoAdapters(PIP_ADAPTER_INFO info, PULONG size) {
    return g_drive.noAdapter ? ERROR_NO_DATA : g_realGetAdaptersInfo(info, size);
}

LONG InterceptDrive(bool on) {
    return Intercept(on, {Replacing(g_realCreateFile, &DriveCreateFile),
                          Replacing(g_realDeviceIoControl, &DriveIoControl),
                          Replacing(g_realCloseHandle, &DriveCloseHandle),
                          Replacing(g_realGetAdaptersInfo, &NoAdapters)});
}

// The request's structures as the system documents them: the input's 32
// bytes are its fields up to the buffer, the answer's data starts after the
// 16 bytes of size and driver status.
static_assert(sizeof(GETVERSIONINPARAMS) == 24 && sizeof(IDEREGS) == 8);
static_assert(sizeof(SENDCMDINPARAMS) == 33 && offsetof(SENDCMDINPARAMS, bBuffer) == 32);
static_assert(offsetof(SENDCMDINPARAMS, irDriveRegs) == 4 && offsetof(SENDCMDINPARAMS, bDriveNumber) == 12);
static_assert(offsetof(SENDCMDOUTPARAMS, bBuffer) == 16);

TEST(Identity, DiskSerialFromTheSmartIdentifyCommandElseTheProcessorAlone) {
    const std::wstring cpu = GetCpuText();
    ASSERT_TRUE(cpu.size() == 16 || cpu.size() == 32) << cpu.size();
    for (wchar_t c : cpu) EXPECT_TRUE((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'));
    EXPECT_EQ(GetDiskSerial(), L"");  // Wine's own drive answers no SMART request
    EXPECT_EQ(GetMachineIdentity(), cpu);

    ASSERT_EQ(InterceptDrive(true), NO_ERROR);
    const struct {
        bool opens;
        BYTE deviceMap;
        BYTE command;  // of the identify request; 0: none sent
        const wchar_t* serial;
    } cases[] = {
        {true, 0x01, 0xEC, L"WD-WCC4N123456"},  // an IDE disk: IDENTIFY DEVICE
        {true, 0x11, 0xA1, L"WD-WCC4N123456"},  // an ATAPI device: IDENTIFY PACKET DEVICE
        {true, 0x00, 0, L""},                   // no IDE device on the drive
        {false, 0x01, 0, L""},                  // the drive cannot be opened
    };
    for (const auto& c : cases) {
        g_drive = {};
        g_drive.opens = c.opens;
        g_drive.deviceMap = c.deviceMap;
        const std::wstring serial = GetDiskSerial();
        EXPECT_EQ(serial, c.serial) << int(c.deviceMap);
        EXPECT_EQ(g_drive.access, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
        EXPECT_EQ(g_drive.share, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE));
        EXPECT_EQ(g_drive.closed, c.opens ? 1 : 0);
        if (c.command) {
            // cBufferSize 512; features 0, sector count 1, sector number 1,
            // cylinder 0, drive-head 0xA0, the command; drive number 0.
            std::vector<BYTE> expected(32, 0);
            expected[1] = 2;
            expected[5] = expected[6] = 1;
            expected[9] = 0xA0;
            expected[10] = c.command;
            EXPECT_EQ(g_drive.request, expected) << int(c.deviceMap);
        } else {
            EXPECT_TRUE(g_drive.request.empty());
        }
    }
    g_drive = {};
    g_drive.deviceMap = 0x01;
    EXPECT_EQ(GetMachineIdentity(), L"WD-WCC4N123456|" + cpu);

    // No adapter list: no address, and the query still ends with its field.
    g_drive.noAdapter = true;
    std::wstring mac = L"kept";
    EXPECT_FALSE(GetMacString(mac));
    EXPECT_EQ(mac, L"kept");
    const std::wstring query = BuildIdentityQuery(483);
    EXPECT_EQ(query.substr(query.size() - 5), L"&mac=");
    EXPECT_EQ(InterceptDrive(false), NO_ERROR);
}

TEST(Identity, QueryIsStableAcrossThreadsOfOneMachine) {
    std::wstring mac;
    if (GetMacString(mac)) {
        EXPECT_EQ(mac.size(), 17u);
    }
    std::wstring first, second;
    std::thread([&] { first = BuildIdentityQuery(483); }).join();
    std::thread([&] { second = BuildIdentityQuery(483); }).join();
    EXPECT_EQ(first, second);  // each thread's generator starts from state 1
    EXPECT_EQ(first.find(L"agid=0&cid=3000&aid=2&game=lmdr&did="), 0u);
    const auto vidAt = first.find(L"&vid=") + 5;
    EXPECT_EQ(first.find(L"&mac="), vidAt + 32);  // 32 digest digits
    EXPECT_EQ(first.substr(first.find(L"&mac=") + 5), mac);
    // The digest is the text digest taken three times, the middle one salted.
    const auto wide = [](const std::string& s) { return std::wstring(s.begin(), s.end()); };
    EXPECT_EQ(Md5Hex(L"abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(first.substr(vidAt, 32), wide(Md5Hex(wide(Md5Hex(L"3000" + wide(Md5Hex(GetMachineIdentity())))))));
    EXPECT_EQ(BuildIdentityQuery(20).size(), 19u);
}

}  // namespace
