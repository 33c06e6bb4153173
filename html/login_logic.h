// What the login page drives, as plain functions: command URLs, the account
// hand-over, the page address, the portal's auto-login address. Portable.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// --- command URLs -------------------------------------------------------------

// "app:" exactly (case-sensitive) at the start.
bool IsCommandUrl(std::wstring_view url);
// The eight characters from position 6 (fewer when the address is shorter).
std::wstring CommandName(std::wstring_view url);
// The characters from position k to the end (empty when shorter).
std::wstring TextFrom(std::wstring_view url, std::size_t k);

enum class LoginCommand {
    None,
    LoadGame,   // "loadgame"
    ExitGame,   // "exitgame"
    Minimize,   // "minimize"
    Redirect,   // "redrict:"
    AutoRunOff, // "autorun0"
    AutoRunOn,  // "autorun1"
    SaveInfo,   // "saveinfo"
    ReadInfo,   // "readinfo"
    SetupKey,   // "setupkey"
    ReadKey,    // "read_key"
    LoginNum,   // "loginnum"
    SetPauth,   // "setpauth"
};
LoginCommand ParseLoginCommand(std::wstring_view name);

// Where the arguments of the storing and redirect commands begin.
inline constexpr std::size_t kStoreArgumentAt = 19;
inline constexpr std::size_t kRedirectArgumentAt = 14;

// --- external login -------------------------------------------------------------

enum class ExtLoginKind { None, QZone, Weibo, Weixin };
// Which external-login start address the navigation address contains
// anywhere (case-sensitive).
ExtLoginKind FindExtLoginStart(std::wstring_view url, std::wstring_view extLoginHost);
// Where the first of them begins in the address (npos when none): the
// window opens the address from there on, never what a page put before it.
std::size_t ExtLoginStartAt(std::wstring_view url, std::wstring_view extLoginHost);
// The external-login window's title for an address.
std::wstring ExtLoginTitle(std::wstring_view url, std::wstring_view extLoginHost);

// --- account hand-over ("loadgame") -------------------------------------------

struct LoadGameSplit {
    std::wstring tail;        // T: after the "|"
    std::wstring serverText;  // X: from position 15 up to the "|"
    std::wstring gameCode;    // G: "logingame=..."
    std::wstring gameUrl;     // T without "&" + G
};
LoadGameSplit SplitLoadGame(std::wstring_view url);

// A percent-encoded server text: its bytes (in the ANSI code page) are
// unescaped and read as UTF-8. Empty when it does not fit 255 bytes. A "|"
// it decodes to is dropped: the title it makes is one field of the
// hand-over, whose fields "||" separates.
std::wstring DecodeServerText(std::string_view ansiBytes);

// A game address a page may hand over: "http://" or "https://" (any case)
// and a host. Other schemes (file:, res:, javascript:, a share) are refused.
bool IsWebAddress(std::wstring_view url);
// Whether an address is a page of the host: "http://" or "https://" (any
// case), then exactly that host (with its port, if it has one), then the
// end or one of "/", "?" and "#". Letter case does not count in the host.
bool AddressOnHost(std::wstring_view url, std::wstring_view host);

struct PageTitle {
    std::wstring server;   // A: the server number
    std::wstring game;     // D: the game name
    std::wstring account;  // B: the account
    std::wstring title;    // A + "服-" + D + "-" + B
};
PageTitle BuildPageTitle(std::wstring_view serverText);

// The hand-over text: title, Pauth cookie, ptusertype cookie, game code,
// joined by "||".
std::wstring BuildLoginRecord(std::wstring_view title, std::wstring_view pauthCookie,
                              std::wstring_view userTypeCookie, std::wstring_view gameCode);

struct LoginRecordFields {
    std::wstring title, pauth, userType, game;
};
// Splits at the first three "||" and cuts the prefixes "Pauth=",
// "ptusertype=" and "logingame="; a field without its prefix reads empty.
LoginRecordFields ParseLoginRecord(std::wstring_view record);

std::wstring DuplicateLoginMessage(std::wstring_view account, std::wstring_view server);

// --- the login page address ------------------------------------------------------

std::wstring LoginPageBaseUrl(std::wstring_view portalHost);
std::wstring CompleteLoginPageUrl(std::wstring_view base, std::wstring_view identityQuery, bool justInstalled,
                                  int openPageCount, bool autoRunOn);
// InstallTag read at construction: true when it begins with "1".
bool JustInstalledFromTag(std::wstring_view installTag);
// The Run value's data: auto-start is on unless it is empty or begins with
// a zero character.
bool AutoRunDataIsOn(std::wstring_view data);

// --- other commands ---------------------------------------------------------------

// "loginnum": the stored count's leading number plus one, as "%u".
std::wstring NextLoginCount(std::wstring_view stored);
// "redrict:": the portal's auto-login address, cut to 2047 characters.
std::wstring FormatAutoLoginUrl(std::wstring_view portalHost, std::wstring_view pauthCookie,
                                std::wstring_view encodedTarget, std::wstring_view userTypeCookie);
// "setpauth": the value after "pauth=" in the text after the first "|".
std::wstring ExtractSetpauthValue(std::wstring_view url);
// Mouse events on the page drag the window, except in this strip.
bool InDragExclusion(int x, int y);
