#include "net/http_get_win.h"

#include <windows.h>
#include <wininet.h>

#include "net/http_address.h"

namespace {

// The time-outs Windows' internet library uses unless the machine's settings
// change them (ConnectTimeOut 60 000 ms, SendTimeOut and ReceiveTimeOut
// 30 000 ms each). Set on the handles themselves so that they hold where the
// library has none of its own: Wine sets no send or receive time-out, and
// its connection handles do not take them from the session.
void SetDefaultTimeouts(HINTERNET handle) {
    static const struct {
        DWORD option;
        DWORD ms;
    } kTimeouts[] = {{INTERNET_OPTION_CONNECT_TIMEOUT, 60000},
                     {INTERNET_OPTION_SEND_TIMEOUT, 30000},
                     {INTERNET_OPTION_RECEIVE_TIMEOUT, 30000}};
    for (const auto& t : kTimeouts) {
        DWORD ms = t.ms;
        ::InternetSetOptionW(handle, t.option, &ms, sizeof ms);
    }
}

}  // namespace

int HttpGet(const wchar_t* address) {
    HttpAddress parts;
    if (!address || !SplitHttpAddress(address, parts)) return 0;

    int sent = 0;
    HINTERNET session = ::InternetOpenW(L"ZRT", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET connection = nullptr, request = nullptr;
    if (session) {
        SetDefaultTimeouts(session);
        connection = ::InternetConnectW(session, parts.host.c_str(), parts.port, nullptr, nullptr,
                                        INTERNET_SERVICE_HTTP, 0, 0);
    }
    if (connection) {
        SetDefaultTimeouts(connection);
        request = ::HttpOpenRequestW(connection, L"GET", parts.object.c_str(), L"HTTP/1.1", nullptr, nullptr,
                                     INTERNET_FLAG_RELOAD, 0);
    }
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
