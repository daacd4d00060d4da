#pragma once

#include <windows.h>

#include <mmsystem.h>

#include <cstdint>
#include <string>

namespace morvane::win32 {

// A function of a system DLL by name, null where this Windows version lacks it. GetProcAddress
// hands back a generic pointer; going through void(*)() keeps GCC's -Wcast-function-type quiet
// while staying standard C++.
template <typename Fn>
void lookUp(HMODULE module, const char* name, Fn& out) {
    using Generic = void (*)();
    out = module != nullptr
              ? reinterpret_cast<Fn>(reinterpret_cast<Generic>(GetProcAddress(module, name)))
              : nullptr;
}

// The system calls whose outcome depends on the Windows version, the user's settings or a
// failure that only a real machine produces: bound once at start-up, and replaced by stand-ins
// in the backend's tests.
struct SystemApi {
    // Windows 8 and later; null on Windows 7, where nothing throttles a process anyway.
    BOOL(WINAPI* setProcessInformation)
    (HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD) = nullptr;
    // Per-monitor DPI, Windows 10 1607 and later; null before, where the system-wide DPI serves
    // instead.
    UINT(WINAPI* getDpiForWindow)(HWND) = nullptr;
    BOOL(WINAPI* adjustWindowRectExForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT) = nullptr;
    BOOL(WINAPI* systemParametersInfoForDpi)(UINT, UINT, PVOID, UINT, UINT) = nullptr;
    BOOL(WINAPI* registerRawInputDevices)(PCRAWINPUTDEVICE, UINT, UINT) = &RegisterRawInputDevices;
    UINT(WINAPI* getRawInputData)(HRAWINPUT, UINT, LPVOID, PUINT, UINT) = &GetRawInputData;
    SHORT(WINAPI* getAsyncKeyState)(int) = &GetAsyncKeyState;
    int(WINAPI* getSystemMetrics)(int) = &GetSystemMetrics;
    void(WINAPI* mouseEvent)(DWORD, DWORD, DWORD, DWORD, ULONG_PTR) = &mouse_event;
    HANDLE(WINAPI* createWaitableTimerEx)
    (LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD, DWORD) = &CreateWaitableTimerExW;
    // The tick waiter's wait, which a thread that got stuck would stop returning from.
    DWORD(WINAPI* waitForMultipleObjects)
    (DWORD, const HANDLE*, BOOL, DWORD) = &WaitForMultipleObjects;
    MMRESULT(WINAPI* timeBeginPeriod)(UINT) = &::timeBeginPeriod;
    MMRESULT(WINAPI* timeEndPeriod)(UINT) = &::timeEndPeriod;
    int(WINAPI* messageBox)(HWND, LPCWSTR, LPCWSTR, UINT) = &MessageBoxW;
    // HACK: Wine leaves injected button input unswapped when the user swaps the buttons, where
    // Windows swaps it; only ntdll tells the two apart (it exports wine_get_version).
    bool injectedButtonsSwap = true;

    // The real functions, the version-dependent ones looked up by name.
    [[nodiscard]] static SystemApi load();
};

// The DPI of the monitor the window is on.
[[nodiscard]] UINT windowDpi(const SystemApi& api, HWND hwnd);
// The window rectangle for a client rectangle of a window with these styles at `dpi`.
void adjustWindowRect(const SystemApi& api, RECT& rect, DWORD style, DWORD exStyle, UINT dpi);
// The message font (what dialogs use) at `dpi`.
[[nodiscard]] LOGFONTW messageFont(const SystemApi& api, UINT dpi);

// Opts the process out of power throttling, which Windows 11 applies to a process whose windows
// are all minimized (lower clocks, efficiency cores, timer resolution requests ignored): exactly
// when Morvane clicks. Windows 10 before 21H2 refuses the timer flag, and gets the rest.
// Returns the control mask that was accepted, 0 if none was.
ULONG keepFullSpeed(const SystemApi& api);

// Raw keyboard input for `window`, also while another program has the focus, so that a key
// press reaches the program even when another program takes GetAsyncKeyState's
// "pressed since the last query" bit first.
bool listenToRawKeys(const SystemApi& api, HWND window);

// A key press or release read out of a WM_INPUT message; vk 0 when it is no keyboard input.
struct RawKey {
    int vk = 0;
    bool down = false;
};
[[nodiscard]] RawKey readRawKey(const SystemApi& api, LPARAM input);

// mouse_event flags for a click of the primary button, from the left-button flags the program
// asks for: with the buttons swapped, Windows applies the swap to injected input as well, so
// the primary (left-hand) function is the right button's flags.
[[nodiscard]] DWORD primaryButtonFlags(const SystemApi& api, std::uint32_t leftFlags);

// A start-up that failed with `error`: says so, with the system's text for it, and returns the
// exit code.
int reportStartupFailure(const SystemApi& api, DWORD error);

// The system's own text for an error code, without the trailing line break.
[[nodiscard]] std::wstring systemErrorText(DWORD error);

}  // namespace morvane::win32
