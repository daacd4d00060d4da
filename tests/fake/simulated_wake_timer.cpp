#include "fake/simulated_wake_timer.h"

#include <algorithm>

namespace morvane::testing {

void SimulatedWakeTimer::setSafetyNet(Nanos period) {
    netPeriod_ = period;
    nextNet_ = now_ + period;
}

void SimulatedWakeTimer::armWake(std::optional<Nanos> at) {
    armedFor_ = at;
    fireAt_.reset();
    if (!at) {
        return;
    }
    const Fault fault = faults_ ? faults_(*at, now_) : Fault{};
    if (fault.lost) {
        return;
    }
    Nanos fire = *at + fault.offset;
    if (fault.offset < 0) {
        fire = std::max(fire, now_ + resolution_);
    }
    fireAt_ = std::max(fire, now_);
    if (fault.repeatAfter >= 0) {
        extra_.push_back(*fireAt_ + fault.repeatAfter);
    }
}

bool SimulatedWakeTimer::postWake() {
    if (failingPosts_ > 0) {
        --failingPosts_;
        return false;
    }
    messagePending_ = true;
    return true;
}

void SimulatedWakeTimer::relax() { now_ += kRelaxStep; }

std::optional<Nanos> SimulatedWakeTimer::nextEvent() const {
    std::optional<Nanos> next = fireAt_;
    for (const Nanos at : extra_) {
        next = std::min(next.value_or(at), at);
    }
    if (netPeriod_ > 0) {
        next = std::min(next.value_or(nextNet_), nextNet_);
    }
    return next;
}

void SimulatedWakeTimer::runUntil(Nanos until) {
    for (;;) {
        if (messagePending_) {
            messagePending_ = false;
            ++pumpWakes_;
            pump_->wake();
            continue;
        }
        const std::optional<Nanos> next = nextEvent();
        if (!next || *next > until) {
            break;
        }
        now_ = std::max(now_, *next);
        if (fireAt_ == next) {
            fireAt_.reset();
            armedFor_.reset();
        } else if (const auto extra = std::find(extra_.begin(), extra_.end(), *next);
                   extra != extra_.end()) {
            extra_.erase(extra);
        } else {
            // The safety net runs on the window's thread, like any timer message.
            nextNet_ += netPeriod_;
            pump_->nudge();
            continue;
        }
        if (delivery_ == Delivery::Direct) {
            ++pumpWakes_;
            pump_->wake();
        } else {
            pump_->waiterWoke(stopping_);
        }
    }
    now_ = std::max(now_, until);
}

}  // namespace morvane::testing
