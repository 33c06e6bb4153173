#include "net/http_get_win.h"

#include <windows.h>
#include <wininet.h>

#include "net/http_address.h"

int HttpGet(const wchar_t* address) {
    HttpAddress parts;
    if (!address || !SplitHttpAddress(address, parts)) return 0;

    int sent = 0;
    HINTERNET session = ::InternetOpenW(L"ZRT", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET connection = nullptr, request = nullptr;
    if (session)
        connection = ::InternetConnectW(session, parts.host.c_str(), parts.port, nullptr, nullptr,
                                        INTERNET_SERVICE_HTTP, 0, 0);
    if (connection)
        request = ::HttpOpenRequestW(connection, L"GET", parts.object.c_str(), L"HTTP/1.1", nullptr, nullptr,
                                     INTERNET_FLAG_RELOAD, 0);
    if (request) {
        static const wchar_t kHeaders[] =
            L"Accept-Language: zh-cn \r\nContent-Type: application/x-www-form-urlencoded\r\n";
        sent = ::HttpSendRequestW(request, kHeaders, static_cast<DWORD>(wcslen(kHeaders)), nullptr, 0) ? 1 : 0;
    }
    if (request) ::InternetCloseHandle(request);
    if (connection) ::InternetCloseHandle(connection);
    if (session) ::InternetCloseHandle(session);
    return sent;
}
