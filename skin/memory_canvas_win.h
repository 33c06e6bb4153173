// A memory DC holding a bitmap of a given size, compatible with another DC:
// pictures are drawn there and put on the screen in one go.
#pragma once
#include <windows.h>

struct CMemoryCanvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    CMemoryCanvas(HDC like, int w, int h) {
        dc = ::CreateCompatibleDC(like);
        bitmap = ::CreateCompatibleBitmap(like, w > 0 ? w : 1, h > 0 ? h : 1);
        old = ::SelectObject(dc, bitmap);
    }
    ~CMemoryCanvas() {
        ::SelectObject(dc, old);
        ::DeleteObject(bitmap);
        ::DeleteDC(dc);
    }
    CMemoryCanvas(const CMemoryCanvas&) = delete;
    CMemoryCanvas& operator=(const CMemoryCanvas&) = delete;
};
