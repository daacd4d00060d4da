// Morvane.exe's Win32 parts in the cases Wine never produces by itself: a cursor read that
// fails, and characters an input method commits to the interval box. Runs under Wine like the
// program; prints each failed check and exits nonzero.
#include <windows.h>

#include <imm.h>

#include <cstdio>
#include <string>

#include "app/form1.h"
#include "platform/win32/form_window.h"
#include "platform/win32/tick_source.h"
#include "platform/win32/win32_platform.h"

namespace {

int failures = 0;

void expect(bool ok, const char* what) {
    if (!ok) {
        ++failures;
        std::printf("FAIL %s\n", what);
    }
}

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

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*cmdShow*/) {
    cursorReads();
    imeCharacters(instance);
    std::printf("%s\n", failures == 0 ? "ok" : "failed");
    return failures == 0 ? 0 : 1;
}
