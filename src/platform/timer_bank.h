#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "platform/platform_ops.h"

namespace morvane {

// Monotonic time in nanoseconds, from whatever clock the backend runs on.
using Nanos = std::int64_t;

inline constexpr Nanos kNanosPerMilli = 1'000'000;

// The schedule of the three timers, shared by every backend so that all of them tick alike.
//
// A timer that is enabled with interval T > 0 and was (re)started at t0 is due at t0 + n*T.
// Ticks keep that phase however late they are handled (no drift), and a tick handled late
// skips the instants already past instead of replaying them (no backlog).
class TimerBank {
public:
    void setEnabled(TimerId timer, bool enabled, Nanos now);
    // Rejects values outside 0..kMaxTimerIntervalMs and keeps the old interval.
    bool setInterval(TimerId timer, std::int64_t milliseconds, Nanos now);

    [[nodiscard]] bool enabled(TimerId timer) const;
    [[nodiscard]] std::int64_t interval(TimerId timer) const;
    [[nodiscard]] bool ticking(TimerId timer) const;

    // The earliest instant at which some timer is due, if any timer ticks.
    [[nodiscard]] std::optional<Nanos> nextDue() const;

    // Takes one tick that is due by `dueBy`, the earliest first (Timer1 before Timer2 before
    // Timer3 on a tie), and moves that timer to its next instant after `now`. A tick handed out
    // later than it was due (after an earlier handler sat in a message box, say) serves the
    // latest instant it has reached, never one already past.
    std::optional<TimerId> takeDue(Nanos dueBy, Nanos now);

    // Unload: no timer ticks again.
    void destroyAll();

private:
    struct Slot {
        bool enabled = true;
        std::int64_t intervalMs = 0;
        Nanos start = 0;
        Nanos due = 0;
    };

    Slot& slot(TimerId timer) { return slots_.at(static_cast<std::size_t>(timer)); }
    [[nodiscard]] const Slot& slot(TimerId timer) const {
        return slots_.at(static_cast<std::size_t>(timer));
    }
    static void restart(Slot& s, Nanos now);

    std::array<Slot, kTimerCount> slots_{};
};

}  // namespace morvane
