// The one-shot HTTP GET of every beacon: sends, never reads the reply.
#pragma once

// 1 when the request was sent and the system reported success, else 0.
// Anything but an "http://" address is refused without network activity.
int HttpGet(const wchar_t* address);
