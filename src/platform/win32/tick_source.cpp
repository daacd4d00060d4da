#include "platform/win32/tick_source.h"

#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <limits>

namespace morvane::win32 {

namespace {

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
// NOLINTNEXTLINE(readability-identifier-naming): the SDK's name, for headers without it
constexpr DWORD CREATE_WAITABLE_TIMER_HIGH_RESOLUTION = 0x00000002;
#endif

constexpr Nanos kNanosPerSecond = 1'000'000'000;
constexpr Nanos kNanosPer100ns = 100;
constexpr Nanos kNever = std::numeric_limits<Nanos>::max();
constexpr Nanos kProbeWait = 200'000;
constexpr int kProbes = 5;
constexpr Nanos kMarginSlack = 100'000;
constexpr Nanos kMaxMargin = 4 * kNanosPerMilli;
// Intervals up to this many margins long are spun out to their due instant.
constexpr Nanos kSpinIntervals = 4;

void armRelative(HANDLE timer, Nanos ahead) {
    // Relative rather than absolute: an absolute due time is wall-clock time and moves with
    // every clock adjustment, while the schedule runs on the performance counter. A relative
    // time must be negative, so "now" is one unit ahead.
    LARGE_INTEGER relative{};
    relative.QuadPart = ahead > 0 ? -((ahead + kNanosPer100ns - 1) / kNanosPer100ns) : -1;
    SetWaitableTimer(timer, &relative, 0, nullptr, nullptr, FALSE);
}

}  // namespace

TickSource::TickSource() : due_(kNever) {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    frequency_ = f.QuadPart > 0 ? f.QuadPart : 1;

    // NOLINTNEXTLINE(cppcoreguidelines-prefer-member-initializer): the fallback may replace it
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                    TIMER_ALL_ACCESS);
    if (timer_ == nullptr) {
        // Before Windows 10 1803 the flag is refused; a plain timer is only as fine as the
        // system tick, so ask for a 1 ms tick for as long as the program runs.
        timer_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
        raisedPeriod_ = timeBeginPeriod(1) == TIMERR_NOERROR;
    }
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    margin_ = timer_ != nullptr ? measureLateness() : 0;
}

Nanos TickSource::measureLateness() {
    // A high-resolution timer on Windows wakes within a fraction of a millisecond; Wine's
    // server rounds every timeout up to whole milliseconds, and a plain timer to the system
    // tick. Whatever the overshoot here, it is made up for by spinning.
    Nanos worst = 0;
    for (int i = 0; i < kProbes; ++i) {
        const Nanos start = now();
        armRelative(timer_, kProbeWait);
        WaitForSingleObject(timer_, 100);
        worst = std::max(worst, now() - start - kProbeWait);
    }
    return std::min(worst + kMarginSlack, kMaxMargin);
}

TickSource::~TickSource() {
    if (thread_ != nullptr) {
        stopping_.store(true);
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
    due_.store(due.value_or(kNever));
    if (!due) {
        CancelWaitableTimer(timer_);
        return;
    }
    const Nanos lead = spinLead();
    lead_.store(lead);
    armRelative(timer_, *due - lead - now());
}

Nanos TickSource::spinLead() const {
    // Spinning holds a core for the length of the margin, so only short intervals get it:
    // a longer one keeps its period anyway, since every tick wakes about equally late.
    for (int i = 0; i < kTimerCount; ++i) {
        const auto id = static_cast<TimerId>(i);
        if (bank_.ticking(id) && bank_.interval(id) * kNanosPerMilli <= kSpinIntervals * margin_) {
            return margin_;
        }
    }
    return 0;
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
        if (spinUntilDue() && !pending_.exchange(true) &&
            PostMessageW(target_, message_, 0, 0) == FALSE) {
            pending_.store(false);
        }
    }
}

bool TickSource::spinUntilDue() {
    for (;;) {
        const Nanos due = due_.load();
        const Nanos ahead = due == kNever ? kNever : due - now();
        if (ahead <= 0) {
            return true;
        }
        // Rescheduled further out (or stopped): the timer has been set again meanwhile.
        if (ahead > lead_.load() + kMarginSlack || stopping_.load()) {
            return false;
        }
        SwitchToThread();
    }
}

}  // namespace morvane::win32
