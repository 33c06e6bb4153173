#include "stats/identity_win.h"

#include "framework/text_win.h"

#include <cpuid.h>
#include <iphlpapi.h>
#include <wincrypt.h>
#include <winioctl.h>

#include <cstring>

#include "settings/settings_win.h"
#include "stats/beacons.h"
#include "stats/identity.h"
#include "stats/md5.h"

namespace {

// The sealing key (its first 16 characters) and initialisation vector.
constexpr char kSealKeyText[] = "Vb7;Kq2mTz{Rw8,pLx~Hd:(nJs;46c+e";
constexpr char kSealIv[] = "ZZZZZZZZZZZZZZZZ";

thread_local int t_lastAcquirePath = -1;

}  // namespace

std::wstring GetDiskSerial() {
    wchar_t device[32];
    wsprintfW(device, L"\\\\.\\PhysicalDrive%d", 0);
    HANDLE drive = ::CreateFileW(device, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (drive == INVALID_HANDLE_VALUE) return {};

    std::wstring serial;
    GETVERSIONINPARAMS version{};
    DWORD got = 0;
    if (::DeviceIoControl(drive, SMART_GET_VERSION, nullptr, 0, &version, sizeof version, &got, nullptr) &&
        version.bIDEDeviceMap != 0) {
        const BYTE command = (version.bIDEDeviceMap & 0x10) ? 0xA1 : 0xEC;
        SENDCMDINPARAMS in{};
        in.cBufferSize = 512;
        in.irDriveRegs.bFeaturesReg = 0;
        in.irDriveRegs.bSectorCountReg = 1;
        in.irDriveRegs.bSectorNumberReg = 1;
        in.irDriveRegs.bCylLowReg = 0;
        in.irDriveRegs.bCylHighReg = 0;
        in.irDriveRegs.bDriveHeadReg = 0xA0;  // drive 0 is even
        in.irDriveRegs.bCommandReg = command;
        in.bDriveNumber = 0;
        BYTE out[528] = {};
        if (::DeviceIoControl(drive, SMART_RCV_DRIVE_DATA, &in, 32, out, sizeof out, &got, nullptr)) {
            std::uint16_t words[256];
            std::memcpy(words, out + 16, sizeof words);
            serial = WideFromAnsi(SerialFromIdentify(words));
        }
    }
    ::CloseHandle(drive);
    return serial;
}

std::wstring GetCpuText() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    __cpuid(1, eax, ebx, ecx, edx);
    const unsigned edx1 = edx, eax1 = eax;
    const bool serialPresent = (edx1 & 0x40000) != 0;
    unsigned edx3 = 0, ecx3 = 0;
    if (serialPresent) {
        __cpuid(3, eax, ebx, ecx, edx);
        edx3 = edx;
        ecx3 = ecx;
    }
    return FormatCpuText(edx1, eax1, serialPresent, edx3, ecx3);
}

std::wstring GetMachineIdentity() {
    std::wstring identity = GetDiskSerial();
    if (!identity.empty()) identity += L"|";
    identity += GetCpuText();
    if (identity.size() > 127) identity.resize(127);
    return identity;
}

bool GetMacString(std::wstring& output) {
    alignas(8) BYTE buffer[3240];
    ULONG size = sizeof buffer;
    auto* info = reinterpret_cast<IP_ADAPTER_INFO*>(buffer);
    if (::GetAdaptersInfo(info, &size) != ERROR_SUCCESS) return false;
    output = FormatMac(info->Address);
    return true;
}

// The text's ANSI bytes, as many as it has characters.
std::string AnsiOfLength(const std::wstring& text) {
    std::string ansi = AnsiFromWide(text);
    if (ansi.size() > text.size()) ansi.resize(text.size());
    return ansi;
}

std::string Md5Hex(const std::wstring& text) {
    const std::string ansi = AnsiOfLength(text);
    return Md5HexOfBytes(ansi.data(), ansi.size());
}

std::wstring BuildIdentityQuery(std::size_t capacity) {
    const std::wstring identity = GetMachineIdentity();
    std::wstring mac;
    GetMacString(mac);
    const std::wstring did = BuildDid(identity, ThreadRand());
    return FormatIdentityQuery(did, ComputeVid(AnsiOfLength(identity)), mac, capacity);
}

int LastSealAcquirePath() { return t_lastAcquirePath; }

bool SealPayload(const BYTE* data, DWORD count, SealedBytes& out) {
    out = {};
    t_lastAcquirePath = -1;
    HCRYPTPROV provider = 0;
    if (::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_SILENT)) {
        t_lastAcquirePath = 0;
    } else if (::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
        // No default key container here (a fresh profile): an imported
        // plain-text key needs none.
        t_lastAcquirePath = 1;
    } else {
        return false;
    }

    struct {
        BLOBHEADER header;
        DWORD keyLength;
        BYTE key[16];
    } blob{};
    blob.header.bType = PLAINTEXTKEYBLOB;
    blob.header.bVersion = CUR_BLOB_VERSION;
    blob.header.reserved = 0;
    blob.header.aiKeyAlg = CALG_AES_128;
    blob.keyLength = 16;
    std::memcpy(blob.key, kSealKeyText, 16);

    HCRYPTKEY key = 0;
    if (!::CryptImportKey(provider, reinterpret_cast<const BYTE*>(&blob), sizeof blob, 0, 0, &key)) {
        ::CryptReleaseContext(provider, 0);
        return false;
    }
    if (!::CryptSetKeyParam(key, KP_IV, reinterpret_cast<const BYTE*>(kSealIv), 0)) {
        ::CryptDestroyKey(key);
        ::CryptReleaseContext(provider, 0);
        return false;
    }
    const DWORD sealedSize = (count / 16 + 1) * 16;
    std::vector<BYTE> buffer(sealedSize + 2, 0);
    if (count) std::memcpy(buffer.data(), data, count);
    DWORD length = count;
    const bool ok = ::CryptEncrypt(key, 0, TRUE, 0, buffer.data(), &length, sealedSize) != FALSE;
    ::CryptDestroyKey(key);
    ::CryptReleaseContext(provider, 0);
    if (!ok) return false;
    buffer.resize(length + 2);
    buffer[length] = buffer[length + 1] = 0;
    out.bytes = std::move(buffer);
    out.count = length;
    return true;
}

bool StoreSealedEntry(const std::wstring& argument, const std::wstring& path) {
    // The field between the first and the second "|" of the decoded text.
    const std::wstring decoded = WideFromAnsi(PercentDecode(AnsiFromWide(argument)));
    std::wstring field;
    const auto first = decoded.find(L'|');
    if (first != std::wstring::npos) {
        const auto second = decoded.find(L'|', first + 1);
        if (second != std::wstring::npos) field = decoded.substr(first + 1, second - first - 1);
    }

    SealedBytes sealedKey, sealedValue;
    if (!SealPayload(reinterpret_cast<const BYTE*>(field.data()), static_cast<DWORD>(field.size() * 2), sealedKey) ||
        !SealPayload(reinterpret_cast<const BYTE*>(argument.data()), static_cast<DWORD>(argument.size() * 2),
                     sealedValue))
        return false;

    // The sealed key bytes read as UTF-16 code units up to the first zero unit.
    std::wstring keyText;
    for (std::size_t i = 0; i + 1 < sealedKey.bytes.size(); i += 2) {
        const wchar_t unit = static_cast<wchar_t>(sealedKey.bytes[i] | (sealedKey.bytes[i + 1] << 8));
        if (!unit) break;
        keyText.push_back(unit);
    }
    if (keyText.empty()) return false;  // nothing to name the entry by

    CIni ini(path.c_str(), kSettingsSection);
    return ini.WriteBytes(sealedValue.count, keyText.c_str(), sealedValue.bytes.data()) != FALSE;
}
