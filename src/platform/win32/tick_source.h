#pragma once

#include <windows.h>

#include "app/form1.h"
#include "platform/timer_bank.h"

namespace morvane::win32 {

// Drives the TimerBank from a waitable timer so that intervals down to 1 ms keep their phase:
// SetTimer would round every interval up to the 15.6 ms system tick.
class TickSource {
public:
    TickSource();
    TickSource(const TickSource&) = delete;
    TickSource& operator=(const TickSource&) = delete;
    TickSource(TickSource&&) = delete;
    TickSource& operator=(TickSource&&) = delete;
    ~TickSource();

    // QueryPerformanceCounter in nanoseconds.
    [[nodiscard]] Nanos now() const;
    TimerBank& bank() { return bank_; }

    // Delivers the ticks due now, each timer at most once per call: a handler slower than its
    // interval then still lets the caller pump messages between two ticks.
    void runDue(Form1& form);

    enum class Wake : std::uint8_t { Input, Tick };
    // Blocks until the next tick is due or the thread has input (including input that was
    // already seen but not yet removed).
    Wake wait();

    // True when the high-resolution flag was honoured; false means timeBeginPeriod(1) is in use.
    [[nodiscard]] bool highResolution() const { return highResolution_; }

private:
    TimerBank bank_;
    HANDLE timer_ = nullptr;
    bool highResolution_ = false;
    bool raisedPeriod_ = false;
    LONGLONG frequency_ = 1;
};

}  // namespace morvane::win32
