#pragma once

#include <windows.h>

namespace morvane::win32 {

// The per-monitor DPI functions of user32 (Windows 10 1607 and later), looked up once at start-up;
// each is null on an older system, where the system-wide DPI serves instead.
struct User32Api {
    UINT(WINAPI* getDpiForWindow)(HWND) = nullptr;
    BOOL(WINAPI* adjustWindowRectExForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT) = nullptr;
    BOOL(WINAPI* systemParametersInfoForDpi)(UINT, UINT, PVOID, UINT, UINT) = nullptr;

    [[nodiscard]] static User32Api load();

    // The DPI of the monitor the window is on.
    [[nodiscard]] UINT windowDpi(HWND hwnd) const;
    // The window rectangle for a client rectangle of a window with these styles at `dpi`.
    void adjustWindowRect(RECT& rect, DWORD style, DWORD exStyle, UINT dpi) const;
    // The message font (what dialogs use) at `dpi`.
    [[nodiscard]] LOGFONTW messageFont(UINT dpi) const;
};

}  // namespace morvane::win32
