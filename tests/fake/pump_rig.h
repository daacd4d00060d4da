#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "fake/simulated_wake_timer.h"
#include "fake/tick_oracle.h"
#include "platform/tick_pump.h"

namespace morvane::testing {

// A tick pump on a simulated OS timer, every schedule change and tick mirrored into the oracle.
class PumpRig {
public:
    PumpRig(SimulatedWakeTimer::Delivery delivery, Nanos resolution, Nanos maxLate)
        : os(delivery, resolution), pump(os, [this](TimerId id) { tick(id); }), oracle(maxLate) {
        os.attach(pump);
    }

    void setInterval(TimerId id, std::int64_t ms) {
        const bool accepted = pump.setInterval(id, ms);
        oracle.interval(id, ms, accepted, os.now());
    }
    void setEnabled(TimerId id, bool on) {
        pump.setEnabled(id, on);
        oracle.enabled(id, on, os.now());
    }
    void destroyAll() {
        pump.destroyAll();
        oracle.destroyed();
    }

    // Runs the clock on by `span` (from a tick handler too: a nested event loop), then checks
    // that nothing is overdue and that a wake is on its way whenever a timer ticks.
    void run(Nanos span) {
        os.runUntil(os.now() + span);
        oracle.settled(os.now());
        if (pump.bank().nextDue() && !os.armed() && !os.messagePending() && lostWake_.empty()) {
            lostWake_ = "a timer ticks but no wake is armed or pending at " +
                        std::to_string(os.now()) + " ns";
        }
    }

    [[nodiscard]] std::string failure() const {
        return oracle.failure().empty() ? lostWake_ : oracle.failure();
    }

    // Runs inside every tick, after the oracle has seen it.
    std::function<void(TimerId)> onTick;
    std::vector<std::pair<TimerId, Nanos>> ticks;

    SimulatedWakeTimer os;
    TickPump pump;
    TickOracle oracle;

private:
    void tick(TimerId id) {
        ticks.emplace_back(id, os.now());
        oracle.ticked(id, os.now());
        if (onTick) {
            onTick(id);
        }
    }

    std::string lostWake_;
};

}  // namespace morvane::testing
