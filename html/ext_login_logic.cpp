#include "html/ext_login_logic.h"

namespace {

constexpr std::wstring_view kCompletionPaths[] = {
    L"/qzone/callback.do",     L"/weibo/callback.do",     L"/weixin/callback.do",
    L"/qzone/extAutoBind.do",  L"/weibo/extAutoBind.do",  L"/weixin/extAutoBind.do",
    L"/qzone/extLoginBind.do", L"/weibo/extLoginBind.do", L"/weixin/extLoginBind.do",
};

// url begins with a + b + c.
bool BeginsWith(std::wstring_view url, std::wstring_view a, std::wstring_view b, std::wstring_view c) {
    if (url.size() < a.size() + b.size() + c.size()) return false;
    return url.substr(0, a.size()) == a && url.substr(a.size(), b.size()) == b &&
           url.substr(a.size() + b.size(), c.size()) == c;
}

std::wstring_view Trim(std::wstring_view s) {
    while (!s.empty() && (s.front() == L' ' || s.front() == L'\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == L' ' || s.back() == L'\t')) s.remove_suffix(1);
    return s;
}

}  // namespace

bool IsExtLoginCompletion(std::wstring_view url, std::wstring_view extLoginHost) {
    for (std::wstring_view path : kCompletionPaths)
        if (BeginsWith(url, L"http://", extLoginHost, path)) return true;
    return false;
}

bool IsQqAuthorization(std::wstring_view url, std::wstring_view qqAuthHost) {
    return BeginsWith(url, L"https://", qqAuthHost, L"/oauth2.0/authorize");
}

bool ExtLoginGuardCancels(std::wstring_view url, std::wstring_view qqAuthHost, bool pageVisible) {
    return !pageVisible && IsQqAuthorization(url, qqAuthHost);
}

std::wstring NamedCookie(std::wstring_view cookies, std::wstring_view name) {
    if (name.empty()) return {};
    while (!cookies.empty()) {
        const std::size_t end = cookies.find(L';');
        const std::wstring_view one = Trim(cookies.substr(0, end));
        cookies = end == std::wstring_view::npos ? std::wstring_view() : cookies.substr(end + 1);
        const std::size_t eq = one.find(L'=');
        if (eq == std::wstring_view::npos) continue;
        if (Trim(one.substr(0, eq)) == name)
            return std::wstring(name) + L"=" + std::wstring(Trim(one.substr(eq + 1)));
    }
    return {};
}

bool CookieListHasValue(std::wstring_view cookies, std::wstring_view name) {
    const std::wstring cookie = NamedCookie(cookies, name);
    return cookie.size() > name.size() + 1;
}

ExtLoginStep ClassifyCompletedNavigation(std::wstring_view url, std::wstring_view extLoginHost,
                                         std::wstring_view cookies) {
    if (!IsExtLoginCompletion(url, extLoginHost)) return ExtLoginStep::Ordinary;
    return CookieListHasValue(cookies, L"Pauth") ? ExtLoginStep::Finished : ExtLoginStep::AwaitingCookie;
}
