// Test helper for the Wine end-to-end tests, run in the same Wine session as Morvane.exe.
//
//   recorder.exe record <log>   a window that appends "down <x> <y> <ns>" to <log> for every
//                               left-button press it receives (screen pixels,
//                               QueryPerformanceCounter in ns), and "key <vk> <ns>" for every
//                               key pressed while it has the focus
//   recorder.exe probe <out>    writes what Morvane's windows show, as Win32 sees it:
//                               "form <iconic>", "client <w> <h>", "focus <class> <text>",
//                               "child <class> <x> <y> <w> <h> <text>" per control,
//                               "text2 <text>", "label <text>" per label,
//                               "box <text>" per open message box titled "Morvane"
//   recorder.exe close <out>    sends Morvane's window the system menu's Close command and
//                               writes "close <ns>", the time it did so
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/layout.h"

namespace {

constexpr wchar_t kRecorderClass[] = L"MorvaneRecorder";

HANDLE logFile = INVALID_HANDLE_VALUE;
LONGLONG frequency = 1;

std::wstring widen(std::string_view s) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::string narrow(std::wstring_view s) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

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

HANDLE createOutput(const wchar_t* path, bool append) {
    return CreateFileW(path, append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                       append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

long long nowNs() {
    LARGE_INTEGER c{};
    QueryPerformanceCounter(&c);
    return c.QuadPart / frequency * 1'000'000'000LL +
           c.QuadPart % frequency * 1'000'000'000LL / frequency;
}

LRESULT CALLBACK recorderProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_LBUTTONDOWN: {
        const long long at = nowNs();
        POINT p{static_cast<short>(lp & 0xFFFF), static_cast<short>((lp >> 16) & 0xFFFF)};
        ClientToScreen(hwnd, &p);
        // One write per press, so the log is complete whenever the test reads it.
        writeAll(logFile, "down " + std::to_string(p.x) + " " + std::to_string(p.y) + " " +
                              std::to_string(at) + "\n");
        return 0;
    }
    case WM_KEYDOWN:
        if ((lp & (1 << 30)) == 0) {  // the press, not its auto-repeats
            writeAll(logFile, "key " + std::to_string(wp) + " " + std::to_string(nowNs()) + "\n");
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

int record(HINSTANCE instance, const wchar_t* path) {
    logFile = createOutput(path, false);
    if (logFile == INVALID_HANDLE_VALUE) {
        return 2;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &recorderProc;
    wc.hInstance = instance;
    wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    wc.lpszClassName = kRecorderClass;
    RegisterClassExW(&wc);
    HWND hwnd = CreateWindowExW(0, kRecorderClass, kRecorderClass, WS_POPUP | WS_VISIBLE, 600, 100,
                                500, 400, nullptr, nullptr, instance, nullptr);
    if (hwnd == nullptr) {
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

HWND findForm() { return FindWindowW(nullptr, widen(morvane::kFormCaption).c_str()); }

BOOL CALLBACK collectChild(HWND child, LPARAM out) {
    reinterpret_cast<std::vector<HWND>*>(out)->push_back(child);
    return TRUE;
}

BOOL CALLBACK collectBox(HWND top, LPARAM out) {
    if (className(top) == L"#32770" && windowText(top) == L"Morvane" && IsWindowVisible(top)) {
        reinterpret_cast<std::vector<HWND>*>(out)->push_back(top);
    }
    return TRUE;
}

int probe(const wchar_t* path) {
    std::string report;
    if (HWND form = findForm(); form != nullptr) {
        RECT client{};
        GetClientRect(form, &client);
        report += "form " + std::to_string(IsIconic(form) ? 1 : 0) + "\n";
        report +=
            "client " + std::to_string(client.right) + " " + std::to_string(client.bottom) + "\n";
        GUITHREADINFO gui{};
        gui.cbSize = sizeof(gui);
        if (GetGUIThreadInfo(GetWindowThreadProcessId(form, nullptr), &gui) &&
            gui.hwndFocus != nullptr) {
            report += "focus " + narrow(className(gui.hwndFocus)) + " " +
                      narrow(windowText(gui.hwndFocus)) + "\n";
        }
        std::vector<HWND> children;
        EnumChildWindows(form, &collectChild, reinterpret_cast<LPARAM>(&children));
        for (HWND child : children) {
            const std::wstring cls = className(child);
            RECT r{};
            GetWindowRect(child, &r);
            MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
            report += "child " + narrow(cls) + " " + std::to_string(r.left) + " " +
                      std::to_string(r.top) + " " + std::to_string(r.right - r.left) + " " +
                      std::to_string(r.bottom - r.top) + " " + narrow(windowText(child)) + "\n";
            if (cls == L"Edit") {
                report += "text2 " + narrow(windowText(child)) + "\n";
            } else if (cls == L"Static") {
                report += "label " + narrow(windowText(child)) + "\n";
            }
        }
    }
    std::vector<HWND> boxes;
    EnumWindows(&collectBox, reinterpret_cast<LPARAM>(&boxes));
    for (HWND box : boxes) {
        // The prompt is the box's static text, control id 0xFFFF.
        report += "box " + narrow(windowText(GetDlgItem(box, 0xFFFF))) + "\n";
    }
    HANDLE out = createOutput(path, false);
    if (out == INVALID_HANDLE_VALUE) {
        return 2;
    }
    writeAll(out, report);
    CloseHandle(out);
    return 0;
}

int closeForm(const wchar_t* path) {
    HWND form = findForm();
    if (form == nullptr) {
        return 1;
    }
    const long long at = nowNs();
    PostMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0);
    HANDLE out = createOutput(path, false);
    if (out == INVALID_HANDLE_VALUE) {
        return 2;
    }
    writeAll(out, "close " + std::to_string(at) + "\n");
    CloseHandle(out);
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*cmdShow*/) {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    frequency = f.QuadPart > 0 ? f.QuadPart : 1;

    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 2) {
        return 64;
    }
    const std::wstring_view mode = argv[1];
    int rc = 64;
    if (mode == L"record" && argc == 3) {
        rc = record(instance, argv[2]);
    } else if (mode == L"probe" && argc == 3) {
        rc = probe(argv[2]);
    } else if (mode == L"close" && argc == 3) {
        rc = closeForm(argv[2]);
    }
    LocalFree(argv);
    return rc;
}
