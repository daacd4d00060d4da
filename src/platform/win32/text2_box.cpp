#include "platform/win32/text2_box.h"

#include <commctrl.h>
#include <imm.h>

#include <cstdint>

namespace morvane::win32 {

namespace {

constexpr UINT_PTR kSubclass = 1;

LRESULT CALLBACK boxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR subclassId,
                         DWORD_PTR formPtr) {
    switch (msg) {
    case WM_CHAR:
    // The box has no input method, but a character an IME commits anyway (a full-width digit,
    // "。") is a typed character like any other and goes through the same filter.
    case WM_IME_CHAR: {
        auto* form = reinterpret_cast<Form1*>(formPtr);
        const auto code = static_cast<std::int16_t>(static_cast<std::uint16_t>(wp));
        const std::int16_t kept = form->text2KeyPress(code);
        if (kept == 0) {
            return 0;
        }
        // As WM_CHAR either way: the edit control's own WM_IME_CHAR handling would let
        // DefWindowProc turn it into a WM_CHAR that comes back through here.
        return DefSubclassProc(hwnd, WM_CHAR, static_cast<WPARAM>(static_cast<std::uint16_t>(kept)),
                               lp);
    }
    case WM_IME_COMPOSITION:
        // The edit control inserts a committed string whole, past the filter; the default
        // handling hands it over as WM_IME_CHAR instead, one character at a time.
        if ((static_cast<DWORD>(lp) & GCS_RESULTSTR) != 0) {
            return DefWindowProcW(hwnd, msg, wp, lp);
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, &boxProc, subclassId);
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace

void filterTyping(HWND box, Form1& form) {
    SetWindowSubclass(box, &boxProc, kSubclass, reinterpret_cast<DWORD_PTR>(&form));
    // Only digits and one point belong in the box, typed one by one through the filter; an input
    // method would compose text around it (as on Linux, where the box has none).
    ImmAssociateContextEx(box, nullptr, 0);
}

}  // namespace morvane::win32
