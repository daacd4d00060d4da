#pragma once

#include <windows.h>

namespace morvane::win32 {

// The user32 calls that bring a window to the front. A test puts stand-ins in their place to
// play a foreground program that has stopped answering.
struct ForegroundApi {
    HWND(WINAPI* getForegroundWindow)() = &GetForegroundWindow;
    DWORD(WINAPI* getWindowThreadProcessId)(HWND, LPDWORD) = &GetWindowThreadProcessId;
    LRESULT(WINAPI* sendMessageTimeout)
    (HWND, UINT, WPARAM, LPARAM, UINT, UINT, PDWORD_PTR) = &SendMessageTimeoutW;
    BOOL(WINAPI* attachThreadInput)(DWORD, DWORD, BOOL) = &AttachThreadInput;
    BOOL(WINAPI* setForegroundWindow)(HWND) = &SetForegroundWindow;
};

// How long the foreground window may take to answer before it counts as not answering.
inline constexpr UINT kForegroundAnswerMs = 100;

// Asks for the foreground for `window`, which belongs to this thread. A background program's
// request is refused under the foreground lock, so this thread joins the foreground thread's
// input for the moment of the request; but only when that thread's window answers: joining the
// input of a hung thread can block this one, which delivers every tick, the F12 poll included.
void takeForeground(HWND window, const ForegroundApi& api = {});

// While it lives, every message box this thread opens for a window of its own is made topmost
// as it activates. Windows does that for MB_TOPMOST by itself; Wine does not.
class TopmostBoxes {
public:
    TopmostBoxes();
    ~TopmostBoxes();
    TopmostBoxes(const TopmostBoxes&) = delete;
    TopmostBoxes& operator=(const TopmostBoxes&) = delete;
    TopmostBoxes(TopmostBoxes&&) = delete;
    TopmostBoxes& operator=(TopmostBoxes&&) = delete;

private:
    static LRESULT CALLBACK onCbt(int code, WPARAM wp, LPARAM lp);

    HHOOK hook_;
};

}  // namespace morvane::win32
