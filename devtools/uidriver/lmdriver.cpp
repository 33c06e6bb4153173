// UI driver of the black-box tests: a console program run under Wine in the
// client's prefix. Each command prints its result on stdout, one item a
// line, UTF-8; the exit code is 0 on success, 1 when something was not
// found or timed out, 2 on bad usage.
//
//   list                                  top-level windows: hwnd, class, title, rect, visible, pid
//   children HWND                         child windows: hwnd, id, class, text, visible
//   wait CLASS TITLE TIMEOUT_MS           waits for a visible top-level window ("*" matches any);
//                                         adds the moment it was seen (Unix time, ms) as a last field
//   find CLASS TITLE ID TIMEOUT_MS        waits for a visible top-level window that has a child with that id
//                                         (with the moment, as for wait)
//   owned HWND                            top-level windows owned by HWND (hidden ones too)
//   show HWND                             shows a window without activating it
//   place HWND X Y W H                    moves and sizes a window, z-order and activation left alone
//   gone HWND TIMEOUT_MS                  waits until a window no longer exists
//   text HWND [ID]                        a window's or a control's text (line breaks as "\n")
//   click HWND ID                         BM_CLICK on a control
//   copydata HWND DWDATA TEXT [refused|twice]
//                                         WM_COPYDATA with UTF-16 text; prints the reply. With
//                                         "refused", no dialog owned by HWND can be created meanwhile;
//                                         with "twice", the same again as soon as the first is
//                                         answered (a log-in pressed twice), both replies printed;
//                                         on stderr "answered in N ms" for each, as send has it
//   post HWND MSG WPARAM LPARAM [COUNT]   PostMessage, COUNT times in a row (a button pressed twice at once)
//   send HWND MSG WPARAM LPARAM           SendMessage; prints the reply (and on stderr "answered in N ms":
//                                         the time the window took, without the driver's own start)
//   keys VK[+VK...] ...                   SendInput: each argument is a chord, e.g. ctrl+d, f5
//   hold MS                               shows a window of its own ("LmHold", "lmdriver-hold"), takes
//                                         the foreground and keeps it up for MS milliseconds: another
//                                         program in front of the client; its title then tells the
//                                         characters typed to it and how late the latest arrived
//   activate HWND                         makes a window the foreground window
//   foreground                            the foreground window (as list prints it)
//   pixel X Y                             the screen's colour at a point, RRGGBB
//   link PATH                             a shell link read back: target, arguments, icon, icon index,
//                                         working folder, description (tab-separated)
//   menu TIMEOUT_MS                       waits for a popup menu on screen (as list prints it)
//   keywatch X Y TIMEOUT_MS CHORD         sends the chord, then waits until the screen's colour at the
//                                         point changes; prints the new colour and the milliseconds taken
//   drag X1 Y1 X2 Y2 [X Y ...]            SendInput: left button pressed at (X1, Y1), moved in steps to
//                                         (X2, Y2) (and on through each further point) and released at
//                                         the last; prints where the cursor ended
//   clickat X Y                           SendInput: a left click at (X, Y) on the screen
//   dblclickat X Y                        SendInput: a left double click at (X, Y), both clicks in one
//                                         input sequence, so a slow start of this program cannot split
//                                         it into two single clicks
//   middleat X Y                          SendInput: a middle-button click at (X, Y) on the screen
//   rightat X Y                           SendInput: a right-button click at (X, Y) on the screen
//   pointed X Y                           the window under (X, Y) on the screen, described as by list
//   rect HWND                             any window, a child one too, as list prints it
//   settext HWND ID TEXT                  WM_SETTEXT on a control, or on the edit inside it (a combo box)
//   clipboard                             the clipboard's bitmap: width and height
//   page HWND COMMAND [ID [VALUE]]        a player's action on the page shown in HWND's browser (the
//                                         stand-in control of the test prefixes): fill ID VALUE, click ID,
//                                         value ID, checked ID, text [ID], url, at ID (the element's middle
//                                         on the screen, "X Y"); prints the page's answer
//   capture X Y W H PATH                  the screen's rectangle as the system composes it, written as a
//                                         32-bit BMP file
//   code PID LIBRARY EXPORT COUNT         the first COUNT bytes of a system library's export in another
//                                         process, hex
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

namespace {

void PrintUtf8(const std::wstring& text) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::wstring Hex(HWND h) {
    wchar_t buf[32];
    std::swprintf(buf, 32, L"0x%08lX", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(h)));
    return buf;
}

HWND ParseHwnd(const wchar_t* s) { return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::wcstoull(s, nullptr, 0))); }
long long ParseNum(const wchar_t* s) { return std::wcstoll(s, nullptr, 0); }

// Text of another process's window without waiting on it.
std::wstring WindowTitle(HWND h) {
    wchar_t buf[1024] = {};
    ::InternalGetWindowText(h, buf, 1024);
    return buf;
}

// Line breaks as the two characters "\n", so that one item stays one line.
std::wstring OneLine(std::wstring text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\r') continue;
        if (c == L'\n') out += L"\\n";
        else out.push_back(c);
    }
    return out;
}

// Control text through WM_GETTEXT (static texts, buttons, edits).
std::wstring ControlText(HWND h) {
    DWORD_PTR len = 0;
    if (!::SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &len)) return WindowTitle(h);
    std::wstring text(len + 1, L'\0');
    DWORD_PTR got = 0;
    ::SendMessageTimeoutW(h, WM_GETTEXT, len + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 2000, &got);
    text.resize(got);
    return OneLine(text);
}

std::wstring ClassOf(HWND h) {
    wchar_t buf[256] = {};
    ::GetClassNameW(h, buf, 256);
    return buf;
}

std::wstring Describe(HWND h) {
    RECT r{};
    ::GetWindowRect(h, &r);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    wchar_t rect[96];
    std::swprintf(rect, 96, L"%ld,%ld,%ld,%ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return Hex(h) + L"\t" + ClassOf(h) + L"\t" + WindowTitle(h) + L"\t" + rect + L"\t" +
           (::IsWindowVisible(h) ? L"visible" : L"hidden") + L"\t" + std::to_wstring(pid);
}

BOOL CALLBACK CollectWindow(HWND h, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
    return TRUE;
}

// The current time as Unix milliseconds, the clock the test harness reads.
std::wstring NowUnixMs() {
    FILETIME ft{};
    ::GetSystemTimeAsFileTime(&ft);
    const unsigned long long ticks = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return std::to_wstring((ticks - 116444736000000000ULL) / 10000ULL);
}

std::vector<HWND> TopLevel() {
    std::vector<HWND> out;
    ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&out));
    return out;
}

bool Matches(const wchar_t* pattern, const std::wstring& value) {
    return std::wcscmp(pattern, L"*") == 0 || value == pattern;
}

WORD VkFromName(std::wstring name) {
    for (auto& c : name) c = static_cast<wchar_t>(std::towlower(c));
    struct { const wchar_t* n; WORD vk; } table[] = {
        {L"ctrl", VK_CONTROL}, {L"alt", VK_MENU}, {L"shift", VK_SHIFT}, {L"enter", VK_RETURN},
        {L"esc", VK_ESCAPE},   {L"tab", VK_TAB},  {L"space", VK_SPACE}, {L"left", VK_LEFT},
        {L"right", VK_RIGHT},  {L"up", VK_UP},    {L"down", VK_DOWN},   {L"back", VK_BACK},
    };
    for (const auto& t : table) if (name == t.n) return t.vk;
    if (name.size() >= 2 && name[0] == L'f') {
        int n = static_cast<int>(ParseNum(name.c_str() + 1));
        if (n >= 1 && n <= 24) return static_cast<WORD>(VK_F1 + n - 1);
    }
    if (name.size() == 1) {
        wchar_t c = static_cast<wchar_t>(std::towupper(name[0]));
        if ((c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) return c;
    }
    if (name.rfind(L"0x", 0) == 0) return static_cast<WORD>(ParseNum(name.c_str()));
    return 0;
}

// A shell link read back through the shell's own link object: target,
// arguments, icon location and index, working folder, description.
int PrintLink(const wchar_t* path) {
    if (FAILED(::CoInitialize(nullptr))) return 1;
    int rc = 1;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                     reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            if (SUCCEEDED(file->Load(path, STGM_READ))) {
                wchar_t target[MAX_PATH] = {}, args[1024] = {}, icon[MAX_PATH] = {}, dir[MAX_PATH] = {},
                        desc[1024] = {};
                int index = -1;
                link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
                link->GetArguments(args, 1024);
                link->GetIconLocation(icon, MAX_PATH, &index);
                link->GetWorkingDirectory(dir, MAX_PATH);
                link->GetDescription(desc, 1024);
                PrintUtf8(std::wstring(target) + L"\t" + args + L"\t" + icon + L"\t" + std::to_wstring(index) +
                          L"\t" + dir + L"\t" + desc);
                rc = 0;
            }
            file->Release();
        }
        link->Release();
    }
    ::CoUninitialize();
    return rc;
}

// One chord through SendInput: the keys down in order, then up in reverse.
bool SendChord(const std::wstring& chordText) {
    std::vector<WORD> chord;
    std::size_t start = 0;
    while (start <= chordText.size()) {
        std::size_t plus = chordText.find(L'+', start);
        WORD vk = VkFromName(chordText.substr(start, plus == std::wstring::npos ? std::wstring::npos : plus - start));
        if (!vk) return false;
        chord.push_back(vk);
        if (plus == std::wstring::npos) break;
        start = plus + 1;
    }
    // Each key with its scan code, as a keyboard sends it: the messages'
    // lParam carries it, and some key handling reads it.
    std::vector<INPUT> inputs;
    auto key = [&inputs](WORD vk, DWORD flags) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = vk;
        in.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        in.ki.dwFlags = flags;
        inputs.push_back(in);
    };
    for (WORD vk : chord) key(vk, 0);
    for (auto it = chord.rbegin(); it != chord.rend(); ++it) key(*it, KEYEVENTF_KEYUP);
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    return true;
}

COLORREF ScreenPixel(int x, int y) {
    HDC screen = ::GetDC(nullptr);
    const COLORREF c = ::GetPixel(screen, x, y);
    ::ReleaseDC(nullptr, screen);
    return c;
}

std::wstring Rgb(COLORREF c) {
    wchar_t buf[16];
    std::swprintf(buf, 16, L"%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
    return buf;
}

// The holder's title: "lmdriver-hold", then once keys arrive " CHARS LAG",
// LAG being the longest time in milliseconds between a key's input and its
// arrival here (what a stalled keyboard hook elsewhere would add).
LRESULT CALLBACK HoldProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    static std::wstring typed;
    static DWORD maxLag = 0;
    if (msg == WM_DESTROY) ::PostQuitMessage(0);
    if (msg == WM_KEYDOWN) maxLag = std::max<DWORD>(maxLag, ::GetTickCount() - static_cast<DWORD>(::GetMessageTime()));
    if (msg == WM_CHAR && wp >= L' ') {
        typed += static_cast<wchar_t>(wp);
        ::SetWindowTextW(h, (L"lmdriver-hold " + typed + L" " + std::to_wstring(maxLag)).c_str());
        return 0;
    }
    return ::DefWindowProcW(h, msg, wp, lp);
}

// SendInput's absolute coordinates for a screen pixel.
INPUT MouseAt(int x, int y, DWORD buttons) {
    const int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = static_cast<LONG>((static_cast<long long>(x) * 65536 + w - 1) / w);
    in.mi.dy = static_cast<LONG>((static_cast<long long>(y) * 65536 + h - 1) / h);
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons;
    return in;
}

// A left-button drag as a person makes it: press, several moves along the
// points (two or more, each leg in steps), release.
int Drag(const std::vector<POINT>& path) {
    INPUT start = MouseAt(path[0].x, path[0].y, 0);
    ::SendInput(1, &start, sizeof(INPUT));
    ::Sleep(100);
    INPUT down = MouseAt(path[0].x, path[0].y, MOUSEEVENTF_LEFTDOWN);
    ::SendInput(1, &down, sizeof(INPUT));
    ::Sleep(100);
    const int steps = 8;
    for (std::size_t leg = 1; leg < path.size(); ++leg) {
        const POINT a = path[leg - 1], b = path[leg];
        for (int i = 1; i <= steps; ++i) {
            INPUT move = MouseAt(a.x + (b.x - a.x) * i / steps, a.y + (b.y - a.y) * i / steps, 0);
            ::SendInput(1, &move, sizeof(INPUT));
            ::Sleep(40);
        }
    }
    ::Sleep(100);
    INPUT up = MouseAt(path.back().x, path.back().y, MOUSEEVENTF_LEFTUP);
    ::SendInput(1, &up, sizeof(INPUT));
    ::Sleep(100);
    POINT at{};
    ::GetCursorPos(&at);
    PrintUtf8(std::to_wstring(at.x) + L" " + std::to_wstring(at.y));
    return 0;
}

int ClickAt(int x, int y, DWORD down = MOUSEEVENTF_LEFTDOWN, DWORD up = MOUSEEVENTF_LEFTUP) {
    INPUT in[3] = {MouseAt(x, y, 0), MouseAt(x, y, down), MouseAt(x, y, up)};
    for (INPUT& i : in) {
        ::SendInput(1, &i, sizeof(INPUT));
        ::Sleep(60);
    }
    return 0;
}

// Both clicks of a double click from one run of this program, with the
// pauses a person leaves: a window that reads the press before the release
// arrives sees them as it would. Under an emulator the start of this
// program alone can outlast the double-click time, so two runs would make
// two single clicks. Fails when the two presses still came too far apart.
int DoubleClickAt(int x, int y) {
    INPUT move = MouseAt(x, y, 0);
    ::SendInput(1, &move, sizeof(INPUT));
    ::Sleep(60);
    INPUT down = MouseAt(x, y, MOUSEEVENTF_LEFTDOWN), up = MouseAt(x, y, MOUSEEVENTF_LEFTUP);
    DWORD first = 0, second = 0;
    for (DWORD* pressed : {&first, &second}) {
        *pressed = ::GetTickCount();
        ::SendInput(1, &down, sizeof(INPUT));
        ::Sleep(40);
        ::SendInput(1, &up, sizeof(INPUT));
        ::Sleep(40);
    }
    ::Sleep(40);
    if (second - first >= ::GetDoubleClickTime()) {
        std::fprintf(stderr, "dblclickat: the presses came %lu ms apart\n", static_cast<unsigned long>(second - first));
        return 1;
    }
    return 0;
}

BOOL CALLBACK FindEdit(HWND h, LPARAM lp) {
    if (ClassOf(h) != L"Edit") return TRUE;
    *reinterpret_cast<HWND*>(lp) = h;
    return FALSE;
}

// The clipboard's bitmap as width and height.
int PrintClipboardBitmap() {
    if (!::OpenClipboard(nullptr)) return 1;
    int rc = 1;
    if (HBITMAP b = static_cast<HBITMAP>(::GetClipboardData(CF_BITMAP))) {
        BITMAP bm{};
        if (::GetObjectW(b, sizeof bm, &bm)) {
            PrintUtf8(std::to_wstring(bm.bmWidth) + L" " + std::to_wstring(bm.bmHeight));
            rc = 0;
        }
    }
    ::CloseClipboard();
    return rc;
}

// A rectangle of the screen, read through the screen's device context, as a
// bottom-up 32-bit BMP file.
int CaptureScreen(int x, int y, int w, int h, const wchar_t* path) {
    if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return 2;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    int rc = 1;
    if (dib && bits) {
        HGDIOBJ old = ::SelectObject(mem, dib);
        const BOOL copied = ::BitBlt(mem, 0, 0, w, h, screen, x, y, SRCCOPY);
        ::GdiFlush();
        ::SelectObject(mem, old);
        const DWORD size = static_cast<DWORD>(w) * static_cast<DWORD>(h) * 4;
        BITMAPFILEHEADER fh{};
        fh.bfType = 0x4D42;
        fh.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
        fh.bfSize = fh.bfOffBits + size;
        bi.bmiHeader.biSizeImage = size;
        if (copied) {
            HANDLE file = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                DWORD written = 0, total = 0;
                if (::WriteFile(file, &fh, sizeof fh, &written, nullptr)) total += written;
                if (::WriteFile(file, &bi.bmiHeader, sizeof bi.bmiHeader, &written, nullptr)) total += written;
                if (::WriteFile(file, bits, size, &written, nullptr)) total += written;
                ::CloseHandle(file);
                if (total == fh.bfSize) rc = 0;
            }
        }
    }
    if (dib) ::DeleteObject(dib);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    return rc;
}

int Usage() {
    std::fputs("usage: lmdriver list|children|wait|place|gone|text|click|copydata|post|send|keys|link|menu|hold|activate|foreground|pixel|keywatch|drag|clickat|dblclickat|middleat|rightat|pointed|rect|settext|clipboard|capture|code ...\n", stderr);
    return 2;
}

}  // namespace

// The page window of a browser inside `h` (or `h` itself).
HWND PageWindow(HWND h) {
    wchar_t cls[64] = {};
    ::GetClassNameW(h, cls, 64);
    if (std::wstring(cls) == L"Internet Explorer_Server") return h;
    for (HWND child = ::GetWindow(h, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (HWND found = PageWindow(child)) return found;
    return nullptr;
}

std::wstring g_pageAnswer;

LRESULT CALLBACK AnswerProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COPYDATA) {
        const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
        if (cds && cds->lpData) g_pageAnswer.assign(static_cast<const wchar_t*>(cds->lpData), cds->cbData / sizeof(wchar_t));
        if (auto nul = g_pageAnswer.find(L'\0'); nul != std::wstring::npos) g_pageAnswer.resize(nul);
        return 1;
    }
    return ::DefWindowProcW(h, msg, wp, lp);
}

int PageCommand(int argc, wchar_t** argv) {
    HWND page = PageWindow(ParseHwnd(argv[2]));
    if (!page) return 1;
    WNDCLASSW wc{};
    wc.lpfnWndProc = &AnswerProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"LmPageAnswer";
    ::RegisterClassW(&wc);
    HWND answer = ::CreateWindowExW(0, L"LmPageAnswer", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (!answer) return 1;
    wchar_t self[32];
    std::swprintf(self, 32, L"%lx", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(answer)));
    std::wstring text = self;
    for (int i = 3; i < argc; ++i) text += std::wstring(L"\t") + argv[i];
    COPYDATASTRUCT cds{0x4C4D5350, static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)), text.data()};
    DWORD_PTR done = 0;
    const bool sent = ::SendMessageTimeoutW(page, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds), SMTO_NORMAL, 20000,
                                            &done) != 0;
    ::DestroyWindow(answer);
    if (!sent || !done) return 1;
    PrintUtf8(g_pageAnswer);
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return Usage();
    const std::wstring cmd = argv[1];

    if (cmd == L"link" && argc >= 3) return PrintLink(argv[2]);
    if (cmd == L"menu" && argc >= 3) {
        // Waits for a popup menu on screen (its items are the owner's own
        // memory, out of reach from here).
        const DWORD deadline = ::GetTickCount() + static_cast<DWORD>(ParseNum(argv[2]));
        do {
            for (HWND h : TopLevel()) {
                if (::IsWindowVisible(h) && ClassOf(h) == L"#32768") {
                    PrintUtf8(Describe(h));
                    return 0;
                }
            }
            ::Sleep(20);
        } while (static_cast<LONG>(deadline - ::GetTickCount()) > 0);
        return 1;
    }
    if (cmd == L"list") {
        for (HWND h : TopLevel()) PrintUtf8(Describe(h));
        return 0;
    }
    if (cmd == L"children" && argc >= 3) {
        HWND parent = ParseHwnd(argv[2]);
        if (!::IsWindow(parent)) return 1;
        std::vector<HWND> kids;
        ::EnumChildWindows(parent, &CollectWindow, reinterpret_cast<LPARAM>(&kids));
        for (HWND h : kids)
            PrintUtf8(Hex(h) + L"\t" + std::to_wstring(::GetDlgCtrlID(h)) + L"\t" + ClassOf(h) + L"\t" +
                      ControlText(h) + L"\t" + (::IsWindowVisible(h) ? L"visible" : L"hidden"));
        return 0;
    }
    if (cmd == L"wait" && argc >= 5) {
        const DWORD deadline = ::GetTickCount() + static_cast<DWORD>(ParseNum(argv[4]));
        do {
            for (HWND h : TopLevel()) {
                if (::IsWindowVisible(h) && Matches(argv[2], ClassOf(h)) && Matches(argv[3], WindowTitle(h))) {
                    PrintUtf8(Describe(h) + L"\t" + NowUnixMs());
                    return 0;
                }
            }
            ::Sleep(10);
        } while (static_cast<LONG>(deadline - ::GetTickCount()) > 0);
        return 1;
    }
    if (cmd == L"find" && argc >= 6) {
        const int id = static_cast<int>(ParseNum(argv[4]));
        const DWORD deadline = ::GetTickCount() + static_cast<DWORD>(ParseNum(argv[5]));
        do {
            for (HWND h : TopLevel()) {
                if (::IsWindowVisible(h) && Matches(argv[2], ClassOf(h)) && Matches(argv[3], WindowTitle(h)) &&
                    ::GetDlgItem(h, id)) {
                    PrintUtf8(Describe(h) + L"\t" + NowUnixMs());
                    return 0;
                }
            }
            ::Sleep(10);
        } while (static_cast<LONG>(deadline - ::GetTickCount()) > 0);
        return 1;
    }
    if (cmd == L"owned" && argc >= 3) {
        HWND owner = ParseHwnd(argv[2]);
        for (HWND h : TopLevel())
            if (::GetWindow(h, GW_OWNER) == owner) PrintUtf8(Describe(h));
        return 0;
    }
    if (cmd == L"show" && argc >= 3) {
        HWND h = ParseHwnd(argv[2]);
        if (!::IsWindow(h)) return 1;
        ::ShowWindowAsync(h, SW_SHOWNA);
        return 0;
    }
    if (cmd == L"place" && argc >= 7) {
        HWND h = ParseHwnd(argv[2]);
        if (!::IsWindow(h)) return 1;
        return ::SetWindowPos(h, nullptr, static_cast<int>(ParseNum(argv[3])), static_cast<int>(ParseNum(argv[4])),
                              static_cast<int>(ParseNum(argv[5])), static_cast<int>(ParseNum(argv[6])),
                              SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS)
                   ? 0
                   : 1;
    }
    if (cmd == L"gone" && argc >= 4) {
        HWND h = ParseHwnd(argv[2]);
        const DWORD deadline = ::GetTickCount() + static_cast<DWORD>(ParseNum(argv[3]));
        while (::IsWindow(h)) {
            if (static_cast<LONG>(deadline - ::GetTickCount()) <= 0) return 1;
            ::Sleep(50);
        }
        return 0;
    }
    if (cmd == L"text" && argc >= 3) {
        HWND h = ParseHwnd(argv[2]);
        if (argc >= 4) h = ::GetDlgItem(h, static_cast<int>(ParseNum(argv[3])));
        if (!::IsWindow(h)) return 1;
        PrintUtf8(ControlText(h));
        return 0;
    }
    if (cmd == L"click" && argc >= 4) {
        HWND ctl = ::GetDlgItem(ParseHwnd(argv[2]), static_cast<int>(ParseNum(argv[3])));
        if (!ctl) return 1;
        // Posted: a click that opens a modal window must not block the driver.
        ::PostMessageW(ctl, BM_CLICK, 0, 0);
        return 0;
    }
    if (cmd == L"copydata" && argc >= 5) {
        std::wstring text = argv[4];
        HWND target = ParseHwnd(argv[2]);
        HANDLE refuse = nullptr;
        HHOOK hook = nullptr;
        if (argc >= 6 && std::wstring(argv[5]) == L"refused") {
            wchar_t name[64];
            std::swprintf(name, 64, L"lmdriver-refuse-%lx", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(target)));
            refuse = ::CreateEventW(nullptr, TRUE, FALSE, name);
            HMODULE dll = ::LoadLibraryW(L"lmrefuse.dll");
            auto proc = dll ? reinterpret_cast<HOOKPROC>(::GetProcAddress(dll, "RefuseDialogs@12")) : nullptr;
            if (!proc && dll) proc = reinterpret_cast<HOOKPROC>(::GetProcAddress(dll, "RefuseDialogs"));
            if (proc) hook = ::SetWindowsHookExW(WH_CBT, proc, dll, ::GetWindowThreadProcessId(target, nullptr));
            if (!refuse || !hook) return 1;
        }
        struct Unhook {
            HANDLE refuse;
            HHOOK hook;
            ~Unhook() {
                if (hook) ::UnhookWindowsHookEx(hook);
                if (refuse) ::CloseHandle(refuse);
            }
        } unhook{refuse, hook};
        COPYDATASTRUCT cds{};
        cds.dwData = static_cast<ULONG_PTR>(ParseNum(argv[3]));
        cds.cbData = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
        cds.lpData = text.data();
        const bool twice = argc >= 6 && std::wstring(argv[5]) == L"twice";
        for (int n = 0; n < (twice ? 2 : 1); ++n) {
            DWORD_PTR reply = 0;
            const DWORD sent = ::GetTickCount();
            if (!::SendMessageTimeoutW(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds), SMTO_ABORTIFHUNG,
                                       10000, &reply))
                return 1;
            std::fprintf(stderr, "answered in %lu ms\n", static_cast<unsigned long>(::GetTickCount() - sent));
            PrintUtf8(std::to_wstring(static_cast<long long>(reply)));
        }
        return 0;
    }
    if ((cmd == L"post" || cmd == L"send") && argc >= 6) {
        HWND h = ParseHwnd(argv[2]);
        const UINT msg = static_cast<UINT>(ParseNum(argv[3]));
        const WPARAM wp = static_cast<WPARAM>(ParseNum(argv[4]));
        const LPARAM lp = static_cast<LPARAM>(ParseNum(argv[5]));
        if (cmd == L"post") {
            const long long count = argc >= 7 ? ParseNum(argv[6]) : 1;
            for (long long i = 0; i < count; ++i)
                if (!::PostMessageW(h, msg, wp, lp)) return 1;
            return 0;
        }
        DWORD_PTR reply = 0;
        const DWORD sent = ::GetTickCount();
        if (!::SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, 10000, &reply)) return 1;
        std::fprintf(stderr, "answered in %lu ms\n", static_cast<unsigned long>(::GetTickCount() - sent));
        PrintUtf8(std::to_wstring(static_cast<long long>(reply)));
        return 0;
    }
    if (cmd == L"keys" && argc >= 3) {
        for (int i = 2; i < argc; ++i) {
            if (!SendChord(argv[i])) return Usage();
            ::Sleep(50);
        }
        return 0;
    }
    if (cmd == L"hold" && argc >= 3) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &HoldProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = L"LmHold";
        ::RegisterClassW(&wc);
        HWND h = ::CreateWindowExW(0, L"LmHold", L"lmdriver-hold", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 700, 400, 320,
                                   200, nullptr, nullptr, wc.hInstance, nullptr);
        if (!h) return 1;
        ::SetForegroundWindow(h);
        ::SetFocus(h);
        ::SetTimer(h, 1, static_cast<UINT>(ParseNum(argv[2])), nullptr);
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (msg.message == WM_TIMER && msg.hwnd == h) ::DestroyWindow(h);
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        return 0;
    }
    if (cmd == L"activate" && argc >= 3) {
        HWND h = ParseHwnd(argv[2]);
        if (!::IsWindow(h)) return 1;
        return ::SetForegroundWindow(h) ? 0 : 1;
    }
    if (cmd == L"foreground") {
        HWND h = ::GetForegroundWindow();
        if (!h) return 1;
        PrintUtf8(Describe(h));
        return 0;
    }
    if (cmd == L"pixel" && argc >= 4) {
        PrintUtf8(Rgb(ScreenPixel(static_cast<int>(ParseNum(argv[2])), static_cast<int>(ParseNum(argv[3])))));
        return 0;
    }
    if (cmd == L"keywatch" && argc >= 6) {
        const int x = static_cast<int>(ParseNum(argv[2])), y = static_cast<int>(ParseNum(argv[3]));
        const COLORREF before = ScreenPixel(x, y);
        const DWORD start = ::GetTickCount();
        if (!SendChord(argv[5])) return Usage();
        const DWORD timeout = static_cast<DWORD>(ParseNum(argv[4]));
        do {
            const COLORREF now = ScreenPixel(x, y);
            if (now != before) {
                PrintUtf8(Rgb(now) + L"\t" + std::to_wstring(::GetTickCount() - start));
                return 0;
            }
            ::Sleep(5);
        } while (::GetTickCount() - start < timeout);
        PrintUtf8(Rgb(before));
        return 1;
    }
    if (cmd == L"drag" && argc >= 6 && argc % 2 == 0) {
        std::vector<POINT> path;
        for (int i = 2; i + 1 < argc; i += 2)
            path.push_back({static_cast<LONG>(ParseNum(argv[i])), static_cast<LONG>(ParseNum(argv[i + 1]))});
        return Drag(path);
    }
    if (cmd == L"move" && argc >= 5) {
        // A plain move, as a drag by the caption proposes it: no size.
        HWND h = ParseHwnd(argv[2]);
        return ::SetWindowPos(h, nullptr, static_cast<int>(ParseNum(argv[3])), static_cast<int>(ParseNum(argv[4])), 0,
                              0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
                   ? 0
                   : 1;
    }
    if (cmd == L"clickat" && argc >= 4)
        return ClickAt(static_cast<int>(ParseNum(argv[2])), static_cast<int>(ParseNum(argv[3])));
    if (cmd == L"dblclickat" && argc >= 4)
        return DoubleClickAt(static_cast<int>(ParseNum(argv[2])), static_cast<int>(ParseNum(argv[3])));
    if (cmd == L"middleat" && argc >= 4)
        return ClickAt(static_cast<int>(ParseNum(argv[2])), static_cast<int>(ParseNum(argv[3])),
                       MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP);
    if (cmd == L"rightat" && argc >= 4)
        return ClickAt(static_cast<int>(ParseNum(argv[2])), static_cast<int>(ParseNum(argv[3])),
                       MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
    if (cmd == L"pointed" && argc >= 4) {  // the window under a point of the screen
        HWND h = ::WindowFromPoint(POINT{static_cast<LONG>(ParseNum(argv[2])), static_cast<LONG>(ParseNum(argv[3]))});
        if (!h) return 1;
        PrintUtf8(Describe(h));
        return 0;
    }
    if (cmd == L"rect" && argc >= 3) {
        HWND h = ParseHwnd(argv[2]);
        if (!::IsWindow(h)) return 1;
        PrintUtf8(Describe(h));
        return 0;
    }
    if (cmd == L"clipboard") return PrintClipboardBitmap();
    if (cmd == L"page" && argc >= 4) return PageCommand(argc, argv);
    if (cmd == L"code" && argc >= 6) {
        // The first bytes of a system library's export as another process
        // sees them (system libraries load at the same address in every
        // process of the prefix): "code PID LIBRARY EXPORT COUNT".
        HMODULE library = ::LoadLibraryW(argv[3]);
        const std::string name(argv[4], argv[4] + std::wcslen(argv[4]));
        const void* entry = library ? reinterpret_cast<const void*>(::GetProcAddress(library, name.c_str())) : nullptr;
        HANDLE process = ::OpenProcess(PROCESS_VM_READ, FALSE, static_cast<DWORD>(ParseNum(argv[2])));
        BYTE bytes[64] = {};
        const SIZE_T want = std::min<SIZE_T>(sizeof bytes, static_cast<SIZE_T>(ParseNum(argv[5])));
        SIZE_T got = 0;
        const bool read = entry && process && ::ReadProcessMemory(process, entry, bytes, want, &got) && got == want;
        if (process) ::CloseHandle(process);
        if (!read) return 1;
        std::wstring hex;
        for (SIZE_T i = 0; i < got; ++i) {
            wchar_t two[3];
            std::swprintf(two, 3, L"%02x", bytes[i]);
            hex += two;
        }
        PrintUtf8(hex);
        return 0;
    }
    if (cmd == L"capture" && argc >= 7)
        return CaptureScreen(static_cast<int>(ParseNum(argv[2])), static_cast<int>(ParseNum(argv[3])),
                             static_cast<int>(ParseNum(argv[4])), static_cast<int>(ParseNum(argv[5])), argv[6]);
    if (cmd == L"settext" && argc >= 5) {
        HWND ctl = ::GetDlgItem(ParseHwnd(argv[2]), static_cast<int>(ParseNum(argv[3])));
        if (!ctl) return 1;
        if (ClassOf(ctl) != L"Edit") {
            HWND edit = nullptr;
            ::EnumChildWindows(ctl, &FindEdit, reinterpret_cast<LPARAM>(&edit));
            if (edit) ctl = edit;
        }
        DWORD_PTR reply = 0;
        if (!::SendMessageTimeoutW(ctl, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]), SMTO_ABORTIFHUNG, 5000,
                                   &reply))
            return 1;
        return reply ? 0 : 1;
    }
    return Usage();
}
