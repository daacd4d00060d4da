#include "platform/tick_pump.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace morvane {

void WakeLateness::fill(Nanos late, Nanos now) {
    samples_.fill(std::max(late, Nanos{0}));
    estimate_ = samples_.front();
    learnt_ = now;
}

void WakeLateness::add(Nanos late, Nanos now) {
    // The first wake after a fade tells whether the lead was still needed: if so, the estimate
    // is back at once, for the price of one late wake, not of the kRank it takes otherwise.
    if (std::exchange(faded_, false) && late > estimate_) {
        fill(late, now);
        return;
    }
    samples_.at(next_) = std::max(late, Nanos{0});
    next_ = (next_ + 1) % kWindow;
    std::array<Nanos, kWindow> sorted = samples_;
    std::nth_element(sorted.begin(), sorted.begin() + (kRank - 1), sorted.end(), std::greater<>());
    estimate_ = sorted.at(kRank - 1);
    learnt_ = now;
}

void WakeLateness::pass(Nanos now) {
    if (now - learnt_ >= kFadeAfter) {
        fill(estimate_ / 2, now);
        faded_ = true;
    }
}

namespace {

Nanos leadFromLateness(Nanos late) {
    return std::min(late + TickPump::kSpinSlack, TickPump::kMaxLead);
}

}  // namespace

TickPump::TickPump(WakeTimer& os, TickHandler onTick) : os_(os), onTick_(std::move(onTick)) {}

void TickPump::setEnabled(TimerId timer, bool enabled) {
    const Nanos now = os_.now();
    bank_.setEnabled(timer, enabled, now);
    rearm(now);
}

bool TickPump::setInterval(TimerId timer, std::int64_t milliseconds) {
    const Nanos now = os_.now();
    const bool accepted = bank_.setInterval(timer, milliseconds, now);
    rearm(now);
    return accepted;
}

void TickPump::destroyAll() {
    bank_.destroyAll();
    rearm(kNever);
}

void TickPump::presumeLatenessForTesting(Nanos late) {
    const Nanos now = os_.now();
    lateness_.fill(late, now);
    spinLead_.store(leadFromLateness(lateness_.estimate()));
    rearm(now);
}

Nanos TickPump::leadFor() const {
    // Spinning holds a core for the length of the lead, so only short intervals get it: a
    // longer one keeps its period anyway, since every wake comes about equally late.
    const Nanos spinLead = spinLead_.load();
    for (int i = 0; i < kTimerCount; ++i) {
        const auto id = static_cast<TimerId>(i);
        if (bank_.ticking(id) && bank_.interval(id) * kNanosPerMilli <= kSpinIntervals * spinLead) {
            return spinLead;
        }
    }
    return 0;
}

void TickPump::rearm(Nanos now) {
    const std::optional<Nanos> due = bank_.nextDue();
    const Nanos lead = due ? leadFor() : 0;
    // The waiter reads the pair without a lock; a torn read only makes it post a wake a little
    // early or spin a little longer, and wake() sorts out either.
    lead_.store(lead);
    due_.store(due.value_or(kNever));
    const std::optional<Nanos> at = due ? std::optional<Nanos>(*due - lead) : std::nullopt;
    // A wake whose message could not be posted is spent all the same.
    if (postFailed_.exchange(false)) {
        armed_.reset();
    }
    // Every tick re-arms before and after its handler; one call is enough when the handler left
    // the schedule alone.
    if (at == armed_) {
        return;
    }
    armed_ = at;
    timedFor_.store(at && *at > now ? *at : kNever);
    os_.armWake(at);
}

void TickPump::wake() {
    wakePending_.store(false);
    // Whatever woke us, the OS wake may be spent; ask again for whatever is due next.
    armed_.reset();
    // Each timer at most once per wake, so a handler slower than its interval cannot hold the
    // event loop; each tick placed by the time it is handed out, which may be much later than
    // the wake when an earlier handler sat in a nested loop.
    const Nanos woke = os_.now();
    for (;;) {
        const Nanos now = os_.now();
        const std::optional<TimerId> id = bank_.takeDue(woke, now);
        // Armed before the handler runs: it may sit in a message box for minutes, and ticks
        // have to reach that box's event loop meanwhile.
        rearm(now);
        if (!id) {
            break;
        }
        onTick_(*id);
    }
}

void TickPump::nudge() {
    if (const std::optional<Nanos> due = bank_.nextDue(); due && *due <= os_.now()) {
        wake();
    }
}

void TickPump::waiterWoke(const std::atomic<bool>& stopping) {
    // How late this wake came for the instant it was armed for; the lead of the wakes to come
    // follows. A wake for a schedule that has moved since reads as early or late by the move,
    // which the percentile shrugs off.
    if (due_.load() != kNever) {
        const Nanos now = os_.now();
        if (const Nanos at = timedFor_.load(); at != kNever) {
            lateness_.add(now - at, now);
        } else {
            lateness_.pass(now);
        }
        spinLead_.store(leadFromLateness(lateness_.estimate()));
    }
    for (;;) {
        const Nanos due = due_.load();
        if (due == kNever || stopping.load()) {
            break;
        }
        const Nanos ahead = due - os_.now();
        // Due, or too far off to spin for: an early wake, or a schedule that moved meanwhile.
        // Either way the window's thread hears of it and re-arms; a waiter that went back to
        // waiting here instead could wait for good, since nobody would set the timer again.
        if (ahead <= 0 || ahead > lead_.load() + kSpinSlack) {
            break;
        }
        os_.relax();
    }
    if (!stopping.load() && !wakePending_.exchange(true) && !os_.postWake()) {
        // Nothing reaches the window's thread now but the safety net's nudge, or a schedule
        // change made there meanwhile, which must then arm a wake of its own.
        wakePending_.store(false);
        postFailed_.store(true);
    }
}

}  // namespace morvane
