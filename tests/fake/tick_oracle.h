#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/tick_pump.h"

namespace morvane::testing {

// An independent model of when ticks may come, fed every schedule change and every delivered
// tick in order. Records the first broken rule: a tick before its due instant (early, or a due
// instant served twice), or a due instant left waiting longer than `maxLate`. A late tick may
// skip the instants it missed.
class TickOracle {
public:
    explicit TickOracle(Nanos maxLate) : maxLate_(maxLate) {}

    void enabled(TimerId id, bool on, Nanos now) {
        Slot& s = slot(id);
        if (on && !s.on) {
            restart(s, now);
        }
        s.on = on;
    }
    void interval(TimerId id, std::int64_t ms, bool accepted, Nanos now) {
        if (accepted) {
            Slot& s = slot(id);
            s.period = ms * kNanosPerMilli;
            restart(s, now);
        }
    }
    void destroyed() {
        for (Slot& s : slots_) {
            s.on = false;
        }
    }

    void ticked(TimerId id, Nanos now) {
        Slot& s = slot(id);
        if (!s.on || s.period <= 0) {
            fail("tick of a timer that does not tick", id, now);
            return;
        }
        const Nanos beat = (now - s.start) / s.period;
        if (beat <= s.lastBeat) {
            fail("tick before its due instant (early or replayed)", id, now);
            return;
        }
        checkWaited(s, id, now);
        s.lastBeat = beat;
    }

    // Nothing may be overdue by more than `maxLate` at `now`.
    void settled(Nanos now) {
        for (int i = 0; i < kTimerCount; ++i) {
            checkWaited(slots_.at(static_cast<std::size_t>(i)), static_cast<TimerId>(i), now);
        }
    }

    [[nodiscard]] const std::string& failure() const { return failure_; }

private:
    struct Slot {
        bool on = true;
        Nanos period = 0;
        Nanos start = 0;
        Nanos lastBeat = 0;
    };

    Slot& slot(TimerId id) { return slots_.at(static_cast<std::size_t>(id)); }
    static void restart(Slot& s, Nanos now) {
        s.start = now;
        s.lastBeat = 0;
    }
    void checkWaited(const Slot& s, TimerId id, Nanos now) {
        if (s.on && s.period > 0 && now - (s.start + (s.lastBeat + 1) * s.period) > maxLate_) {
            fail("overdue", id, now);
        }
    }
    void fail(const char* what, TimerId id, Nanos now) {
        if (failure_.empty()) {
            failure_ = std::string(what) + ": Timer" + std::to_string(static_cast<int>(id) + 1) +
                       " at " + std::to_string(now) + " ns";
        }
    }

    Nanos maxLate_;
    std::array<Slot, kTimerCount> slots_{};
    std::string failure_;
};

}  // namespace morvane::testing
