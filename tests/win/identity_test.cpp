// Machine identity and sealing on a real system (here: Wine).
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <thread>

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

TEST(Identity, ProcessorTextAloneWhenTheDiskAnswersNoSmartRequest) {
    const std::wstring cpu = GetCpuText();
    ASSERT_TRUE(cpu.size() == 16 || cpu.size() == 32) << cpu.size();
    for (wchar_t c : cpu) EXPECT_TRUE((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'));
    const std::wstring disk = GetDiskSerial();
    EXPECT_EQ(GetMachineIdentity(), disk.empty() ? cpu : disk + L"|" + cpu);
    EXPECT_TRUE(disk.empty());  // Wine has no SMART interface
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
    EXPECT_EQ(BuildIdentityQuery(20).size(), 19u);
}

}  // namespace
