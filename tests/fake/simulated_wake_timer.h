#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "platform/tick_pump.h"

namespace morvane::testing {

// An OS one-shot timer on a virtual clock, for driving a TickPump the way each backend does,
// including the ways a real OS timer misbehaves: early, late, twice, spuriously or not at all.
class SimulatedWakeTimer final : public WakeTimer {
public:
    // Direct: the wake reaches the window's thread itself (a timerfd in the event loop).
    // Posted: a waiter thread receives it and posts a wake message (Morvane.exe).
    enum class Delivery : std::uint8_t { Direct, Posted };

    // What the OS does with one request for a wake at `at`.
    struct Fault {
        Nanos offset = 0;        // negative: early, positive: late
        bool lost = false;       // never comes
        Nanos repeatAfter = -1;  // >= 0: comes a second time this long after the first
    };
    using FaultPlan = std::function<Fault(Nanos at, Nanos now)>;

    // `resolution`: however early a wake is, it comes no sooner than this after it was asked
    // for (a real timer fires at its next clock tick at the soonest).
    explicit SimulatedWakeTimer(Delivery delivery, Nanos resolution = 0)
        : delivery_(delivery), resolution_(resolution) {}

    void attach(TickPump& pump) { pump_ = &pump; }
    void setFaults(FaultPlan plan) { faults_ = std::move(plan); }
    // A wake out of nowhere at `at`.
    void addSpurious(Nanos at) { extra_.push_back(at); }
    // A coarse timer of the window's own that calls TickPump::nudge() every `period`.
    void setSafetyNet(Nanos period);
    // The next `count` wake messages cannot be posted (a full or closed message queue).
    void failPosts(int count) { failingPosts_ = count; }
    // Time a tick handler takes: the clock moves on and nothing is delivered meanwhile.
    void spend(Nanos duration) { now_ += duration; }

    // Runs the virtual clock to `until`, delivering every wake due on the way. Reentrant: a tick
    // handler may call it to model a nested event loop.
    void runUntil(Nanos until);

    // Whether the pump's last request asked for a wake that has not been spent yet.
    [[nodiscard]] bool armed() const { return armedFor_.has_value(); }
    [[nodiscard]] bool messagePending() const { return messagePending_; }
    // How many times the window's thread has called TickPump::wake() so far.
    [[nodiscard]] int pumpWakes() const { return pumpWakes_; }

    // WakeTimer
    [[nodiscard]] Nanos now() const override { return now_; }
    void armWake(std::optional<Nanos> at) override;
    bool postWake() override;
    void relax() override;

private:
    static constexpr Nanos kRelaxStep = 10'000;

    [[nodiscard]] std::optional<Nanos> nextEvent() const;

    Delivery delivery_;
    Nanos resolution_;
    TickPump* pump_ = nullptr;
    FaultPlan faults_;
    Nanos now_ = 0;
    std::optional<Nanos> armedFor_;  // what was asked
    std::optional<Nanos> fireAt_;    // when the OS will actually deliver it
    std::vector<Nanos> extra_;       // repeats and spurious wakes still to come
    Nanos netPeriod_ = 0;
    Nanos nextNet_ = 0;
    bool messagePending_ = false;
    std::atomic<bool> stopping_{false};
    int failingPosts_ = 0;
    int pumpWakes_ = 0;
};

}  // namespace morvane::testing
