#include "html/login_logic.h"

#include <algorithm>

#include "settings/settings_keys.h"
#include "stats/beacons.h"

namespace {

std::wstring Substr(std::wstring_view s, std::size_t pos, std::size_t count = std::wstring_view::npos) {
    if (pos >= s.size()) return {};
    return std::wstring(s.substr(pos, count));
}

const std::wstring kStartPaths[] = {L"/qzone/redirectToAuthorize.do?params=", L"/weibo/redirectToAuthorize.do?params=",
                                    L"/weixin/redirectToAuthorize.do?params="};

// ASCII letters compared without their case (scheme and host names).
bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
    if (text.size() < prefix.size()) return false;
    const auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[i]) != lower(prefix[i])) return false;
    return true;
}

}  // namespace

bool IsCommandUrl(std::wstring_view url) { return url.substr(0, 4) == L"app:"; }

std::wstring CommandName(std::wstring_view url) { return Substr(url, 6, 8); }

std::wstring TextFrom(std::wstring_view url, std::size_t k) { return Substr(url, k); }

LoginCommand ParseLoginCommand(std::wstring_view name) {
    static const struct {
        const wchar_t* name;
        LoginCommand command;
    } table[] = {
        {L"loadgame", LoginCommand::LoadGame},   {L"exitgame", LoginCommand::ExitGame},
        {L"minimize", LoginCommand::Minimize},   {L"redrict:", LoginCommand::Redirect},
        {L"autorun0", LoginCommand::AutoRunOff}, {L"autorun1", LoginCommand::AutoRunOn},
        {L"saveinfo", LoginCommand::SaveInfo},   {L"readinfo", LoginCommand::ReadInfo},
        {L"setupkey", LoginCommand::SetupKey},   {L"read_key", LoginCommand::ReadKey},
        {L"loginnum", LoginCommand::LoginNum},   {L"setpauth", LoginCommand::SetPauth},
    };
    for (const auto& entry : table)
        if (name == entry.name) return entry.command;
    return LoginCommand::None;
}

ExtLoginKind FindExtLoginStart(std::wstring_view url, std::wstring_view host) {
    const ExtLoginKind kinds[] = {ExtLoginKind::QZone, ExtLoginKind::Weibo, ExtLoginKind::Weixin};
    for (int i = 0; i < 3; ++i)
        if (url.find(L"http://" + std::wstring(host) + kStartPaths[i]) != std::wstring_view::npos) return kinds[i];
    return ExtLoginKind::None;
}

std::size_t ExtLoginStartAt(std::wstring_view url, std::wstring_view host) {
    std::size_t first = std::wstring_view::npos;
    for (const std::wstring& path : kStartPaths)
        first = std::min(first, url.find(L"http://" + std::wstring(host) + path));
    return first;
}

bool IsWebAddress(std::wstring_view url) {
    for (const std::wstring_view scheme : {std::wstring_view(L"http://"), std::wstring_view(L"https://")})
        if (url.size() > scheme.size() && StartsWithNoCase(url, scheme) && url[scheme.size()] != L'/') return true;
    return false;
}

bool AddressOnHost(std::wstring_view url, std::wstring_view host) {
    if (host.empty()) return false;
    for (const std::wstring_view scheme : {std::wstring_view(L"http://"), std::wstring_view(L"https://")}) {
        if (!StartsWithNoCase(url, scheme)) continue;
        const std::wstring_view rest = url.substr(scheme.size());
        const std::wstring_view authority = rest.substr(0, rest.find_first_of(L"/?#"));
        return authority.size() == host.size() && StartsWithNoCase(authority, host);
    }
    return false;
}

std::wstring ExtLoginTitle(std::wstring_view url, std::wstring_view host) {
    if (url.find(L"http://" + std::wstring(host) + kStartPaths[0]) != std::wstring_view::npos) return L"QQ账号安全登录";
    if (url.find(L"http://" + std::wstring(host) + kStartPaths[1]) != std::wstring_view::npos)
        return L"新浪微博账号安全登录";
    return L"微信账号安全登录";
}

LoadGameSplit SplitLoadGame(std::wstring_view url) {
    LoadGameSplit out;
    std::size_t s = std::wstring_view::npos;
    if (url.size() > 15) s = url.find(L'|', 15);
    if (s != std::wstring_view::npos) {
        out.tail = Substr(url, s + 1);
        out.serverText = Substr(url, 15, s - 15);
    }
    const auto at = out.tail.find(L"logingame=");
    out.gameCode = at == std::wstring::npos ? std::wstring() : out.tail.substr(at);
    // A tail that is nothing but a game code counts as one without.
    if (out.gameCode.empty() || out.gameCode == out.tail) out.gameCode = L"logingame=4286";
    out.gameUrl = out.tail;
    const std::wstring remove = L"&" + out.gameCode;
    for (std::size_t p; (p = out.gameUrl.find(remove)) != std::wstring::npos;) out.gameUrl.erase(p, remove.size());
    return out;
}

std::wstring DecodeServerText(std::string_view ansiBytes) {
    if (ansiBytes.size() > 255) return {};
    std::wstring text = Utf8ToUtf16(PercentDecode(ansiBytes));
    std::erase(text, L'|');
    if (text.size() > 255) text.resize(255);
    return text;
}

PageTitle BuildPageTitle(std::wstring_view x) {
    PageTitle t;
    const auto i = x.find(L"服-");
    if (i != std::wstring_view::npos) t.server.assign(x.substr(0, i));
    const long long j = i == std::wstring_view::npos ? 1 : static_cast<long long>(i) + 2;
    long long k = -1;
    if (j >= 0 && j < static_cast<long long>(x.size())) {
        const auto found = x.find(L'-', static_cast<std::size_t>(j));
        k = found == std::wstring_view::npos ? -1 : static_cast<long long>(found);
    }
    if (k - j > 0) t.game.assign(x.substr(static_cast<std::size_t>(j), static_cast<std::size_t>(k - j)));
    t.account.assign(k == -1 ? x : x.substr(static_cast<std::size_t>(k + 1)));

    std::erase(t.server, L'S');
    if (const auto mark = t.game.find(L'》'); mark != std::wstring::npos) t.game = t.game.substr(mark + 1, 4);
    t.title = t.server + L"服-" + t.game + L"-" + t.account;
    return t;
}

std::wstring BuildLoginRecord(std::wstring_view title, std::wstring_view pauthCookie,
                              std::wstring_view userTypeCookie, std::wstring_view gameCode) {
    std::wstring r(title);
    r += L"||";
    r += pauthCookie;
    r += L"||";
    r += userTypeCookie;
    r += L"||";
    r += gameCode;
    return r;
}

LoginRecordFields ParseLoginRecord(std::wstring_view record) {
    std::wstring_view fields[4];
    std::size_t start = 0;
    for (int f = 0; f < 3; ++f) {
        const auto sep = record.find(L"||", start);
        if (sep == std::wstring_view::npos) {
            fields[f] = record.substr(start);
            start = record.size();
            break;
        }
        fields[f] = record.substr(start, sep - start);
        start = sep + 2;
    }
    if (start < record.size()) fields[3] = record.substr(start);
    const auto value = [](std::wstring_view field, std::wstring_view prefix) {
        return field.substr(0, prefix.size()) == prefix ? std::wstring(field.substr(prefix.size())) : std::wstring();
    };
    return {std::wstring(fields[0]), value(fields[1], L"Pauth="), value(fields[2], L"ptusertype="),
            value(fields[3], L"logingame=")};
}

std::wstring DuplicateLoginMessage(std::wstring_view account, std::wstring_view server) {
    return L"账号 " + std::wstring(account) + L" 已在 " + std::wstring(server) + L"服 登录，同一账号不能在一服重复登录";
}

std::wstring LoginPageBaseUrl(std::wstring_view portalHost) {
    return L"http://" + std::wstring(portalHost) +
           L"/lmdr/clients/chn-xpvt/reg.html?oid=17239&oid2=&vcode=cafes&dirtype=0&pt=0&";
}

std::wstring CompleteLoginPageUrl(std::wstring_view base, std::wstring_view identityQuery, bool justInstalled,
                                  int openPageCount, bool autoRunOn) {
    std::wstring url(base);
    url += identityQuery;
    if (justInstalled && openPageCount == 0) url += L"&toAd=1";
    url += autoRunOn ? L"&autorun=1" : L"&autorun=0";
    return url;
}

bool JustInstalledFromTag(std::wstring_view installTag) { return !installTag.empty() && installTag[0] == L'1'; }

bool AutoRunDataIsOn(std::wstring_view data) { return !data.empty() && data[0] != L'\0'; }

std::wstring NextLoginCount(std::wstring_view stored) { return FormatCounter(NextCounter(ParseCounterText(stored))); }

std::wstring FormatAutoLoginUrl(std::wstring_view portalHost, std::wstring_view pauthCookie,
                                std::wstring_view encodedTarget, std::wstring_view userTypeCookie) {
    std::wstring url = L"http://" + std::wstring(portalHost) + L"/user/?_c=hallClient&_a=autoLogin&pauth=" +
                       Substr(pauthCookie, 6) + L"&url=" + std::wstring(encodedTarget) + L"&ptusertype=" +
                       Substr(userTypeCookie, 11);
    if (url.size() > 2047) url.resize(2047);
    return url;
}

std::wstring ExtractSetpauthValue(std::wstring_view url) {
    const auto bar = url.find(L'|');
    const std::wstring_view rest = bar == std::wstring_view::npos ? std::wstring_view() : url.substr(bar + 1);
    const auto at = rest.find(L"pauth=");
    return Substr(rest, at == std::wstring_view::npos ? 5 : at + 6);
}

bool InDragExclusion(int x, int y) { return x >= 1067 && x <= 1081 && y >= 310 && y <= 463; }
