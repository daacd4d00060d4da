// Test helper for the end-to-end tests under Wine, run in the same Wine session as Morvane.exe.
// It writes what the X11 recorder writes (tests/linux/recorder.cpp), so the harness reads one
// format; US is QueryPerformanceCounter in us, which under Wine is the raw monotonic clock.
//
//   recorder.exe record LOG X Y W H   a window titled "morvane-recorder" that appends
//                                     "click X Y US MS BUTTON" to LOG for every button press it
//                                     receives (screen pixels; MS: the message time) and
//                                     "key VK US MS" for every key pressed while it has the focus
//   recorder.exe probe OUT            what Morvane's windows show, as Win32 sees it:
//                                     "form ICONIC CLIENT_W CLIENT_H TITLE",
//                                     "control KIND X Y W H TEXT" per control (client pixels),
//                                     "box TITLE" per visible dialog box, each followed by
//                                     "boxitem KIND TEXT" per visible control in it
//   recorder.exe close OUT            sends Form1 the system menu's Close command and writes
//                                     "close US", the time it did so
//   recorder.exe layout DPI OUT       the layout table at DPI as JSON (tests/e2e/layout_json.h)
//   recorder.exe hang SECONDS         a window titled "morvane-hung" that takes the foreground,
//                                     holds F10 down for a poll or two, then stops answering
//                                     messages for SECONDS, as a program in front that hangs
//   recorder.exe thief SECONDS OUT    asks GetAsyncKeyState for F12 every millisecond, as a
//                                     program that takes the "pressed since" bit would, writing
//                                     "ready" once it runs and "took US" to OUT whenever the bit
//                                     was set for it
//   recorder.exe swap 1|0             swaps the mouse buttons (1) or puts them back (0)
#include <windows.h>

#include <mmsystem.h>
#include <shellapi.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/layout.h"
#include "e2e/layout_json.h"
#include "platform/win32/wide.h"

namespace {

using morvane::win32::utf8;

constexpr wchar_t kRecorderTitle[] = L"morvane-recorder";

HANDLE logFile = INVALID_HANDLE_VALUE;
LONGLONG frequency = 1;

// GetWindowTextW would return another process's edit control's creation caption, not what is
// typed in it; WM_GETTEXT asks the control itself.
std::wstring windowText(HWND hwnd) {
    wchar_t buffer[512] = {};
    DWORD_PTR n = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer), SMTO_BLOCK, 5000,
                        &n);
    return std::wstring(buffer, n < 512 ? n : 0);
}

std::wstring className(HWND hwnd) {
    wchar_t buffer[128] = {};
    const int n = GetClassNameW(hwnd, buffer, 128);
    return std::wstring(buffer, static_cast<std::size_t>(n > 0 ? n : 0));
}

void writeAll(HANDLE file, const std::string& text) {
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

HANDLE createOutput(const wchar_t* path) {
    return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

int writeFile(const wchar_t* path, const std::string& text) {
    HANDLE out = createOutput(path);
    if (out == INVALID_HANDLE_VALUE) {
        return 2;
    }
    writeAll(out, text);
    CloseHandle(out);
    return 0;
}

long long nowUs() {
    LARGE_INTEGER c{};
    QueryPerformanceCounter(&c);
    return c.QuadPart / frequency * 1'000'000LL + c.QuadPart % frequency * 1'000'000LL / frequency;
}

// "US MS": the moment the message was taken, and the message's own time.
std::string stamps(long long us) {
    return std::to_string(us) + " " + std::to_string(static_cast<DWORD>(GetMessageTime()));
}

void logClick(HWND hwnd, LPARAM lp, int button) {
    const long long at = nowUs();
    POINT p{static_cast<short>(lp & 0xFFFF), static_cast<short>((lp >> 16) & 0xFFFF)};
    ClientToScreen(hwnd, &p);
    // One write per press, so the log is complete whenever the test reads it.
    writeAll(logFile, "click " + std::to_string(p.x) + " " + std::to_string(p.y) + " " +
                          stamps(at) + " " + std::to_string(button) + "\n");
}

LRESULT CALLBACK recorderProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_LBUTTONDOWN:
        logClick(hwnd, lp, 1);
        return 0;
    case WM_MBUTTONDOWN:
        logClick(hwnd, lp, 2);
        return 0;
    case WM_RBUTTONDOWN:
        logClick(hwnd, lp, 3);
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:               // F10 is a system key
        if ((lp & (1 << 30)) == 0) {  // the press, not its auto-repeats
            writeAll(logFile, "key " + std::to_string(wp) + " " + stamps(nowUs()) + "\n");
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

// A plain window of a class of its own at `where` (left, top, width, height).
HWND popup(HINSTANCE instance, WNDPROC proc, const wchar_t* title, const RECT& where) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    wc.lpszClassName = title;
    RegisterClassExW(&wc);
    return CreateWindowExW(0, title, title, WS_POPUP | WS_VISIBLE, where.left, where.top,
                           where.right, where.bottom, nullptr, nullptr, instance, nullptr);
}

int record(HINSTANCE instance, const wchar_t* path, const RECT& where) {
    logFile = createOutput(path);
    if (logFile == INVALID_HANDLE_VALUE) {
        return 2;
    }
    if (popup(instance, &recorderProc, kRecorderTitle, where) == nullptr) {
        return 3;
    }
    MSG m{};
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    CloseHandle(logFile);
    return 0;
}

HWND findForm() { return FindWindowW(L"MorvaneForm1", nullptr); }

BOOL CALLBACK collectWindow(HWND hwnd, LPARAM out) {
    reinterpret_cast<std::vector<HWND>*>(out)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> children(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(parent, &collectWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The harness's names for controls: the same words on both products.
std::string kind(HWND hwnd) {
    const std::wstring cls = className(hwnd);
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    if (cls == L"Button") {
        return (style & BS_TYPEMASK) == BS_GROUPBOX ? "frame" : "button";
    }
    if (cls == L"Static") {
        return (style & SS_TYPEMASK) == SS_ICON ? "icon" : "label";
    }
    return cls == L"Edit" ? "text" : utf8(cls);
}

int probe(const wchar_t* path) {
    std::string report;
    if (HWND form = findForm(); form != nullptr) {
        RECT client{};
        GetClientRect(form, &client);
        report += "form " + std::to_string(IsIconic(form) ? 1 : 0) + " " +
                  std::to_string(client.right) + " " + std::to_string(client.bottom) + " " +
                  utf8(windowText(form)) + "\n";
        for (HWND child : children(form)) {
            RECT r{};
            GetWindowRect(child, &r);
            MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
            report += "control " + kind(child) + " " + std::to_string(r.left) + " " +
                      std::to_string(r.top) + " " + std::to_string(r.right - r.left) + " " +
                      std::to_string(r.bottom - r.top) + " " + utf8(windowText(child)) + "\n";
        }
    }
    std::vector<HWND> tops;
    EnumWindows(&collectWindow, reinterpret_cast<LPARAM>(&tops));
    for (HWND top : tops) {
        if (className(top) != L"#32770" || !IsWindowVisible(top)) {
            continue;
        }
        report += "box " + utf8(windowText(top)) + "\n";
        for (HWND item : children(top)) {
            // The box keeps its icon control when it shows no icon; only a handle draws one.
            const bool blank = kind(item) == "icon" && SendMessageW(item, STM_GETICON, 0, 0) == 0;
            if (IsWindowVisible(item) && !blank) {
                report += "boxitem " + kind(item) + " " + utf8(windowText(item)) + "\n";
            }
        }
    }
    return writeFile(path, report);
}

// Text2's text set as a paste sets it: typed keys would go wherever a run's clicks send the
// keyboard.
int setText2(const wchar_t* text) {
    for (HWND child : children(findForm())) {
        if (className(child) == L"Edit") {
            return SendMessageW(child, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0 ? 0 : 1;
        }
    }
    return 1;
}

int closeForm(const wchar_t* path) {
    HWND form = findForm();
    if (form == nullptr) {
        return 1;
    }
    const long long at = nowUs();
    PostMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0);
    return writeFile(path, "close " + std::to_string(at) + "\n");
}

void pumpFor(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG m{};
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE) != FALSE) {
            DispatchMessageW(&m);
        }
        Sleep(10);
    }
}

int hang(HINSTANCE instance, int seconds) {
    HWND hwnd = popup(instance, &DefWindowProcW, L"morvane-hung", RECT{100, 450, 200, 100});
    if (hwnd == nullptr) {
        return 3;
    }
    SetForegroundWindow(hwnd);
    pumpFor(500);
    if (GetForegroundWindow() != hwnd) {
        return 4;
    }
    // From here on nothing is answered; the key state itself is the server's, which the poll
    // of another program reads.
    keybd_event(VK_F10, 0, 0, 0);
    Sleep(600);
    keybd_event(VK_F10, 0, KEYEVENTF_KEYUP, 0);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    return 0;
}

int thief(int seconds, const wchar_t* path) {
    HANDLE out = createOutput(path);
    if (out == INVALID_HANDLE_VALUE) {
        return 2;
    }
    writeAll(out, "ready\n");
    timeBeginPeriod(1);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < static_cast<DWORD>(seconds) * 1000) {
        if ((GetAsyncKeyState(VK_F12) & 1) != 0) {
            writeAll(out, "took " + std::to_string(nowUs()) + "\n");
        }
        Sleep(1);
    }
    timeEndPeriod(1);
    CloseHandle(out);
    return 0;
}

int toInt(const wchar_t* text) { return static_cast<int>(wcstol(text, nullptr, 10)); }

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*cmdShow*/) {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    frequency = f.QuadPart > 0 ? f.QuadPart : 1;

    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 3) {
        return 64;
    }
    const std::wstring_view mode = argv[1];
    int rc = 64;
    if (mode == L"record" && argc == 7) {
        rc = record(instance, argv[2],
                    RECT{toInt(argv[3]), toInt(argv[4]), toInt(argv[5]), toInt(argv[6])});
    } else if (mode == L"probe" && argc == 3) {
        rc = probe(argv[2]);
    } else if (mode == L"settext" && argc == 3) {
        rc = setText2(argv[2]);
    } else if (mode == L"close" && argc == 3) {
        rc = closeForm(argv[2]);
    } else if (mode == L"hang" && argc == 3) {
        rc = hang(instance, toInt(argv[2]));
    } else if (mode == L"thief" && argc == 4) {
        rc = thief(toInt(argv[2]), argv[3]);
    } else if (mode == L"swap" && argc == 3) {
        SwapMouseButton(toInt(argv[2]) != 0 ? TRUE : FALSE);
        rc = GetSystemMetrics(SM_SWAPBUTTON) == toInt(argv[2]) ? 0 : 1;
    } else if (mode == L"layout" && argc == 4) {
        rc = writeFile(argv[3], morvane::e2e::layoutJson(toInt(argv[2])));
    }
    LocalFree(argv);
    return rc;
}
