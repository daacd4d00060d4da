#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>

#include "platform/timer_bank.h"

namespace morvane {

// What a backend lends the tick pump: its clock and its one-shot OS wake.
class WakeTimer {
public:
    WakeTimer() = default;
    WakeTimer(const WakeTimer&) = delete;
    WakeTimer& operator=(const WakeTimer&) = delete;
    WakeTimer(WakeTimer&&) = delete;
    WakeTimer& operator=(WakeTimer&&) = delete;

    // Monotonic time. Safe to call from any thread.
    [[nodiscard]] virtual Nanos now() const = 0;
    // One wake at `at` or as soon after as the OS manages, replacing whatever was asked before;
    // none: no wake. The OS may get this wrong (early, late, twice, never); the pump copes.
    // When it comes, the backend calls TickPump::wake() on the window's thread, or, where a
    // waiter thread of its own receives it, TickPump::waiterWoke() on that thread.
    virtual void armWake(std::optional<Nanos> at) = 0;
    // Waiter thread only: queue one call of TickPump::wake() on the window's thread. False if
    // nothing could be queued.
    virtual bool postWake() { return false; }
    // Waiter thread only: one pause while spinning towards a due instant.
    virtual void relax() {}

protected:
    ~WakeTimer() = default;
};

// How late the OS wakes have come lately: the kRank-th largest lateness of the last kWindow wakes
// (about the 90th percentile). What the timer itself adds, every wake or most, is covered;
// a few slow moments are not (a virus scanner reading the program as it starts, a busy core),
// since spinning longer for them would only keep the core busier; and a slow spell is forgotten
// once kWindow punctual wakes have followed it.
//
// Only a wake armed for an instant still ahead says how late the timer is. One armed for an
// instant already past (a lead longer than the interval left after the handler) is answered at
// once, whatever the timer: counting those would mix two kinds of wake, and a lead that swung
// between them would leave every other beat to the timer's whole lateness. While no wake says
// anything, the estimate halves every kFadeAfter, so that a lead a slow spell raised cannot keep
// a core spinning for good; the first wake it leaves in the future tells whether it was needed.
class WakeLateness {
public:
    static constexpr std::size_t kWindow = 32;
    static constexpr std::size_t kRank = 4;
    static constexpr Nanos kFadeAfter = 400 * kNanosPerMilli;

    // All of the window at `late`, as if every recent wake had come that late.
    void fill(Nanos late, Nanos now);
    // A wake came `late` after the instant it was armed for, which was ahead when it was asked.
    void add(Nanos late, Nanos now);
    // A wake that says nothing about the timer.
    void pass(Nanos now);
    [[nodiscard]] Nanos estimate() const { return estimate_; }

private:
    std::array<Nanos, kWindow> samples_{};
    std::size_t next_ = 0;
    Nanos estimate_ = 0;
    Nanos learnt_ = 0;  // when a wake last told something
    bool faded_ = false;
};

// Delivers the ticks of the three timers, the same way on every backend.
//
// Invariants, each tested against a simulated OS timer that misbehaves (the core tests and the
// fuzz target) and on real threads under ThreadSanitizer (tests/stress):
// 1. Whenever some timer ticks, an OS wake is armed or a wake message is pending; where a wake
//    message could not be posted, the safety net's next nudge or the next schedule change takes
//    over. A wake that comes early re-arms for the rest; nothing ever gives up waiting.
// 2. Spurious, duplicate, early and late wakes are harmless: no tick is delivered before its due
//    instant, none is replayed, and none is lost except the beats a late wake skips (the bank
//    moves a late timer to its next instant after now). A wake hands out each timer once at
//    most, so a handler slower than its interval cannot keep the event loop to itself.
// 3. A handler may change any timer (enable, interval), also from inside a nested event loop
//    such as a message box's: every change re-arms, and the wake is re-armed before each
//    handler runs, so ticks keep coming inside the nested loop and the schedule stays whole.
//
// A threaded backend (Win32) receives the OS wake on a waiter thread; the pump decides there
// whether to spin out the last stretch before the due instant (only while some interval is too
// short to absorb the OS timer's overshoot), then has one wake message posted to the window's
// thread. The lead it arms such wakes with follows the lateness of the waiter's recent wakes.
// Everything else runs on the window's thread.
class TickPump {
public:
    using TickHandler = std::function<void(TimerId)>;

    static constexpr Nanos kNever = std::numeric_limits<Nanos>::max();
    // A wake this close before its instant is spun out rather than re-armed.
    static constexpr Nanos kSpinSlack = 100'000;
    // An overshoot beyond this is not worth a spinning core; the schedule stays punctual anyway.
    static constexpr Nanos kMaxLead = 4 * kNanosPerMilli;
    // Intervals up to this many leads long are armed early and spun out to their instant.
    static constexpr Nanos kSpinIntervals = 4;

    TickPump(WakeTimer& os, TickHandler onTick);

    void setEnabled(TimerId timer, bool enabled);
    // Rejects values outside 0..kMaxTimerIntervalMs and keeps the old interval.
    bool setInterval(TimerId timer, std::int64_t milliseconds);
    // Unload: no timer ticks again.
    void destroyAll();
    [[nodiscard]] const TimerBank& bank() const { return bank_; }

    // Tests only, before the waiter starts: a lateness to start from, as if learnt already.
    void presumeLatenessForTesting(Nanos late);
    // How early the wake is armed for the schedule now in force.
    [[nodiscard]] Nanos lead() const { return lead_.load(); }

    // Window's thread: an OS wake or a wake message. Delivers the ticks due now, each timer at most
    // once, so a handler slower than its interval cannot hold the event loop; then re-arms.
    void wake();

    // Window's thread, from a safety net beside the OS wake (a coarse timer of the window's
    // own): a wake if something is overdue, nothing at all otherwise, so that it costs next to
    // nothing while the OS wake does its job.
    void nudge();

    // Waiter thread: the OS wake fired. Spins out the last stretch when the due instant is
    // close and a spin is wanted, then posts one wake message unless one is pending already.
    // `stopping` cuts a spin short at shutdown.
    void waiterWoke(const std::atomic<bool>& stopping);

private:
    // `now`: the clock reading the schedule was last taken at (kNever: none), so that a wake
    // armed for an instant already past is known as one. The clock is not read again here:
    // every tick and schedule change happens at one reading of it.
    void rearm(Nanos now);
    [[nodiscard]] Nanos leadFor() const;

    WakeTimer& os_;
    TickHandler onTick_;
    TimerBank bank_;
    // The lead that short intervals get: the lateness plus the spin slack. Learnt on the waiter
    // thread, read on the window's.
    std::atomic<Nanos> spinLead_{0};
    WakeLateness lateness_;  // waiter thread only, once it runs
    // What was last asked of the OS; empty once the wake it asked for may have been spent.
    std::optional<Nanos> armed_;
    // Shared with the waiter thread: the due instant the armed wake serves and its lead.
    std::atomic<Nanos> due_{kNever};
    std::atomic<Nanos> lead_{0};
    // The instant the armed wake was asked for, if it was still ahead then; kNever otherwise.
    std::atomic<Nanos> timedFor_{kNever};
    std::atomic<bool> wakePending_{false};
    std::atomic<bool> postFailed_{false};
};

}  // namespace morvane
