#pragma once

#include <windows.h>

#include <atomic>

#include "app/form1.h"
#include "platform/timer_bank.h"

namespace morvane::win32 {

// Drives the TimerBank from a high-resolution waitable timer so that intervals down to 1 ms
// keep their phase: SetTimer would round every interval up to the 15.6 ms system tick.
//
// NOTE: the ticks reach the window as one posted message rather than through a wait in the
// program's own message loop. MessageBoxW runs a modal loop of its own, and ticks must go on
// inside it (F12 seen there ends the program); the owner's WM_ENTERIDLE would be the hook for
// that, but Wine's message box never sends it. Every modal loop, the dialog's as well as the
// ones for moving the window or tracking a menu, dispatches posted messages.
class TickSource {
public:
    TickSource();
    TickSource(const TickSource&) = delete;
    TickSource& operator=(const TickSource&) = delete;
    TickSource(TickSource&&) = delete;
    TickSource& operator=(TickSource&&) = delete;
    ~TickSource();

    // Starts posting `message` to `target` whenever a tick may be due.
    bool start(HWND target, UINT message);

    // QueryPerformanceCounter in nanoseconds.
    [[nodiscard]] Nanos now() const;
    TimerBank& bank() { return bank_; }

    // Points the timer at the bank's next due instant; call after changing the schedule.
    void rearm();

    // For `message`, on the window's thread: delivers the ticks due now, each timer at most once
    // per call so that a handler slower than its interval cannot hold up the message queue.
    void deliver(Form1& form);

private:
    static DWORD WINAPI waiterMain(LPVOID self);
    void wait();
    // Spins out the last stretch before the due instant; false if the schedule moved on.
    bool spinUntilDue();
    [[nodiscard]] Nanos measureLateness();
    [[nodiscard]] Nanos spinLead() const;

    TimerBank bank_;
    HANDLE timer_ = nullptr;
    HANDLE stop_ = nullptr;
    HANDLE thread_ = nullptr;
    // The instant the armed tick is due (kNever: none), read by the waiter while it spins.
    std::atomic<Nanos> due_;
    // What the timer overshoots by on this system.
    Nanos margin_ = 0;
    // How much earlier than due the timer is set for the schedule now armed: the margin while
    // an interval is too short to absorb the overshoot, else 0. Read by the waiter.
    std::atomic<Nanos> lead_{0};
    HWND target_ = nullptr;
    UINT message_ = 0;
    // One tick message in the queue at most: a slow handler must not build a backlog.
    std::atomic<bool> pending_{false};
    std::atomic<bool> stopping_{false};
    bool raisedPeriod_ = false;
    LONGLONG frequency_ = 1;
};

}  // namespace morvane::win32
