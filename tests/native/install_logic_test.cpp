#include "install/install_logic.h"
#include "install/icon_description.h"

#include <gtest/gtest.h>

#include <array>

namespace {

// A bitmap-header icon image of w x w at the given depth, with a nonzero
// size-of-image field and some pixel bytes.
IconImage BmpImage(int w, int bits, std::size_t payload) {
    IconImage img;
    img.data.assign(40 + payload, 0xAB);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) img.data[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, static_cast<std::uint32_t>(w));
    put32(8, static_cast<std::uint32_t>(2 * w));
    img.data[12] = 1;
    img.data[13] = 0;
    img.data[14] = static_cast<std::uint8_t>(bits);
    img.data[15] = 0;
    put32(20, 0x1234);
    return img;
}

std::uint32_t At32(const std::vector<std::uint8_t>& d, std::size_t at) {
    return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (static_cast<std::uint32_t>(d[at + 3]) << 24);
}

TEST(IconFile, HeaderEntriesAndImages) {
    const std::vector<IconImage> images = {BmpImage(16, 4, 100), BmpImage(32, 32, 300)};
    const auto file = BuildIconFile(images);
    ASSERT_EQ(file.size(), 6u + 2 * 16 + 140 + 340);
    EXPECT_EQ(file[2], 1);  // type icon
    EXPECT_EQ(file[4], 2);  // two images
    // First entry: 16 x 16, 16 colours (depth 4), planes 1, 4 bits, size, offset.
    EXPECT_EQ(file[6], 16);
    EXPECT_EQ(file[7], 16);
    EXPECT_EQ(file[8], 16);
    EXPECT_EQ(file[10], 1);
    EXPECT_EQ(file[12], 4);
    EXPECT_EQ(At32(file, 14), 140u);
    EXPECT_EQ(At32(file, 18), 38u);
    // Second: 32-bit colour has a colour count of 0; it follows the first.
    EXPECT_EQ(file[22], 32);
    EXPECT_EQ(file[24], 0);
    EXPECT_EQ(At32(file, 34), 38u + 140u);
    // The images as stored, with the size-of-image field zeroed.
    EXPECT_EQ(At32(file, 38 + 20), 0u);
    EXPECT_EQ(file[38 + 40], 0xAB);
    EXPECT_EQ(At32(file, 178 + 20), 0u);
}

TEST(IconFile, PngImagesKeepTheirBytes) {
    IconImage png;
    png.data = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                0, 0, 1, 0, 0, 0, 1, 0, 8, 6, 0, 0, 0};
    const IconEntry e = ReadIconEntry(png.data);
    EXPECT_TRUE(e.valid);
    EXPECT_EQ(e.width, 256);
    const auto file = BuildIconFile({png});
    EXPECT_EQ(file[6], 0);  // 256 is written as 0
    EXPECT_TRUE(std::equal(png.data.begin(), png.data.end(), file.begin() + 22));
    EXPECT_FALSE(ReadIconEntry({1, 2, 3}).valid);
}

TEST(SelfDelete, BothFormsOfTheScriptWithAnyPathSafe) {
    const std::string exe = "C:\\ProgramData\\4286\\GameLogin\\Lumendor.exe";
    const std::string folder = FolderOfPath(exe);
    EXPECT_EQ(folder, "C:\\ProgramData\\4286\\GameLogin");
    const std::string head = "setlocal DisableDelayedExpansion\r\ncd\\\r\n:delexe\r\nping -n 1 127.0.0.1\r\n";
    EXPECT_EQ(SelfDeleteScript(exe, folder, "C:\\T\\Del1.tmp.bat", true),
              head + "del \"" + exe + "\"\r\nif exist \"" + exe + "\" goto :delexe\r\ndel \"" + folder +
                  "\" /Q /F /A\r\nrd \"" + folder + "\"\r\ndel \"C:\\T\\Del1.tmp.bat\"\r\n");
    EXPECT_EQ(SelfDeleteScript(exe, folder, "s.bat", false),
              head + "del \"" + exe + "\"\r\nif exist \"" + exe + "\" goto :delexe\r\ndel \"s.bat\"\r\n");
    // "%" is doubled so that no variable expands; "&", "^", "!" and blanks
    // stay as they are inside the quotes.
    EXPECT_EQ(SelfDeleteScript("C:\\a%PATH%b & ^!\\x.exe", "C:\\a%PATH%b & ^!", "C:\\T\\%TEMP%.bat", true),
              head + "del \"C:\\a%%PATH%%b & ^!\\x.exe\"\r\nif exist \"C:\\a%%PATH%%b & ^!\\x.exe\" goto :delexe\r\n"
                     "del \"C:\\a%%PATH%%b & ^!\" /Q /F /A\r\nrd \"C:\\a%%PATH%%b & ^!\"\r\ndel \"C:\\T\\%%TEMP%%.bat\"\r\n");
    // A path the script cannot hold exactly gets no script: a wildcard (a
    // character the code page lacks) would delete other files.
    for (const auto& [e, f, b] : std::vector<std::array<std::string, 3>>{
             {"C:\\??\\x.exe", "C:\\??", "s.bat"}, {"x.exe", "C:\\*", "s.bat"}, {"x.exe", "f", "C:\\?.bat"},
             {"", "f", "s.bat"}, {"x\"y.exe", "f", "s.bat"}, {std::string(1000, '%'), "f", "s.bat"}})
        EXPECT_EQ(SelfDeleteScript(e, f, b, true), "") << e << " " << f << " " << b;
    EXPECT_NE(SelfDeleteScript("x.exe", "C:\\*", "s.bat", false), "");  // the folder is not in the second form
    EXPECT_EQ(FolderOfPath("noslash.exe"), "noslash.exe");
}

TEST(Shortcuts, PathsNamesAndTexts) {
    EXPECT_EQ(DesktopLinkPath(L"C:\\users\\Public\\Desktop", L"Lumendor"), L"C:\\users\\Public\\Desktop\\Lumendor.lnk");
    EXPECT_EQ(ProgramsLinkPath(L"C:\\P", L"卸载 Lumendor"), L"C:\\P\\4286登录器\\卸载 Lumendor.lnk");
    EXPECT_EQ(QuickLaunchLinkPath(L"C:\\R", L"Lumendor"),
              L"C:\\R\\Microsoft\\Internet Explorer\\Quick Launch\\Lumendor.lnk");
    EXPECT_EQ(LegacyDesktopLinkPath(L"C:\\users\\me\\Documents", L"C:\\users\\Public\\Desktop", L"Lumendor"),
              L"C:\\users\\me\\Desktop\\Lumendor.lnk");
    EXPECT_EQ(UninstallLinkName(L"星光"), L"卸载 星光");
    EXPECT_EQ(DesktopLinkDescription(L"portal.example"), L"portal.example中国最大的网页游戏平台");
    EXPECT_EQ(UninstallDoneMessage(L"Lumendor"), L"Lumendor已成功移除，部分文件将在程序退出\r\n或计算机重启后自行删除");
    EXPECT_EQ(ClassesRootKeyName(L"Lumendor.EXE"), L"loginerlumendor");
    EXPECT_EQ(ClassesRootKeyName(L"My.Game.exe"), L"loginermy.game");
}

}  // namespace

namespace {

TEST(IconRefresh, JsonCutNamesAndUninstallName) {
    EXPECT_EQ(CutJsonObject("callback({\"a\":{\"b\":1}});"), "{\"a\":{\"b\":1}}");
    EXPECT_EQ(CutJsonObject("no object"), "");
    EXPECT_EQ(CutJsonObject("}{"), "{");  // from the first "{" to the last "}" only when in order
    // The portal's name becomes a link's file name in three folders.
    const struct {
        std::wstring name;
        bool accepted;
    } names[] = {
        {L"星光岛", true}, {std::wstring(31, L'n'), true}, {L"Moon v1.2 (beta)", true}, {L"a.b", true},
        {L"COM10", true}, {L"console", true},
        {std::wstring(32, L'n'), false}, {L"", false},
        {L"..\\Startup\\x", false}, {L"a/b", false}, {L"a:b", false}, {L"what?", false}, {L"\"q\"", false},
        {L"<x>", false}, {L"a|b", false}, {L"a*", false}, {L"tab\there", false},
        {L"name.", false}, {L"name ", false}, {L"...", false},
        {L"CON", false}, {L"nul.txt", false}, {L"Com1", false}, {L"LPT9 .lnk", false}, {L"aux", false},
        // Names the settings file would give back otherwise.
        {L" lead", false}, {L"'quoted'", false}, {L"\tx", false}, {L"it's", true},
    };
    for (const auto& n : names) EXPECT_EQ(AcceptIconName(n.name), n.accepted) << std::string(n.name.begin(), n.name.end());
    EXPECT_EQ(RefreshUninstallLinkName(std::wstring(31, L'n')), L"卸载 " + std::wstring(28, L'n'));
    EXPECT_EQ(RefreshUninstallLinkName(L"星光岛"), L"卸载 星光岛");
    // Links are deleted by a stored name only when the refresh could have
    // written it.
    EXPECT_EQ(StoredLinkName(L"星光岛"), L"星光岛");
    EXPECT_EQ(StoredLinkName(L""), L"Lumendor");
    EXPECT_EQ(StoredLinkName(L"..\\..\\Startup\\x"), L"Lumendor");
    EXPECT_EQ(StoredLinkName(std::wstring(40, L'n')), L"Lumendor");
    // A description is applied only when its name and time read back as given.
    const struct {
        std::wstring name, time;
        bool applied;
    } descriptions[] = {
        {L"星光岛", L"20261208", true}, {L"星光岛", L"", true}, {L"星光岛", std::wstring(63, L'7'), true},
        {L" 星光岛", L"1", false}, {L"星光岛", L" 1", false}, {L"星光岛", L"'1'", false}, {L"星光岛", L"1\r\n", false},
        {L"星光岛", std::wstring(64, L'7'), false}, {L"'x'", L"1", false},
    };
    for (const auto& d : descriptions) EXPECT_EQ(AppliesIconDescription(d.name, d.time), d.applied) << d.time.size();
}

}  // namespace

namespace {

TEST(IconRefresh, DescriptionFromReply) {
    const struct {
        std::string reply;
        std::wstring url, name, time;
    } good[] = {
        {R"({"iconUrl":"http://h/i.ico","iconName":"星光岛","time":"20261208"})", L"http://h/i.ico", L"星光岛", L"20261208"},
        // A callback around the object, members in any order, extra members.
        {R"(cb({"time":"7","x":[1,{"y":2}],"iconName":"n","iconUrl":"u"});)", L"u", L"n", L"7"},
        {R"({"iconUrl":"","iconName":"","time":""})", L"", L"", L""},
        {R"({"iconUrl":"u","iconName":"n","time":"t"} trailing {)", L"u", L"n", L"t"},
        // Bytes that are not UTF-8 become replacement characters, not a failure.
        {"{\"iconUrl\":\"u\",\"iconName\":\"a\xff\",\"time\":\"t\"}", L"u", L"a\uFFFD", L"t"},
    };
    for (const auto& c : good) {
        IconDescription d;
        ASSERT_TRUE(ParseIconDescription(c.reply, d)) << c.reply;
        EXPECT_EQ(d.url, c.url) << c.reply;
        EXPECT_EQ(d.name, c.name) << c.reply;
        EXPECT_EQ(d.time, c.time) << c.reply;
    }
    const std::string bad[] = {
        // Every member must be there and be a string.
        R"({"iconUrl":"u","iconName":"n"})",
        R"({"iconUrl":"u","iconName":"n","time":20261208})",
        R"({"iconUrl":null,"iconName":"n","time":"t"})",
        R"({"iconUrl":["u"],"iconName":"n","time":"t"})",
        // Not an object, or not JSON at all.
        R"(["iconUrl","iconName","time"])",
        R"({"iconUrl":"u","iconName":"n","time":"t")",
        R"({"a":1} {"iconUrl":"u","iconName":"n","time":"t"})",
        "<html>502 Bad Gateway</html>",
        "",
        // Nesting deeper than the reader allows makes it throw.
        "{\"iconUrl\":\"u\",\"iconName\":\"n\",\"time\":\"t\",\"x\":" + std::string(2000, '[') + "}",
    };
    for (const auto& reply : bad) {
        IconDescription d;
        EXPECT_FALSE(ParseIconDescription(reply, d)) << reply;
    }

    // The address and the stamp are cut; the name is judged later, whole.
    const std::string longUrl(300, 'u'), longTime(100, '9'), longName(40, 'n');
    IconDescription d;
    ASSERT_TRUE(ParseIconDescription(
        "{\"iconUrl\":\"" + longUrl + "\",\"iconName\":\"" + longName + "\",\"time\":\"" + longTime + "\"}", d));
    EXPECT_EQ(d.url, std::wstring(255, L'u'));
    EXPECT_EQ(d.time, std::wstring(63, L'9'));
    EXPECT_EQ(d.name, std::wstring(40, L'n'));
}

}  // namespace
