// What the external-login window decides from addresses and cookies, as
// plain functions. Portable.
#pragma once
#include <string>
#include <string_view>

// The address begins (at its first character, case-sensitive) with one of
// the external-login service's nine completion addresses: "http://", the
// service's host, then the callback or binding page of QQ, Weibo or WeChat.
bool IsExtLoginCompletion(std::wstring_view url, std::wstring_view extLoginHost);

// The address begins with QQ's authorization endpoint: "https://", QQ's
// authorization host, "/oauth2.0/authorize".
bool IsQqAuthorization(std::wstring_view url, std::wstring_view qqAuthHost);

// A hidden page must not open QQ's authorization page again: true when the
// navigation is to be cancelled.
bool ExtLoginGuardCancels(std::wstring_view url, std::wstring_view qqAuthHost, bool pageVisible);

// The cookies of an address as the system returns them ("a=1; Pauth=x"):
// whether one of them has exactly this name and a value that is not empty.
bool CookieListHasValue(std::wstring_view cookies, std::wstring_view name);
// The first cookie called `name` in the list the system gives for an
// address ("a=1; b=2"), as "name=value"; empty when there is none.
std::wstring NamedCookie(std::wstring_view cookies, std::wstring_view name);

// What a completed navigation of the external-login page means.
enum class ExtLoginStep {
    Ordinary,        // not a completion address: the page goes on
    AwaitingCookie,  // a completion address, but the login cookie is not there yet
    Finished,        // the login cookie is there: close and tell the login page
};
ExtLoginStep ClassifyCompletedNavigation(std::wstring_view url, std::wstring_view extLoginHost,
                                         std::wstring_view cookies);
