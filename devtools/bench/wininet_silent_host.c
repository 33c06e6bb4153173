/* What the system internet library does with a host that accepts a request
 * and never answers: its default time-outs and how long one GET waits.
 * Built and run by devtools/bench_silent_host.py. */
#include <windows.h>
#include <wininet.h>
#include <stdio.h>
#include <stdlib.h>

static void PrintTimeouts(HINTERNET handle, const char* owner) {
    const DWORD options[3] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                              INTERNET_OPTION_RECEIVE_TIMEOUT};
    const char* names[3] = {"connect", "send", "receive"};
    for (int i = 0; i < 3; ++i) {
        DWORD value = 0, size = sizeof value;
        if (InternetQueryOptionA(handle, options[i], &value, &size))
            printf("%s %s time-out: %lu ms\n", owner, names[i], value);
        else
            printf("%s %s time-out: not reported (error %lu)\n", owner, names[i], GetLastError());
    }
}

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    HINTERNET session = InternetOpenA("ZRT", INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0);
    HINTERNET connection = InternetConnectA(session, "127.0.0.1", (INTERNET_PORT)atoi(argv[1]), NULL, NULL,
                                            INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET request = HttpOpenRequestA(connection, "GET", "silent", "HTTP/1.1", NULL, NULL,
                                         INTERNET_FLAG_RELOAD, 0);
    if (!session || !connection || !request) return 1;
    PrintTimeouts(session, "session");
    PrintTimeouts(request, "request");
    fflush(stdout);
    const DWORD started = GetTickCount();
    const BOOL sent = HttpSendRequestA(request, NULL, 0, NULL, 0);
    printf("the request returned %d after %lu ms (error %lu)\n", sent, GetTickCount() - started, GetLastError());
    InternetCloseHandle(request);
    InternetCloseHandle(connection);
    InternetCloseHandle(session);
    return 0;
}
