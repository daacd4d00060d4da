#include "platform/win32/tick_source.h"

#include <mmsystem.h>

#include <array>

namespace morvane::win32 {

namespace {

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
constexpr DWORD CREATE_WAITABLE_TIMER_HIGH_RESOLUTION = 0x00000002;
#endif

constexpr Nanos kNanosPerSecond = 1'000'000'000;
constexpr Nanos kNanosPer100ns = 100;

}  // namespace

TickSource::TickSource() {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    frequency_ = f.QuadPart > 0 ? f.QuadPart : 1;

    timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                    TIMER_ALL_ACCESS);
    highResolution_ = timer_ != nullptr;
    if (timer_ == nullptr) {
        // Before Windows 10 1803 the flag is refused; a plain timer is only as fine as the
        // system tick, so ask for a 1 ms tick for as long as the program runs.
        timer_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
        raisedPeriod_ = timeBeginPeriod(1) == TIMERR_NOERROR;
    }
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

TickSource::~TickSource() {
    if (thread_ != nullptr) {
        SetEvent(stop_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    if (raisedPeriod_) {
        timeEndPeriod(1);
    }
    if (stop_ != nullptr) {
        CloseHandle(stop_);
    }
    if (timer_ != nullptr) {
        CloseHandle(timer_);
    }
}

bool TickSource::start(HWND target, UINT message) {
    if (timer_ == nullptr || stop_ == nullptr || thread_ != nullptr) {
        return false;
    }
    target_ = target;
    message_ = message;
    thread_ = CreateThread(nullptr, 0, &TickSource::waiterMain, this, 0, nullptr);
    if (thread_ == nullptr) {
        return false;
    }
    // The window's thread runs the program; the waiter only has to be punctual.
    SetThreadPriority(thread_, THREAD_PRIORITY_TIME_CRITICAL);
    rearm();
    return true;
}

Nanos TickSource::now() const {
    LARGE_INTEGER c{};
    QueryPerformanceCounter(&c);
    // Split to keep counter * 1e9 from overflowing after a few days of uptime.
    const LONGLONG whole = c.QuadPart / frequency_;
    const LONGLONG part = c.QuadPart % frequency_;
    return whole * kNanosPerSecond + part * kNanosPerSecond / frequency_;
}

void TickSource::rearm() {
    if (timer_ == nullptr) {
        return;
    }
    const std::optional<Nanos> due = bank_.nextDue();
    if (!due) {
        CancelWaitableTimer(timer_);
        return;
    }
    // Relative rather than absolute: an absolute due time is wall-clock time and moves with
    // every clock adjustment, while the schedule runs on the performance counter. Zero would
    // mean "now" too, but a relative time must be negative.
    const Nanos ahead = *due - now();
    LARGE_INTEGER relative{};
    relative.QuadPart = ahead > 0 ? -((ahead + kNanosPer100ns - 1) / kNanosPer100ns) : -1;
    SetWaitableTimer(timer_, &relative, 0, nullptr, nullptr, FALSE);
}

void TickSource::deliver(Form1& form) {
    pending_.store(false);
    const Nanos at = now();
    while (const std::optional<TimerId> id = bank_.takeDue(at)) {
        // Armed before the handler runs: it may sit in a message box for minutes, and the
        // ticks have to reach that box's modal loop meanwhile.
        rearm();
        form.timerTick(*id);
    }
    rearm();
}

DWORD WINAPI TickSource::waiterMain(LPVOID self) {
    static_cast<TickSource*>(self)->wait();
    return 0;
}

void TickSource::wait() {
    const std::array<HANDLE, 2> handles{stop_, timer_};
    for (;;) {
        const DWORD r = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(),
                                               FALSE, INFINITE);
        if (r != WAIT_OBJECT_0 + 1) {
            return;
        }
        if (!pending_.exchange(true) && PostMessageW(target_, message_, 0, 0) == FALSE) {
            pending_.store(false);
        }
    }
}

}  // namespace morvane::win32
