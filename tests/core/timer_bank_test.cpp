#include <gtest/gtest.h>

#include <vector>

#include "platform/timer_bank.h"

namespace morvane {
namespace {

constexpr Nanos kMs = kNanosPerMilli;

// Drains every tick due up to `until`, handling each `lateness` after it was due.
std::vector<Nanos> ticksUntil(TimerBank& bank, Nanos until, Nanos lateness = 0) {
    std::vector<Nanos> handled;
    while (auto due = bank.nextDue()) {
        const Nanos now = *due + lateness;
        if (now > until) {
            break;
        }
        if (bank.takeDue(now, now)) {
            handled.push_back(now);
        }
    }
    return handled;
}

TEST(TimerBankTest, TicksKeepPhaseWithoutDrift) {
    TimerBank bank;
    bank.setInterval(TimerId::Timer3, 3, 5 * kMs);
    // Every tick handled 1 ms late: the schedule stays on 5 + 3n, it does not slide to 4n.
    const std::vector<Nanos> handled = ticksUntil(bank, 1000 * kMs, kMs);
    ASSERT_EQ(handled.size(), 331U);
    for (std::size_t n = 0; n < handled.size(); ++n) {
        EXPECT_EQ(handled[n], 5 * kMs + 3 * kMs * static_cast<Nanos>(n + 1) + kMs);
    }
}

TEST(TimerBankTest, LateTickSkipsMissedInstantsInsteadOfReplaying) {
    TimerBank bank;
    bank.setInterval(TimerId::Timer3, 10, 0);
    ASSERT_TRUE(bank.takeDue(95 * kMs, 95 * kMs));  // nine instants late
    EXPECT_FALSE(bank.takeDue(95 * kMs, 95 * kMs));
    EXPECT_EQ(bank.nextDue(), 100 * kMs);
    ASSERT_TRUE(bank.takeDue(100 * kMs, 100 * kMs));
    EXPECT_EQ(bank.nextDue(), 110 * kMs);
    // Handed out at 147 for a wake at 112: placed by 147, not by the wake.
    ASSERT_TRUE(bank.takeDue(112 * kMs, 147 * kMs));
    EXPECT_EQ(bank.nextDue(), 150 * kMs);
}

TEST(TimerBankTest, NewIntervalRestartsTheCount) {
    TimerBank bank;
    bank.setInterval(TimerId::Timer1, 200, 0);
    bank.setInterval(TimerId::Timer1, 200, 150 * kMs);
    EXPECT_EQ(bank.nextDue(), 350 * kMs);
    bank.setInterval(TimerId::Timer1, 0, 160 * kMs);
    EXPECT_FALSE(bank.nextDue());
}

TEST(TimerBankTest, RejectedIntervalLeavesTheOldOneRunning) {
    TimerBank bank;
    bank.setInterval(TimerId::Timer3, 50, 0);
    for (const std::int64_t bad : {std::int64_t{-1}, kMaxTimerIntervalMs + 1, INT64_MIN}) {
        EXPECT_FALSE(bank.setInterval(TimerId::Timer3, bad, 20 * kMs)) << bad;
    }
    EXPECT_EQ(bank.interval(TimerId::Timer3), 50);
    EXPECT_EQ(bank.nextDue(), 50 * kMs);
    EXPECT_TRUE(bank.setInterval(TimerId::Timer3, kMaxTimerIntervalMs, 0));
}

TEST(TimerBankTest, DisabledTimerKeepsIntervalAndRestartsWhenEnabled) {
    TimerBank bank;
    bank.setInterval(TimerId::Timer1, 200, 0);
    bank.setEnabled(TimerId::Timer1, false, 100 * kMs);
    EXPECT_FALSE(bank.takeDue(1000 * kMs, 1000 * kMs));
    EXPECT_EQ(bank.interval(TimerId::Timer1), 200);
    bank.setEnabled(TimerId::Timer1, true, 1030 * kMs);
    EXPECT_EQ(bank.nextDue(), 1230 * kMs);
    // Enabling an enabled timer does not disturb its phase.
    bank.setEnabled(TimerId::Timer1, true, 1100 * kMs);
    EXPECT_EQ(bank.nextDue(), 1230 * kMs);
}

TEST(TimerBankTest, EarliestDueTimerFirstAndTiesInTimerOrder) {
    TimerBank bank;
    bank.setInterval(TimerId::Timer3, 100, 0);
    bank.setInterval(TimerId::Timer2, 100, 0);
    bank.setInterval(TimerId::Timer1, 150, 0);
    EXPECT_EQ(bank.takeDue(150 * kMs, 150 * kMs), TimerId::Timer2);
    EXPECT_EQ(bank.takeDue(150 * kMs, 150 * kMs), TimerId::Timer3);
    EXPECT_EQ(bank.takeDue(150 * kMs, 150 * kMs), TimerId::Timer1);
    EXPECT_FALSE(bank.takeDue(150 * kMs, 150 * kMs));
}

}  // namespace
}  // namespace morvane
