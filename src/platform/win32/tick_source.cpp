#include "platform/win32/tick_source.h"

#include <array>

namespace morvane::win32 {

namespace {

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
// NOLINTNEXTLINE(readability-identifier-naming): the SDK's name, for headers without it
constexpr DWORD CREATE_WAITABLE_TIMER_HIGH_RESOLUTION = 0x00000002;
#endif

constexpr Nanos kNanosPerSecond = 1'000'000'000;
constexpr Nanos kNanosPer100ns = 100;

void armRelative(HANDLE timer, Nanos ahead) {
    // Relative rather than absolute: an absolute due time is wall-clock time and moves with
    // every clock adjustment, while the schedule runs on the performance counter. A relative
    // time must be negative, so "now" is one unit ahead.
    LARGE_INTEGER relative{};
    relative.QuadPart = ahead > 0 ? -((ahead + kNanosPer100ns - 1) / kNanosPer100ns) : -1;
    SetWaitableTimer(timer, &relative, 0, nullptr, nullptr, FALSE);
}

}  // namespace

TickSource::TickSource(const SystemApi& api)
    : api_(api), pump_(*this, [this](TimerId id) {
          if (form_ != nullptr) {
              form_->timerTick(id);
          }
      }) {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    frequency_ = f.QuadPart > 0 ? f.QuadPart : 1;

    // A high-resolution timer on Windows wakes within a fraction of a millisecond; Wine's
    // server rounds every timeout up to whole milliseconds, and a plain timer to the system
    // tick. The pump learns the lateness from the wakes and spins out what the short intervals
    // need.
    // NOLINTNEXTLINE(cppcoreguidelines-prefer-member-initializer): the fallback may replace it
    timer_ = api_.createWaitableTimerEx(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                        TIMER_ALL_ACCESS);
    if (timer_ == nullptr) {
        // Before Windows 10 1803 the flag is refused; a plain timer is only as fine as the
        // system tick, so ask for a 1 ms tick for as long as the program runs.
        timer_ = api_.createWaitableTimerEx(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
        raisedPeriod_ = api_.timeBeginPeriod(1) == TIMERR_NOERROR;
    }
    if (timer_ == nullptr) {
        timerError_ = GetLastError();
    }
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

TickSource::~TickSource() {
    if (thread_ != nullptr) {
        stopping_.store(true);
        SetEvent(stop_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    if (raisedPeriod_) {
        api_.timeEndPeriod(1);
    }
    if (stop_ != nullptr) {
        CloseHandle(stop_);
    }
    if (timer_ != nullptr) {
        CloseHandle(timer_);
    }
}

DWORD TickSource::start(HWND target, UINT message, Form1& form) {
    if (timer_ == nullptr) {
        return timerError_;
    }
    if (stop_ == nullptr) {
        return ERROR_OUTOFMEMORY;
    }
    if (thread_ != nullptr) {
        return ERROR_ALREADY_INITIALIZED;
    }
    target_ = target;
    message_ = message;
    form_ = &form;
    // At normal priority: a waiter spinning out a lead at a raised one could starve the window's
    // thread, and everything else, on a single-core machine.
    thread_ = CreateThread(nullptr, 0, &TickSource::waiterMain, this, 0, nullptr);
    return thread_ != nullptr ? ERROR_SUCCESS : GetLastError();
}

Nanos TickSource::now() const {
    LARGE_INTEGER c{};
    QueryPerformanceCounter(&c);
    // Split to keep counter * 1e9 from overflowing after a few days of uptime.
    const LONGLONG whole = c.QuadPart / frequency_;
    const LONGLONG part = c.QuadPart % frequency_;
    return whole * kNanosPerSecond + part * kNanosPerSecond / frequency_;
}

void TickSource::armWake(std::optional<Nanos> at) {
    if (timer_ == nullptr) {
        return;
    }
    if (at) {
        armRelative(timer_, *at - now());
    } else {
        CancelWaitableTimer(timer_);
    }
}

bool TickSource::postWake() {
    return target_ != nullptr && PostMessageW(target_, message_, 0, 0) != FALSE;
}

void TickSource::relax() { SwitchToThread(); }

DWORD WINAPI TickSource::waiterMain(LPVOID self) {
    static_cast<TickSource*>(self)->wait();
    return 0;
}

void TickSource::wait() {
    const std::array<HANDLE, 2> handles{stop_, timer_};
    while (api_.waitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                                       INFINITE) == WAIT_OBJECT_0 + 1) {
        pump_.waiterWoke(stopping_);
    }
}

}  // namespace morvane::win32
