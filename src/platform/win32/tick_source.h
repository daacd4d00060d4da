#pragma once

#include <windows.h>

#include <atomic>

#include "app/form1.h"
#include "platform/tick_pump.h"
#include "platform/win32/system_api.h"

namespace morvane::win32 {

// The tick pump's OS wake on Windows: a high-resolution waitable timer with a waiter thread, so
// that intervals down to 1 ms keep their phase (SetTimer would round every interval up to the
// 15.6 ms system tick).
//
// NOTE: the ticks reach the window as one posted message rather than through a wait in the
// program's own message loop. MessageBoxW runs a modal loop of its own, and ticks must go on
// inside it (F12 seen there ends the program); the owner's WM_ENTERIDLE would be the hook for
// that, but Wine's message box never sends it. Every modal loop, the dialog's as well as the
// ones for moving the window or tracking a menu, dispatches posted messages.
// NOLINTNEXTLINE(cppcoreguidelines-virtual-class-destructor): final, never deleted via a base
class TickSource final : private WakeTimer {
public:
    explicit TickSource(const SystemApi& api);
    TickSource(const TickSource&) = delete;
    TickSource& operator=(const TickSource&) = delete;
    TickSource(TickSource&&) = delete;
    TickSource& operator=(TickSource&&) = delete;
    ~TickSource();

    // Starts the waiter: from now on it posts `message` to `target` whenever a tick may be due,
    // and the ticks go to `form`. ERROR_SUCCESS, or what stopped it.
    DWORD start(HWND target, UINT message, Form1& form);

    TickPump& pump() { return pump_; }

    // On the window's thread, for `message`: delivers what is due.
    void deliver() { pump_.wake(); }
    // On the window's thread, from the window's safety-net timer: delivers what is overdue.
    void nudge() { pump_.nudge(); }

private:
    [[nodiscard]] Nanos now() const override;
    void armWake(std::optional<Nanos> at) override;
    bool postWake() override;
    void relax() override;

    static DWORD WINAPI waiterMain(LPVOID self);
    void wait();

    const SystemApi& api_;
    HANDLE timer_ = nullptr;
    DWORD timerError_ = ERROR_SUCCESS;  // why there is no timer_
    HANDLE stop_ = nullptr;
    HANDLE thread_ = nullptr;
    HWND target_ = nullptr;
    UINT message_ = 0;
    Form1* form_ = nullptr;
    std::atomic<bool> stopping_{false};
    bool raisedPeriod_ = false;
    LONGLONG frequency_ = 1;
    // Last: the waiter thread is stopped before anything it uses goes away.
    TickPump pump_;
};

}  // namespace morvane::win32
