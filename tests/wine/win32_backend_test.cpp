// Morvane.exe's Win32 parts in the cases Wine never produces by itself: a cursor read that
// fails, characters an input method commits to the interval box, and a foreground program that
// does not answer. Runs under Wine like the program; prints each failed check and exits nonzero.
#include <windows.h>

#include <imm.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/form1.h"
#include "expect.h"
#include "platform/win32/foreground.h"
#include "platform/win32/form_window.h"
#include "platform/win32/tick_source.h"
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

void imeCharacters(HINSTANCE instance) {
    morvane::win32::TickSource ticks;
    morvane::win32::FormWindow window;
    morvane::win32::Win32Platform ops(window, ticks);
    morvane::Form1 form(ops);
    if (!window.create(instance, form, ticks)) {
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

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*cmdShow*/) {
    cursorReads();
    imeCharacters(instance);
    foregroundRequests();
    return morvane::wine::finish();
}
