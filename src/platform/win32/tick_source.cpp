#include "platform/win32/tick_source.h"

#include <mmsystem.h>

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
}

TickSource::~TickSource() {
    if (raisedPeriod_) {
        timeEndPeriod(1);
    }
    if (timer_ != nullptr) {
        CloseHandle(timer_);
    }
}

Nanos TickSource::now() const {
    LARGE_INTEGER c{};
    QueryPerformanceCounter(&c);
    // Split to keep counter * 1e9 from overflowing after a few days of uptime.
    const LONGLONG whole = c.QuadPart / frequency_;
    const LONGLONG part = c.QuadPart % frequency_;
    return whole * kNanosPerSecond + part * kNanosPerSecond / frequency_;
}

void TickSource::runDue(Form1& form) {
    const Nanos at = now();
    while (const std::optional<TimerId> id = bank_.takeDue(at)) {
        form.timerTick(*id);
    }
}

TickSource::Wake TickSource::wait() {
    const std::optional<Nanos> due = bank_.nextDue();
    DWORD count = 0;
    DWORD timeoutMs = INFINITE;
    if (due) {
        const Nanos ahead = *due - now();
        if (ahead <= 0) {
            return Wake::Tick;
        }
        if (timer_ != nullptr) {
            // Relative rather than absolute: an absolute due time is wall-clock time and would
            // move with every clock adjustment, while the schedule runs on the performance
            // counter.
            LARGE_INTEGER relative{};
            relative.QuadPart = -((ahead + kNanosPer100ns - 1) / kNanosPer100ns);
            if (SetWaitableTimer(timer_, &relative, 0, nullptr, nullptr, FALSE) != FALSE) {
                count = 1;
            }
        }
        if (count == 0) {
            timeoutMs = static_cast<DWORD>((ahead + kNanosPerMilli - 1) / kNanosPerMilli);
        }
    }
    const DWORD r = MsgWaitForMultipleObjectsEx(count, count != 0 ? &timer_ : nullptr, timeoutMs,
                                                QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return r == WAIT_OBJECT_0 + count ? Wake::Input : Wake::Tick;
}

}  // namespace morvane::win32
