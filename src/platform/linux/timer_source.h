#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>
#include <optional>

#include "platform/tick_pump.h"

namespace morvane::qt {

// The three timers on one CLOCK_MONOTONIC timerfd that the tick pump arms at the next due
// instant. A socket notifier is serviced by every Qt event loop, so ticks keep coming inside a
// message box's nested loop, and the absolute deadline keeps the t0 + n*T phase to well under a
// millisecond; the timerfd never fires early, so nothing here spins.
class TimerSource final : public QObject, private WakeTimer {
public:
    using TickHandler = TickPump::TickHandler;

    explicit TimerSource(TickHandler onTick, QObject* parent = nullptr);
    TimerSource(const TimerSource&) = delete;
    TimerSource& operator=(const TimerSource&) = delete;
    TimerSource(TimerSource&&) = delete;
    TimerSource& operator=(TimerSource&&) = delete;
    ~TimerSource() override;

    void setEnabled(TimerId timer, bool enabled) { pump_.setEnabled(timer, enabled); }
    bool setInterval(TimerId timer, std::int64_t milliseconds) {
        return pump_.setInterval(timer, milliseconds);
    }
    void destroyAll() { pump_.destroyAll(); }

    [[nodiscard]] const TimerBank& bank() const { return pump_.bank(); }

    static Nanos clock();

    // A tick is only as punctual as the wake-up of the thread that runs the loop. By default a
    // woken thread may wait out a busy neighbour's whole time slice, 2 to 3 ms, which at 1 ms
    // costs whole beats; a short slice of its own (Linux 6.6 and later) lets it preempt at
    // once. Keeps the thread's policy and nice value. False where the kernel refuses it.
    static bool requestPromptWakeups();

private:
    [[nodiscard]] Nanos now() const override { return clock(); }
    void armWake(std::optional<Nanos> at) override;
    void expired();

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    TickPump pump_;
};

}  // namespace morvane::qt
