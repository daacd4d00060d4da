#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <optional>

#include "platform/timer_bank.h"

namespace morvane::x11 {

// The three timers on one CLOCK_MONOTONIC timerfd armed at the bank's next due instant. A socket
// notifier is serviced by every Qt event loop, so ticks keep coming inside a message box's
// nested loop, and the absolute deadline keeps the t0 + n*T phase to well under a millisecond.
class TimerSource final : public QObject {
public:
    using TickHandler = std::function<void(TimerId)>;

    explicit TimerSource(TickHandler onTick, QObject* parent = nullptr);
    TimerSource(const TimerSource&) = delete;
    TimerSource& operator=(const TimerSource&) = delete;
    TimerSource(TimerSource&&) = delete;
    TimerSource& operator=(TimerSource&&) = delete;
    ~TimerSource() override;

    void setEnabled(TimerId timer, bool enabled);
    bool setInterval(TimerId timer, std::int64_t milliseconds);
    void destroyAll();

    [[nodiscard]] const TimerBank& bank() const { return bank_; }

    static Nanos now();

    // A tick is only as punctual as the wake-up of the thread that runs the loop. By default a
    // woken thread may wait out a busy neighbour's whole time slice, 2 to 3 ms, which at 1 ms
    // costs whole beats; a short slice of its own (Linux 6.6 and later) lets it preempt at
    // once. Keeps the thread's policy and nice value. False where the kernel refuses it.
    static bool requestPromptWakeups();

private:
    void arm();
    void expired();

    TickHandler onTick_;
    TimerBank bank_;
    int fd_ = -1;
    std::optional<Nanos> armed_;  // what the timerfd holds; empty once it has fired
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace morvane::x11
