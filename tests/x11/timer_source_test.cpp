#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/x11/timer_source.h"

namespace morvane::x11 {
namespace {

using std::chrono::milliseconds;

// Real-time checks with tolerances far above what the timerfd gives (well under 1 ms), so that a
// loaded machine does not fail them; a missing tick, a drift or a replayed backlog still does.
constexpr Nanos kSlack = 4 * kNanosPerMilli;

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Tick {
    TimerId id;
    Nanos at;
};

TEST(TimerSource, TicksStayOnTheStartPlusMultiplesOfTheInterval) {
    std::vector<Tick> ticks;
    TimerSource timers([&](TimerId id) { ticks.push_back({id, TimerSource::clock()}); });
    const Nanos before = TimerSource::clock();
    ASSERT_TRUE(timers.setInterval(TimerId::Timer3, 20));
    const Nanos after = TimerSource::clock();
    runFor(215);

    ASSERT_EQ(ticks.size(), 10U);
    for (std::size_t n = 0; n < ticks.size(); ++n) {
        const Nanos due = static_cast<Nanos>(n + 1) * 20 * kNanosPerMilli;
        EXPECT_EQ(ticks[n].id, TimerId::Timer3);
        EXPECT_GE(ticks[n].at, before + due) << n;
        EXPECT_LE(ticks[n].at, after + due + kSlack) << n;
    }
}

TEST(TimerSource, ALateTickSkipsThePastInstantsAndKeepsThePhase) {
    std::vector<Nanos> ticks;
    TimerSource timers([&](TimerId) {
        ticks.push_back(TimerSource::clock());
        if (ticks.size() == 1) {
            std::this_thread::sleep_for(milliseconds(55));  // a handler that hangs for 5 ticks
        }
    });
    const Nanos start = TimerSource::clock();
    timers.setInterval(TimerId::Timer1, 10);
    runFor(103);

    // 10, then one late tick at about 65 for everything missed, then 70, 80, 90, 100.
    ASSERT_GE(ticks.size(), 5U);
    EXPECT_LE(ticks.size(), 6U);
    EXPECT_GE(ticks[1] - start, 65 * kNanosPerMilli);
    for (std::size_t i = 2; i < ticks.size(); ++i) {
        const Nanos offset = (ticks[i] - start) % (10 * kNanosPerMilli);
        EXPECT_LE(offset, kSlack) << i;
    }
}

TEST(TimerSource, TicksGoOnInsideANestedEventLoop) {
    int outer = 0;
    int inner = 0;
    bool nested = false;
    TimerSource timers([&](TimerId) {
        if (nested) {
            ++inner;
            return;
        }
        ++outer;
        if (outer == 1) {
            nested = true;
            runFor(100);  // what a message box's exec() does
            nested = false;
        }
    });
    timers.setInterval(TimerId::Timer2, 10);
    runFor(20);
    EXPECT_GE(inner, 8);
}

TEST(TimerSource, AHandlerThatChangesTheScheduleIsFollowed) {
    // The timerfd is only re-armed when the next instant moves: a change made inside a handler
    // must still reach it, whether it brings the next tick closer or pushes it away.
    std::vector<Tick> ticks;
    TimerSource* self = nullptr;
    TimerSource timers([&](TimerId id) {
        ticks.push_back({id, TimerSource::clock()});
        if (id == TimerId::Timer1 && ticks.size() == 1) {
            self->setInterval(TimerId::Timer1, 40);  // further away
            self->setInterval(TimerId::Timer2, 10);  // and a closer one beside it
        }
        if (id == TimerId::Timer2) {
            self->setEnabled(TimerId::Timer2, false);
        }
    });
    self = &timers;
    timers.setInterval(TimerId::Timer1, 5);
    runFor(100);

    std::vector<TimerId> order;
    for (const Tick& t : ticks) {
        order.push_back(t.id);
    }
    ASSERT_EQ(order,
              (std::vector{TimerId::Timer1, TimerId::Timer2, TimerId::Timer1, TimerId::Timer1}));
    EXPECT_GE(ticks[1].at - ticks[0].at, 10 * kNanosPerMilli);
    EXPECT_LE(ticks[1].at - ticks[0].at, 10 * kNanosPerMilli + kSlack);
    EXPECT_GE(ticks[2].at - ticks[0].at, 40 * kNanosPerMilli);
    EXPECT_LE(ticks[2].at - ticks[0].at, 40 * kNanosPerMilli + kSlack);
}

TEST(TimerSource, DisabledRejectedAndDestroyedTimersStaySilent) {
    int ticks = 0;
    TimerSource timers([&](TimerId) { ++ticks; });
    timers.setInterval(TimerId::Timer1, 5);
    timers.setEnabled(TimerId::Timer1, false);
    runFor(30);
    EXPECT_EQ(ticks, 0);

    EXPECT_FALSE(timers.setInterval(TimerId::Timer2, -1));
    EXPECT_FALSE(timers.setInterval(TimerId::Timer2, kMaxTimerIntervalMs + 1));
    EXPECT_EQ(timers.bank().interval(TimerId::Timer2), 0);
    runFor(30);
    EXPECT_EQ(ticks, 0);

    timers.setEnabled(TimerId::Timer1, true);
    runFor(30);
    EXPECT_GE(ticks, 4);

    timers.destroyAll();
    const int atDestroy = ticks;
    timers.setInterval(TimerId::Timer1, 5);
    runFor(30);
    EXPECT_EQ(ticks, atDestroy);
}

TEST(TimerSource, PromptWakeupsKeepTheThreadsNiceValue) {
    // On a thread of its own: the slice and the nice value belong to one thread. A user who
    // started the program under `nice` must not find it back at 0.
    std::thread worker([] {
        const auto tid = static_cast<id_t>(syscall(SYS_gettid));
        ASSERT_EQ(setpriority(PRIO_PROCESS, tid, 7), 0);
        const bool granted = TimerSource::requestPromptWakeups();
        EXPECT_EQ(getpriority(PRIO_PROCESS, tid), 7);
        EXPECT_EQ(sched_getscheduler(0), SCHED_OTHER);
        // Kernels from 6.6 on show the slice there; older ones accept the request and ignore it.
        std::ifstream sched("/proc/thread-self/sched");
        std::string line;
        while (granted && std::getline(sched, line)) {
            if (line.rfind("se.slice", 0) == 0) {
                EXPECT_EQ(std::stoll(line.substr(line.find(':') + 1)), 100'000) << line;
            }
        }
    });
    worker.join();
}

}  // namespace
}  // namespace morvane::x11
