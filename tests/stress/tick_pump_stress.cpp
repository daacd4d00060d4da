// The tick pump on real threads, as Morvane.exe runs it: a waiter thread sleeps until the armed
// instant (early or late) and posts wake messages, a few of which are lost or refused; the window's
// thread serves them and a 250 ms nudge, with tick handlers that change the schedule, take longer
// than the shortest intervals or sit in nested event loops. Every tick is checked against an
// independent model of the schedule; ThreadSanitizer watches what the two threads share.
//
//   tick_pump_stress [SECONDS]   default 40
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <thread>

#include "fake/tick_oracle.h"
#include "platform/tick_pump.h"

namespace {

using morvane::Nanos;
using morvane::TimerId;
using Clock = std::chrono::steady_clock;

constexpr Nanos kMs = morvane::kNanosPerMilli;
constexpr Nanos kNetPeriod = 250 * kMs;
// A lost wake waits for the net; the rest is room for a loaded machine under ThreadSanitizer.
constexpr Nanos kMaxLate = kNetPeriod + 750 * kMs;
constexpr std::array<std::int64_t, 12> kIntervals{
    1, 1, 1, 2, 2, 3, 5, 10, 45, 0, -1, morvane::kMaxTimerIntervalMs + 1};

Clock::time_point at(Nanos t) { return Clock::time_point(std::chrono::nanoseconds(t)); }

int pick(std::mt19937& random, std::size_t n) {
    return std::uniform_int_distribution(0, static_cast<int>(n) - 1)(random);
}

// The OS wake, received on a waiter thread, and the window thread's queue of wake messages.
class ThreadedWake final : public morvane::WakeTimer {
public:
    [[nodiscard]] Nanos now() const override {
        const Nanos t = Clock::now().time_since_epoch().count();
        if (std::this_thread::get_id() == windowThread_) {
            lastWindowNow_ = t;
        }
        return t;
    }
    void armWake(std::optional<Nanos> when) override {
        const std::lock_guard lock(mutex_);
        armed_ = when;
        ++generation_;
        changed_.notify_all();
    }
    bool postWake() override {  // only the waiter posts: its own random numbers
        const int roll = pick(waiterRandom_, 1024);
        if (roll < 2) {
            return roll == 0;  // accepted but never delivered, or refused
        }
        const std::lock_guard lock(mutex_);
        ++messages_;
        changed_.notify_all();
        return true;
    }
    void relax() override { std::this_thread::yield(); }

    // The window thread's last reading of the clock: for the pump, the start of a timer it has
    // just set, or in a tick handler, the instant it handed the tick out.
    [[nodiscard]] Nanos lastWindowNow() const { return lastWindowNow_; }

    void start(morvane::TickPump& pump) {
        windowThread_ = std::this_thread::get_id();
        waiter_ = std::thread([this, &pump] { wait(pump); });
    }
    void stop() {
        stopping_.store(true);
        armWake(std::nullopt);
        waiter_.join();
    }
    // Window thread: true when a wake message came before `until`.
    bool takeMessage(Nanos until) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_until(lock, at(until), [this] { return messages_ > 0; })) {
            return false;
        }
        --messages_;
        return true;
    }

private:
    void wait(morvane::TickPump& pump) {
        std::unique_lock lock(mutex_);
        while (!stopping_.load()) {
            const std::uint64_t generation = generation_;
            const Nanos fireAt = armed_ ? *armed_ + (pick(waiterRandom_, 6) - 2) * kMs : 0;
            const auto replaced = [&] { return stopping_.load() || generation_ != generation; };
            if (armed_ ? changed_.wait_until(lock, at(fireAt), replaced)
                       : (changed_.wait(lock, replaced), true)) {
                continue;  // a new request replaces this one
            }
            armed_.reset();
            lock.unlock();
            pump.waiterWoke(stopping_);
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Nanos> armed_;
    std::uint64_t generation_ = 0;
    int messages_ = 0;
    std::atomic<bool> stopping_{false};
    std::mt19937 waiterRandom_{11};
    std::thread waiter_;
    std::thread::id windowThread_;
    mutable Nanos lastWindowNow_ = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
    const Nanos seconds = argc > 1 ? std::atoi(argv[1]) : 40;
    std::mt19937 random(5);
    ThreadedWake os;
    morvane::testing::TickOracle oracle(kMaxLate);
    std::function<void(TimerId)> onTick;
    morvane::TickPump pump(os, [&](TimerId id) { onTick(id); });
    pump.presumeLatenessForTesting(kMs);
    os.start(pump);

    const auto change = [&] {
        const auto timer = static_cast<TimerId>(pick(random, morvane::kTimerCount));
        if (pick(random, 3) == 0) {
            const bool on = pick(random, 4) != 0;
            pump.setEnabled(timer, on);
            oracle.enabled(timer, on, os.lastWindowNow());
        } else {
            const std::int64_t ms = kIntervals.at(static_cast<std::size_t>(pick(random, 12)));
            const bool accepted = pump.setInterval(timer, ms);
            oracle.interval(timer, ms, accepted, os.lastWindowNow());
        }
    };
    Nanos nextNudge = os.now() + kNetPeriod;
    std::function<void(Nanos)> serve = [&](Nanos until) {  // the event loop; nested ones too
        while (os.now() < until && oracle.failure().empty()) {
            if (os.takeMessage(std::min(until, nextNudge))) {
                pump.wake();
            } else if (os.now() >= nextNudge) {
                nextNudge += kNetPeriod;
                pump.nudge();
            }
        }
    };
    int ticks = 0;
    int nesting = 0;
    onTick = [&](TimerId id) {
        ++ticks;
        oracle.ticked(id, os.lastWindowNow());
        switch (pick(random, 32)) {
        case 0:
            change();
            break;
        case 1:  // slower than the shortest intervals
            std::this_thread::sleep_for(std::chrono::microseconds(pick(random, 3000)));
            break;
        case 2:  // a message box
            if (nesting < 3) {
                ++nesting;
                serve(os.now() + pick(random, 100) * kMs);
                --nesting;
            }
            break;
        default:
            break;
        }
    };

    const Nanos end = os.now() + seconds * 1000 * kMs;
    while (os.now() < end && oracle.failure().empty()) {
        for (int i = 0; i < 3; ++i) {
            change();
        }
        serve(os.now() + 500 * kMs);
        oracle.settled(os.now());
    }
    os.stop();
    std::printf("%d ticks in %lld s\n%s\n", ticks, static_cast<long long>(seconds),
                oracle.failure().empty() ? "ok" : ("FAIL: " + oracle.failure()).c_str());
    return oracle.failure().empty() ? 0 : 1;
}
