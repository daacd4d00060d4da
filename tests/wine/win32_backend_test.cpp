// Morvane.exe's Win32 parts in the cases Wine never produces by itself: a cursor read that
// fails, characters an input method commits to the interval box, a foreground program that
// does not answer, and what each version of Windows or each user setting answers the system
// calls of SystemApi (power throttling, raw keys, swapped buttons, the timers, a failed
// start). Runs under Wine like the program; prints each failed check and exits nonzero.
#include <windows.h>

#include <imm.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/form1.h"
#include "expect.h"
#include "platform/win32/foreground.h"
#include "platform/win32/form_window.h"
#include "platform/win32/program.h"
#include "platform/win32/system_api.h"
#include "platform/win32/tick_source.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace {

using morvane::wine::expect;

// What a failing GetCursorPos may do to its output: anything.
BOOL WINAPI failingCursorRead(LPPOINT p) {
    p->x = 0;
    p->y = 0;
    return FALSE;
}

BOOL WINAPI cursorAt(LPPOINT p) {
    p->x = -1920;
    p->y = 70000;
    return TRUE;
}

void cursorReads() {
    morvane::POINT point{512, 384};
    expect(morvane::win32::readCursorPos(&failingCursorRead, point) == 0, "failure reported");
    expect(point.x == 512 && point.y == 384, "a failed read leaves the point alone");
    expect(morvane::win32::readCursorPos(&cursorAt, point) != 0, "success reported");
    expect(point.x == -1920 && point.y == 70000, "a good read is copied whole");
}

// What the stand-ins below were asked, in order.
std::vector<std::string> asked;

namespace raw {
RAWKEYBOARD next{};
std::vector<RAWINPUTDEVICE> registered;
BOOL WINAPI registerDevices(PCRAWINPUTDEVICE devices, UINT count, UINT size) {
    expect(size == sizeof(RAWINPUTDEVICE), "raw input device size");
    registered.assign(devices, devices + count);
    return TRUE;
}
UINT WINAPI data(HRAWINPUT, UINT command, LPVOID out, PUINT size, UINT header) {
    expect(command == RID_INPUT && header == sizeof(RAWINPUTHEADER) && *size >= sizeof(RAWINPUT),
           "raw input read whole");
    auto* input = static_cast<RAWINPUT*>(out);
    input->header.dwType = RIM_TYPEKEYBOARD;
    input->data.keyboard = next;
    return sizeof(RAWINPUT);
}
SHORT WINAPI stolen(int) { return 0; }  // another program took the "pressed since" bit
}  // namespace raw

void rawKeys(HWND form, morvane::win32::Win32Platform& ops);

// The window as the program builds it: characters an input method commits to Text2, and F12
// as raw input reports it.
void windowInput(HINSTANCE instance) {
    morvane::win32::SystemApi api = morvane::win32::SystemApi::load();
    api.registerRawInputDevices = &raw::registerDevices;
    api.getRawInputData = &raw::data;
    api.getAsyncKeyState = &raw::stolen;
    morvane::win32::TickSource ticks(api);
    morvane::win32::FormWindow window(api);
    morvane::win32::Win32Platform ops(window, ticks, api);
    morvane::Form1 form(ops);
    if (window.create(instance, form, ticks) != ERROR_SUCCESS) {
        expect(false, "the window is created");
        return;
    }
    HWND box = FindWindowExW(window.hwnd(), nullptr, L"Edit", nullptr);
    expect(box != nullptr, "Text2 exists");
    expect(ImmGetContext(box) == nullptr, "Text2 has no input method");

    // Full-width digits and points, an ideographic full stop, then what the filter lets in.
    for (const wchar_t c : std::wstring(L"\uFF10\u30025\uFF0E.\uFF15.7")) {
        SendMessageW(box, WM_IME_CHAR, c, 1);
    }
    expect(window.text(morvane::ControlId::Text2) == L"5.7", "IME characters are filtered");
    SendMessageW(box, WM_CHAR, L'\b', 1);
    SendMessageW(box, WM_CHAR, L'a', 1);
    expect(window.text(morvane::ControlId::Text2) == L"5.", "typed characters still are");
    rawKeys(window.hwnd(), ops);
    window.destroy();
}

// Another program's window in front, answering or not; what was asked of user32.
namespace front {
bool answers = true;
std::vector<std::string> calls;
HWND WINAPI window() { return reinterpret_cast<HWND>(static_cast<INT_PTR>(0x4242)); }
DWORD WINAPI threadOf(HWND /*hwnd*/, LPDWORD /*process*/) { return GetCurrentThreadId() + 4; }
LRESULT WINAPI probe(HWND /*hwnd*/, UINT msg, WPARAM /*wp*/, LPARAM /*lp*/, UINT flags, UINT ms,
                     PDWORD_PTR /*result*/) {
    calls.push_back(msg == WM_NULL && (flags & SMTO_ABORTIFHUNG) != 0 && ms <= 500 ? "probe" : "?");
    return answers ? 1 : 0;
}
BOOL WINAPI attach(DWORD /*own*/, DWORD /*other*/, BOOL on) {
    calls.emplace_back(on != FALSE ? "attach" : "detach");
    return TRUE;
}
BOOL WINAPI take(HWND /*hwnd*/) {
    calls.emplace_back("foreground");
    return TRUE;
}
}  // namespace front

void foregroundRequests() {
    const morvane::win32::ForegroundApi api{&front::window, &front::threadOf, &front::probe,
                                            &front::attach, &front::take};
    using Calls = std::vector<std::string>;
    for (const bool answers : {true, false}) {
        front::answers = answers;
        front::calls.clear();
        morvane::win32::takeForeground(nullptr, api);
        expect(front::calls == (answers ? Calls{"probe", "attach", "foreground", "detach"}
                                        : Calls{"probe", "foreground"}),
               answers ? "joins an answering foreground thread for the request"
                       : "asks without joining a foreground thread that does not answer");
    }
}

// Windows 11, Windows 10 before 21H2 (no timer flag), a refusal of another kind, Windows 7.
namespace throttle {
DWORD refuse = 0;  // the control mask the system refuses, with the error below
DWORD error = 0;
BOOL WINAPI set(HANDLE process, PROCESS_INFORMATION_CLASS what, LPVOID info, DWORD size) {
    const auto* state = static_cast<const PROCESS_POWER_THROTTLING_STATE*>(info);
    expect(process == GetCurrentProcess() && what == ProcessPowerThrottling &&
               size == sizeof(*state) && state->Version == 1 && state->StateMask == 0,
           "throttling is asked off for this process");
    asked.push_back(std::to_string(state->ControlMask));
    if ((state->ControlMask & refuse) != 0) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}
}  // namespace throttle

void powerThrottling() {
    struct Case {
        const char* what;
        bool present;
        DWORD refuse;
        DWORD error;
        std::vector<std::string> asked;
        ULONG kept;
    };
    const Case cases[] = {
        {"Windows 11: speed and timer resolution", true, 0, 0, {"5"}, 5},
        {"Windows 10: speed alone after the timer flag is refused",
         true,
         4,
         ERROR_INVALID_PARAMETER,
         {"5", "1"},
         1},
        {"another refusal is final", true, 5, ERROR_ACCESS_DENIED, {"5"}, 0},
        {"Windows 7: nothing to call", false, 0, 0, {}, 0},
    };
    for (const Case& c : cases) {
        morvane::win32::SystemApi api;
        api.setProcessInformation = c.present ? &throttle::set : nullptr;
        throttle::refuse = c.refuse;
        throttle::error = c.error;
        asked.clear();
        const ULONG kept = morvane::win32::keepFullSpeed(api);
        expect(asked == c.asked && kept == c.kept, c.what);
    }
}

namespace clicks {
int swapped = 0;
int WINAPI metrics(int index) { return index == SM_SWAPBUTTON ? swapped : 0; }
void WINAPI send(DWORD flags, DWORD, DWORD, DWORD, ULONG_PTR) {
    asked.push_back(std::to_string(flags));
}
}  // namespace clicks

// The click is the primary button's: the right button's flags where the user swapped the
// buttons and the system swaps injected input too (Windows), the left's everywhere else.
void primaryClicks() {
    struct Case {
        bool injectedSwap;
        int swapped;
        const char* flags;
    };
    const Case cases[] = {{true, 0, "6"}, {true, 1, "24"}, {false, 1, "6"}, {false, 0, "6"}};
    for (const Case& c : cases) {
        morvane::win32::SystemApi api;
        api.injectedButtonsSwap = c.injectedSwap;
        api.getSystemMetrics = &clicks::metrics;
        api.mouseEvent = &clicks::send;
        clicks::swapped = c.swapped;
        morvane::win32::TickSource ticks(api);
        morvane::win32::FormWindow window(api);
        morvane::win32::Win32Platform ops(window, ticks, api);
        asked.clear();
        ops.mouse_event(morvane::kMouseLeftClick, 0, 0, 0, 0);
        expect(asked == std::vector<std::string>{c.flags},
               std::string("flags ") + c.flags + " with swap setting " + std::to_string(c.swapped) +
                   (c.injectedSwap ? " on Windows" : " on Wine"));
    }
}

namespace timers {
bool highResolution = true;
HANDLE WINAPI create(LPSECURITY_ATTRIBUTES sa, LPCWSTR name, DWORD flags, DWORD access) {
    asked.push_back("create " + std::to_string(flags));
    if ((flags & 2U) != 0 && !highResolution) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateWaitableTimerExW(sa, name, flags, access);
}
MMRESULT WINAPI begin(UINT ms) {
    asked.push_back("begin " + std::to_string(ms));
    return TIMERR_NOERROR;
}
MMRESULT WINAPI end(UINT ms) {
    asked.push_back("end " + std::to_string(ms));
    return TIMERR_NOERROR;
}
}  // namespace timers

// Windows 10 1803 and later take the high-resolution timer; before, a plain one runs with the
// system tick raised to 1 ms for as long as the program does.
void timerPaths() {
    using Calls = std::vector<std::string>;
    for (const bool high : {true, false}) {
        morvane::win32::SystemApi api;
        api.createWaitableTimerEx = &timers::create;
        api.timeBeginPeriod = &timers::begin;
        api.timeEndPeriod = &timers::end;
        timers::highResolution = high;
        asked.clear();
        { const morvane::win32::TickSource ticks(api); }
        expect(
            asked == (high ? Calls{"create 2"} : Calls{"create 2", "create 0", "begin 1", "end 1"}),
            high ? "the high-resolution timer alone" : "the plain timer and a 1 ms tick");
    }
}

// F12 pressed while another program has the focus and takes GetAsyncKeyState's "pressed since"
// bit first: the raw key event still reaches the poll, once per press.
void rawKeys(HWND form, morvane::win32::Win32Platform& ops) {
    expect(raw::registered.size() == 1, "raw keyboard input registered");
    if (raw::registered.size() == 1) {
        const RAWINPUTDEVICE& d = raw::registered[0];
        expect(d.usUsagePage == 1 && d.usUsage == 6 && d.dwFlags == RIDEV_INPUTSINK &&
                   d.hwndTarget == form,
               "the keyboard, also while another window has the focus");
    }
    // Key events, then the poll's answers for F12.
    struct Step {
        USHORT flags;  // RI_KEY_MAKE or RI_KEY_BREAK; 0xFFFF: no event, a poll
        bool nonzero;  // the poll's answer
    };
    const Step steps[] = {
        {0xFFFF, false},                                               // nothing pressed
        {RI_KEY_MAKE, false},  {RI_KEY_BREAK, false}, {0xFFFF, true},  // a tap between polls
        {0xFFFF, false},                                               // reported once
        {RI_KEY_MAKE, false},  {0xFFFF, true},        {0xFFFF, true},  // held
        {RI_KEY_BREAK, false}, {0xFFFF, false},
    };
    int n = 0;
    for (const Step& step : steps) {
        ++n;
        if (step.flags == 0xFFFF) {
            expect((ops.GetAsyncKeyState(morvane::kVkF12) != 0) == step.nonzero,
                   "raw F12, poll " + std::to_string(n));
        } else {
            raw::next = RAWKEYBOARD{};
            raw::next.VKey = static_cast<USHORT>(morvane::kVkF12);
            raw::next.Flags = step.flags;
            SendMessageW(form, WM_INPUT, RIM_INPUTSINK, 0x1234);
        }
    }
    // F7 keeps where the cursor was when its input came, however it has moved since.
    raw::next = RAWKEYBOARD{};
    raw::next.VKey = static_cast<USHORT>(morvane::kVkF7);
    SetCursorPos(321, 123);
    PostMessageW(form, WM_INPUT, RIM_INPUTSINK, 0x1234);
    SetCursorPos(10, 10);
    MSG m{};
    while (PeekMessageW(&m, form, WM_INPUT, WM_INPUT, PM_REMOVE) != FALSE) {
        DispatchMessageW(&m);
    }
    const bool reported = ops.GetAsyncKeyState(morvane::kVkF7) != 0;
    const std::optional<morvane::POINT> at = ops.keyPressPoint(morvane::kVkF7);
    expect(reported && at && at->x == 321 && at->y == 123,
           "F7's press point is where the cursor was as it went down");
}

namespace failure {
std::wstring shown;
int WINAPI box(HWND, LPCWSTR text, LPCWSTR title, UINT) {
    shown = std::wstring(title) + L"|" + text;
    return IDOK;
}
}  // namespace failure

// A start that fails (here: the window class is taken) says why, in the system's words, and
// ends with the error as the exit code rather than silently.
void startupFailure(HINSTANCE instance) {
    morvane::win32::SystemApi api = morvane::win32::SystemApi::load();
    api.messageBox = &failure::box;
    const int rc = morvane::win32::runProgram(instance, SW_HIDE, api);
    const std::wstring reason = morvane::win32::systemErrorText(ERROR_CLASS_ALREADY_EXISTS);
    expect(rc == ERROR_CLASS_ALREADY_EXISTS, "exit code " + std::to_string(rc));
    expect(!reason.empty() && failure::shown.starts_with(L"Morvane|") &&
               failure::shown.find(reason) != std::wstring::npos,
           "the box names the error: " + morvane::win32::utf8(failure::shown));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*cmdShow*/) {
    cursorReads();
    windowInput(instance);
    foregroundRequests();
    powerThrottling();
    primaryClicks();
    timerPaths();
    startupFailure(instance);
    return morvane::wine::finish();
}
