#include "stats/identity.h"

#include <gtest/gtest.h>

#include "stats/md5.h"

namespace {

TEST(Md5, PublishedTestSuite) {
    const struct {
        const char* text;
        const char* digest;
    } suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : suite) EXPECT_EQ(Md5HexOfBytes(c.text, std::char_traits<char>::length(c.text)), c.digest);
}

TEST(Md5, PiecewiseUpdatesAcrossBlockBoundaries) {
    const std::string text(200, 'q');
    for (std::size_t step : {1u, 7u, 63u, 64u, 65u}) {
        CMd5 md5;
        for (std::size_t at = 0; at < text.size(); at += step) md5.Update(text.data() + at, std::min(step, text.size() - at));
        const auto digest = md5.Final();
        CMd5 whole;
        whole.Update(text.data(), text.size());
        EXPECT_EQ(digest, whole.Final()) << step;
    }
}

TEST(RuntimeRand, StartsLikeTheRuntimeInEveryThread) {
    CRuntimeRand rng;
    EXPECT_EQ(rng.Next(), 41);
    EXPECT_EQ(rng.Next(), 18467);
    EXPECT_EQ(rng.Next(), 6334);
    EXPECT_EQ(rng.Next(), 26500);
}

TEST(Did, GroupsReplaceZerosWithOneLetterPerCharacter) {
    EXPECT_EQ(DidGroup(L'A', 41), L"p455");      // 65 * 7 = 0455
    EXPECT_EQ(DidGroup(L'0', 0), L"a336");       // 48 * 7 = 0336
    EXPECT_EQ(DidGroup(L'|', 27), L"b868");      // 124 * 7 = 0868
    EXPECT_EQ(DidGroup(wchar_t(2000), 3), L"14dd0");  // five digits: only the first four are looked at
    EXPECT_EQ(DidGroup(wchar_t(1), 25), L"zzz7");

    CRuntimeRand rng;
    EXPECT_EQ(BuildDid(L"AB", rng), L"p455h462");  // draws 41, then 18467 (mod 26 = 7)
    CRuntimeRand again;
    EXPECT_EQ(BuildDid(L"AB", again), L"p455h462");  // same state, same text
}

TEST(Did, IsCutToItsCapacity) {
    CRuntimeRand rng;
    const std::wstring did = BuildDid(std::wstring(127, L'Z'), rng);
    EXPECT_EQ(did.size(), kDidCapacity - 1);
}

TEST(Vid, ThreeChainedDigests) {
    // Expected values computed independently (Python's hashlib).
    EXPECT_EQ(ComputeVid("BFEBFBFF000906EA"), "86f1e078e44be075c5bbfa9cb0cc876b");
    EXPECT_EQ(ComputeVid("WD-WCC4N1234567|BFEBFBFF000906EA"), "50ab3125409214ef68f3fc5b9612e0a5");
}

TEST(IdentityQuery, FieldsInOrderAndCutToCapacity) {
    const std::wstring q = FormatIdentityQuery(L"p455", "0123456789abcdef0123456789abcdef", L"00:11:22:AA:BB:CC", 483);
    EXPECT_EQ(q, L"agid=0&cid=3000&aid=2&game=lmdr&did=p455&vid=0123456789abcdef0123456789abcdef&mac=00:11:22:AA:BB:CC");
    EXPECT_EQ(q.size(), 95u + 4u);  // 46 fixed, 32 vid, 17 mac, four per identity character
    EXPECT_EQ(FormatIdentityQuery(L"p455", "x", L"", 10), L"agid=0&ci");
    EXPECT_EQ(FormatIdentityQuery(L"", "", L"", 0), L"");
}

TEST(MachineTexts, MacCpuAndSerial) {
    const std::uint8_t mac[6] = {0x00, 0x1a, 0x2B, 0xff, 0x09, 0x10};
    EXPECT_EQ(FormatMac(mac), L"00:1A:2B:FF:09:10");
    EXPECT_EQ(FormatCpuText(0xBFEBFBFF, 0x000906EA, false, 0, 0), L"BFEBFBFF000906EA");
    EXPECT_EQ(FormatCpuText(0x1, 0x2, true, 0x3, 0xABC), L"00000001000000020000000300000ABC");

    std::uint16_t words[256] = {};
    const char serial[] = "   WD-WCC4N1234567  ";  // 20 characters, padded
    for (int i = 0; i < 10; ++i)
        words[10 + i] = static_cast<std::uint16_t>((static_cast<unsigned char>(serial[2 * i]) << 8) |
                                                   static_cast<unsigned char>(serial[2 * i + 1]));
    EXPECT_EQ(SerialFromIdentify(words), "WD-WCC4N1234567");
    std::uint16_t blank[256] = {};
    for (int i = 10; i < 20; ++i) blank[i] = 0x2020;
    EXPECT_EQ(SerialFromIdentify(blank), "");
}

}  // namespace
