#include "platform/timer_bank.h"

namespace morvane {

void TimerBank::restart(Slot& s, Nanos now) {
    s.start = now;
    s.due = now + s.intervalMs * kNanosPerMilli;
}

void TimerBank::setEnabled(TimerId timer, bool enabled, Nanos now) {
    Slot& s = slot(timer);
    if (enabled && !s.enabled) {
        restart(s, now);
    }
    s.enabled = enabled;
}

bool TimerBank::setInterval(TimerId timer, std::int64_t milliseconds, Nanos now) {
    if (milliseconds < 0 || milliseconds > kMaxTimerIntervalMs) {
        return false;
    }
    Slot& s = slot(timer);
    s.intervalMs = milliseconds;
    restart(s, now);
    return true;
}

bool TimerBank::enabled(TimerId timer) const { return slot(timer).enabled; }

std::int64_t TimerBank::interval(TimerId timer) const { return slot(timer).intervalMs; }

bool TimerBank::ticking(TimerId timer) const {
    const Slot& s = slot(timer);
    return s.enabled && s.intervalMs > 0;
}

std::optional<Nanos> TimerBank::nextDue() const {
    std::optional<Nanos> earliest;
    for (int i = 0; i < kTimerCount; ++i) {
        const auto id = static_cast<TimerId>(i);
        if (ticking(id) && (!earliest || slot(id).due < *earliest)) {
            earliest = slot(id).due;
        }
    }
    return earliest;
}

std::optional<TimerId> TimerBank::takeDue(Nanos dueBy, Nanos now) {
    std::optional<TimerId> chosen;
    for (int i = 0; i < kTimerCount; ++i) {
        const auto id = static_cast<TimerId>(i);
        if (ticking(id) && slot(id).due <= dueBy && (!chosen || slot(id).due < slot(*chosen).due)) {
            chosen = id;
        }
    }
    if (chosen) {
        Slot& s = slot(*chosen);
        const Nanos period = s.intervalMs * kNanosPerMilli;
        const Nanos elapsed = now - s.start;
        s.due = s.start + (elapsed / period + 1) * period;
    }
    return chosen;
}

void TimerBank::destroyAll() {
    for (Slot& s : slots_) {
        s.enabled = false;
    }
}

}  // namespace morvane
