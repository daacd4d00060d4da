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

#include "platform/linux/timer_source.h"

namespace morvane::qt {
namespace {

using std::chrono::milliseconds;

// The timerfd under the tick pump, in real time, with tolerances far above what it gives (well
// under 1 ms) so that a loaded machine does not fail them; a missing tick or a drift still does.
// What the pump decides (late ticks, schedule changes, rejected intervals) is the core tests';
// ticks inside a message box's nested loop are the end-to-end scenario f12_in_reminder's.
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

TEST(TimerSource, PromptWakeupsKeepTheThreadsNiceValue) {
    // On a thread of its own: the slice and the nice value belong to one thread. A user who
    // started the program under `nice` must not find it back at 0.
    bool granted = false;
    long long slice = -1;
    std::thread worker([&] {
        const auto tid = static_cast<id_t>(syscall(SYS_gettid));
        ASSERT_EQ(setpriority(PRIO_PROCESS, tid, 7), 0);
        granted = TimerSource::requestPromptWakeups();
        EXPECT_EQ(getpriority(PRIO_PROCESS, tid), 7);
        EXPECT_EQ(sched_getscheduler(0), SCHED_OTHER);
        // Kernels from 6.6 on show the slice there; older ones accept the request and ignore it.
        std::ifstream sched("/proc/thread-self/sched");
        for (std::string line; std::getline(sched, line);) {
            if (line.rfind("se.slice", 0) == 0) {
                slice = std::stoll(line.substr(line.find(':') + 1));
            }
        }
    });
    worker.join();
    if (!granted || slice < 0) {
        GTEST_SKIP() << "this kernel " << (granted ? "shows no slice" : "refuses the request");
    }
    EXPECT_EQ(slice, 100'000);
}

}  // namespace
}  // namespace morvane::qt
