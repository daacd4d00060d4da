#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "fake/pump_rig.h"

namespace morvane::testing {
namespace {

using Delivery = SimulatedWakeTimer::Delivery;
using Fault = SimulatedWakeTimer::Fault;
constexpr Nanos kMs = kNanosPerMilli;
constexpr Nanos kUs = 1000;
constexpr Nanos kSystemTick = 15'625 * kUs;

using FaultMaker = Fault (*)(std::mt19937& random, Nanos at);

Nanos uniform(std::mt19937& random, Nanos low, Nanos high) {
    return std::uniform_int_distribution<Nanos>(low, high)(random);
}

struct HostileTimer {
    const char* name;
    Delivery delivery;
    Nanos resolution;  // how soon after being armed the OS can fire at the earliest
    Nanos overshoot;   // the lateness presumed at the start; short intervals are spun out by it
    TimerId timer;
    std::int64_t intervalMs;
    FaultMaker fault;
    int spuriousWakes;  // scattered over the run
    Nanos safetyNet;    // 0: none
    Nanos maxLate;      // how long a due instant may wait for its tick
};

const HostileTimer kHostileTimers[] = {
    {"PollAloneEarlyBy2ms", Delivery::Posted, 500 * kUs, 0, TimerId::Timer2, 200,
     [](std::mt19937&, Nanos) { return Fault{-2 * kMs}; }, 0, 0, kMs},
    {"PollAloneEarlyByAWholeSystemTick", Delivery::Posted, kSystemTick, 0, TimerId::Timer2, 200,
     [](std::mt19937&, Nanos) { return Fault{-kSystemTick}; }, 0, 0, kSystemTick},
    {"SpunClicksEarlyBy2ms", Delivery::Posted, 500 * kUs, kMs, TimerId::Timer3, 1,
     [](std::mt19937&, Nanos) { return Fault{-2 * kMs}; }, 0, 0, 50 * kUs},
    {"TimerfdEarlyBy2ms", Delivery::Direct, 500 * kUs, 0, TimerId::Timer2, 200,
     [](std::mt19937&, Nanos) { return Fault{-2 * kMs}; }, 0, 0, 500 * kUs},
    {"EarlyOrLateAtRandom", Delivery::Posted, 100 * kUs, 2 * kMs, TimerId::Timer3, 3,
     [](std::mt19937& r, Nanos) { return Fault{uniform(r, -3 * kMs, 3 * kMs)}; }, 0, 0, 3 * kMs},
    {"PollLateByUpTo50ms", Delivery::Posted, 0, 0, TimerId::Timer2, 200,
     [](std::mt19937& r, Nanos) { return Fault{uniform(r, 0, 50 * kMs)}; }, 0, 0, 50 * kMs},
    {"ClicksLateByUpTo50msSkipBeats", Delivery::Direct, 0, 0, TimerId::Timer3, 10,
     [](std::mt19937& r, Nanos) { return Fault{uniform(r, 0, 50 * kMs)}; }, 0, 0, 50 * kMs},
    {"EveryWakeComesTwice", Delivery::Posted, 0, kMs, TimerId::Timer3, 2,
     [](std::mt19937& r, Nanos) {
         return Fault{0, false, uniform(r, 0, 3 * kMs)};
     },
     0, 0, 50 * kUs},
    {"SpuriousWakes", Delivery::Posted, 0, kMs, TimerId::Timer3, 7,
     [](std::mt19937&, Nanos) { return Fault{}; }, 2000, 0, 50 * kUs},
    {"SpuriousWakesTimerfd", Delivery::Direct, 0, 0, TimerId::Timer1, 200,
     [](std::mt19937&, Nanos) { return Fault{}; }, 2000, 0, 0},
    {"SilentForASecondThenBack", Delivery::Posted, 0, 0, TimerId::Timer3, 10,
     [](std::mt19937&, Nanos at) {
         return Fault{at > 500 * kMs && at <= 510 * kMs ? 1000 * kMs : 0};
     },
     0, 0, 1000 * kMs},
    {"LostWakesCaughtBySafetyNet", Delivery::Posted, 0, 0, TimerId::Timer2, 200,
     [](std::mt19937& r, Nanos) {
         return Fault{0, uniform(r, 0, 2) == 0};
     },
     0, 250 * kMs, 250 * kMs},
};

void PrintTo(const HostileTimer& c, std::ostream* out) { *out << c.name; }

class TickPumpHostileTest : public ::testing::TestWithParam<HostileTimer> {};

// Three seconds of one timer's ticks through a misbehaving OS timer: no tick early or twice,
// none waiting longer than the misbehaviour explains, and a wake always on its way.
TEST_P(TickPumpHostileTest, TicksStayOnScheduleAndNeverStall) {
    const HostileTimer& c = GetParam();
    std::mt19937 random(7);
    PumpRig rig(c.delivery, c.resolution, c.maxLate);
    rig.os.setFaults([&](Nanos at, Nanos) { return c.fault(random, at); });
    for (int i = 0; i < c.spuriousWakes; ++i) {
        rig.os.addSpurious(uniform(random, 0, 3000 * kMs));
    }
    if (c.safetyNet > 0) {
        rig.os.setSafetyNet(c.safetyNet);
    }
    rig.pump.presumeLatenessForTesting(c.overshoot);
    rig.setInterval(c.timer, c.intervalMs);
    for (int step = 0; step < 300; ++step) {
        rig.run(10 * kMs);
    }
    EXPECT_EQ(rig.failure(), "");
    // Beats are only skipped by a wake later than the interval.
    const auto beats = static_cast<std::size_t>(rig.os.now() / (c.intervalMs * kMs));
    if (c.maxLate < c.intervalMs * kMs) {
        EXPECT_GE(rig.ticks.size(), beats - 1);
    }
    EXPECT_LE(rig.ticks.size(), beats);
}

INSTANTIATE_TEST_SUITE_P(OsTimer, TickPumpHostileTest, ::testing::ValuesIn(kHostileTimers),
                         [](const auto& param) { return std::string(param.param.name); });

// Short intervals are armed early by the overshoot learnt and spun out; long ones are not.
TEST(TickPumpTest, OnlyIntervalsTooShortForTheOvershootAreSpunOut) {
    PumpRig rig(Delivery::Posted, 0, kMs);
    rig.pump.presumeLatenessForTesting(kMs);
    rig.setInterval(TimerId::Timer2, 200);
    EXPECT_EQ(rig.pump.lead(), 0);
    rig.setInterval(TimerId::Timer3, 4);
    EXPECT_EQ(rig.pump.lead(), kMs + TickPump::kSpinSlack);
    rig.setInterval(TimerId::Timer3, 5);
    EXPECT_EQ(rig.pump.lead(), 0);
    // Capped: a core is not spun for longer than that.
    rig.pump.presumeLatenessForTesting(50 * kMs);
    EXPECT_EQ(rig.pump.lead(), TickPump::kMaxLead);
}

// The lead follows the lateness of the waiter's wakes: a slow start-up (the first 50 wakes 4 ms
// late) raises it so that the clicks stay on their beat, and once the wakes are punctual again
// it falls back within two seconds; a few slow wakes among punctual ones are ignored.
TEST(TickPumpTest, TheLeadFollowsHowLateTheWakesCome) {
    for (const int slowWakes : {50, 3}) {
        PumpRig rig(Delivery::Posted, 0, 5 * kMs);
        int armed = 0;
        rig.os.setFaults([&](Nanos, Nanos) { return Fault{++armed <= slowWakes ? 4 * kMs : 0}; });
        rig.setInterval(TimerId::Timer3, 1);
        rig.run(40 * kMs);  // the slow wakes, made punctual by the lead they raised
        EXPECT_EQ(rig.pump.lead(), slowWakes > 3 ? TickPump::kMaxLead : 0) << slowWakes;
        rig.run(2000 * kMs);
        EXPECT_LT(rig.pump.lead(), 500 * kUs) << slowWakes;
        EXPECT_EQ(rig.failure(), "");
    }
}

// Clicks at 1 ms through a timer that rounds every wait up to a whole millisecond (Wine's
// server). Most wakes are armed for an instant already past, since the lead is longer than the
// interval, and come at once; learning from those too let the lead sink below what the rounding
// needs, and every dip sent a wake a millisecond late.
TEST(TickPumpTest, ClicksThroughATimerThatRoundsUpKeepTheirLead) {
    std::mt19937 random(11);
    PumpRig rig(Delivery::Posted, 0, kMs);
    rig.os.setFaults([](Nanos at, Nanos now) {
        const Nanos wait = std::max(at - now, Nanos{0});
        return Fault{now + (wait + kMs - 1) / kMs * kMs + 50 * kUs - at};
    });
    rig.onTick = [&](TimerId) { rig.os.spend(uniform(random, 0, 100 * kUs)); };
    rig.setInterval(TimerId::Timer3, 1);
    rig.run(100 * kMs);
    const std::size_t warm = rig.ticks.size();
    rig.run(2000 * kMs);
    EXPECT_EQ(rig.failure(), "");
    const auto late = std::count_if(rig.ticks.begin() + static_cast<std::ptrdiff_t>(warm),
                                    rig.ticks.end(), [](const auto& tick) {
                                        return tick.second % kMs > 250 * kUs;  // beats on whole ms
                                    });
    EXPECT_GE(rig.ticks.size() - warm, 1990U);
    EXPECT_LE(late, 20);  // 1 in 100: the fade's probes, one every 0.4 s
}

// A handler that sits in a nested loop (a message box) and changes timers there, on both
// kinds of delivery: ticks keep coming inside, and every change is followed.
TEST(TickPumpTest, ScheduleChangesFromInsideANestedLoopAreFollowed) {
    for (const Delivery delivery : {Delivery::Direct, Delivery::Posted}) {
        PumpRig rig(delivery, 0, 0);
        rig.pump.presumeLatenessForTesting(kMs);
        int inBox = 0;
        bool boxOpen = false;
        rig.onTick = [&](TimerId id) {
            if (boxOpen) {
                ++inBox;
                if (inBox == 5) {
                    rig.setInterval(TimerId::Timer3, 30);
                    rig.setInterval(TimerId::Timer1, 45);
                    rig.setEnabled(TimerId::Timer2, false);  // the tick that opened the box
                }
                return;
            }
            if (id == TimerId::Timer2 && rig.ticks.size() < 30) {
                boxOpen = true;
                rig.run(1000 * kMs);
                boxOpen = false;
                rig.setEnabled(TimerId::Timer2, true);
            }
        };
        rig.setInterval(TimerId::Timer2, 200);
        rig.setInterval(TimerId::Timer3, 10);
        rig.run(2000 * kMs);
        EXPECT_EQ(rig.failure(), "") << static_cast<int>(delivery);
        // About 5 at 10 ms, then 31 at 30 ms and 21 at 45 ms while the box stays open.
        EXPECT_GE(inBox, 55) << static_cast<int>(delivery);
    }
}

// Two timers due at once; the first handler sits in a nested loop that hears no wake at all.
// The second tick, handed out afterwards, serves the latest instant it has reached: the ones it
// missed meanwhile are skipped, not replayed one wake later.
TEST(TickPumpTest, ATickHandedOutAfterANestedLoopSkipsWhatItMissed) {
    PumpRig rig(Delivery::Direct, 0, 25 * kMs);
    rig.os.setFaults([](Nanos, Nanos now) { return Fault{0, now >= 5 * kMs && now < 28 * kMs}; });
    rig.onTick = [&](TimerId id) {
        if (id == TimerId::Timer1 && rig.ticks.size() == 1) {
            rig.run(23 * kMs);
        }
    };
    rig.setInterval(TimerId::Timer1, 5);
    rig.setInterval(TimerId::Timer3, 5);
    rig.run(40 * kMs);
    EXPECT_EQ(rig.failure(), "");
    ASSERT_GE(rig.ticks.size(), 3U);
    EXPECT_EQ(rig.ticks[1], std::make_pair(TimerId::Timer3, 28 * kMs));
    EXPECT_EQ(rig.ticks[2], std::make_pair(TimerId::Timer1, 28 * kMs));
}

// A handler slower than its interval, on both kinds of delivery: each timer is handed out at
// most once per wake, so that the event loop gets the window back between its ticks.
TEST(TickPumpTest, AHandlerSlowerThanItsIntervalIsHandedOutOncePerWake) {
    for (const Delivery delivery : {Delivery::Direct, Delivery::Posted}) {
        PumpRig rig(delivery, 0, 20 * kMs);
        std::vector<int> wakeOfTick;
        rig.onTick = [&](TimerId) {
            wakeOfTick.push_back(rig.os.pumpWakes());
            if (wakeOfTick.size() <= 20) {
                rig.os.spend(15 * kMs);
            }
        };
        rig.setInterval(TimerId::Timer3, 10);
        rig.run(500 * kMs);
        EXPECT_EQ(rig.failure(), "") << static_cast<int>(delivery);
        ASSERT_GE(wakeOfTick.size(), 21U);
        for (std::size_t i = 1; i <= 20; ++i) {
            EXPECT_NE(wakeOfTick[i], wakeOfTick[i - 1]) << "tick " << i << " in the same wake";
        }
    }
}

// A wake message that could not be posted reaches the window with the safety net's next nudge;
// a schedule change made before that arms a wake of its own, which the overdue tick takes.
TEST(TickPumpTest, AFailedPostIsCaughtByTheSafetyNetAndTheNextWakeGoesThrough) {
    using Ticks = std::vector<std::pair<TimerId, Nanos>>;
    PumpRig caught(Delivery::Posted, 0, 250 * kMs);
    caught.os.setSafetyNet(250 * kMs);
    caught.os.failPosts(1);
    caught.setInterval(TimerId::Timer2, 200);
    caught.run(450 * kMs);
    EXPECT_EQ(caught.ticks, (Ticks{{TimerId::Timer2, 250 * kMs}, {TimerId::Timer2, 400 * kMs}}));

    PumpRig next(Delivery::Posted, 0, 250 * kMs);
    next.os.failPosts(1);
    next.setInterval(TimerId::Timer2, 200);
    next.run(210 * kMs);
    EXPECT_TRUE(next.ticks.empty());
    next.setInterval(TimerId::Timer3, 5);  // a click
    next.run(5 * kMs);
    EXPECT_EQ(next.ticks, (Ticks{{TimerId::Timer2, 210 * kMs}, {TimerId::Timer3, 215 * kMs}}));
}

}  // namespace
}  // namespace morvane::testing
