// The tick pump on real threads, the way Morvane.exe runs it: a waiter thread sleeps until the
// armed instant (sometimes early, late, or waking twice) and posts wake messages, some of which
// are lost or refused; the window's thread serves them and a 250 ms nudge, with tick handlers
// that change the schedule, take longer than their interval or sit in nested event loops. Every
// tick is checked against an independent model of the schedule, and each wake may hand out each
// timer once at most; ThreadSanitizer watches what the two threads share.
//
//   tick_pump_stress [SECONDS]   default 40
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "fake/tick_oracle.h"
#include "platform/tick_pump.h"

namespace {

using morvane::Nanos;
using morvane::TickPump;
using morvane::TimerId;
using Clock = std::chrono::steady_clock;

constexpr Nanos kMs = morvane::kNanosPerMilli;
constexpr Nanos kNetPeriod = 250 * kMs;
// A lost wake waits for the net; the rest is room for a loaded machine running ThreadSanitizer.
constexpr Nanos kMaxLate = kNetPeriod + 750 * kMs;
constexpr int kMaxNesting = 3;
constexpr std::array<std::int64_t, 12> kIntervals{
    1, 1, 1, 2, 2, 3, 5, 10, 45, 0, -1, morvane::kMaxTimerIntervalMs + 1};

Nanos clockNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// The OS wake on a waiter thread, and the window thread's message queue.
class ThreadedWake final : public morvane::WakeTimer {
public:
    [[nodiscard]] Nanos now() const override {
        const Nanos t = clockNow();
        if (std::this_thread::get_id() == windowThread_) {
            lastWindowNow_ = t;
        }
        return t;
    }
    void armWake(std::optional<Nanos> at) override {
        const std::lock_guard lock(mutex_);
        armed_ = at;
        ++generation_;
        armedChanged_.notify_one();
    }
    bool postWake() override {  // the waiter's own random numbers: only it posts
        const int roll = std::uniform_int_distribution(0, 1023)(waiterRandom_);
        if (roll == 0) {
            return true;  // accepted, but the message never arrives
        }
        if (roll == 1) {
            return false;  // the queue refuses it
        }
        const std::lock_guard lock(mutex_);
        ++messages_;
        queueChanged_.notify_one();
        return true;
    }
    void relax() override { std::this_thread::yield(); }

    // The instant the window thread last read the clock: for the pump, the start of a timer it
    // has just set, or in a handler, the instant it handed the tick out.
    [[nodiscard]] Nanos lastWindowNow() const { return lastWindowNow_; }

    void startWaiter(TickPump& pump) {
        windowThread_ = std::this_thread::get_id();
        waiter_ = std::thread([this, &pump] { waiterLoop(pump); });
    }
    void stopWaiter() {
        stopping_.store(true);
        {
            const std::lock_guard lock(mutex_);
            armedChanged_.notify_one();
        }
        waiter_.join();
    }

    // Window thread: waits for a message or `until`; true when a message was taken.
    bool takeMessage(Nanos until) {
        std::unique_lock lock(mutex_);
        queueChanged_.wait_until(lock, Clock::time_point(std::chrono::nanoseconds(until)),
                                 [this] { return messages_ > 0; });
        if (messages_ == 0) {
            return false;
        }
        --messages_;
        return true;
    }

private:
    void waiterLoop(TickPump& pump) {
        std::unique_lock lock(mutex_);
        while (!stopping_.load()) {
            if (!armed_) {
                armedChanged_.wait(lock);
                continue;
            }
            std::uniform_int_distribution<Nanos> offset(-2 * kMs, 3 * kMs);
            const Nanos fireAt = *armed_ + offset(waiterRandom_);
            const std::uint64_t generation = generation_;
            armedChanged_.wait_until(lock, Clock::time_point(std::chrono::nanoseconds(fireAt)),
                                     [&] { return stopping_.load() || generation_ != generation; });
            if (stopping_.load() || generation_ != generation) {
                continue;  // a new request replaces this one
            }
            armed_.reset();
            const bool twice = std::uniform_int_distribution(0, 9)(waiterRandom_) == 0;
            lock.unlock();
            pump.waiterWoke(stopping_);
            if (twice) {
                pump.waiterWoke(stopping_);
            }
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable armedChanged_;
    std::condition_variable queueChanged_;
    std::optional<Nanos> armed_;
    std::uint64_t generation_ = 0;
    int messages_ = 0;
    std::atomic<bool> stopping_{false};
    std::mt19937 waiterRandom_{11};
    std::thread waiter_;
    std::thread::id windowThread_;
    mutable Nanos lastWindowNow_ = 0;
};

// The window's thread: its event loop, the handlers and the checks.
class Window {
public:
    Window() : pump_(os_, [this](TimerId id) { tick(id); }), oracle_(kMaxLate) {
        pump_.setOvershoot(kMs);
        os_.startWaiter(pump_);
    }
    ~Window() { os_.stopWaiter(); }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    Window(Window&&) = delete;
    Window& operator=(Window&&) = delete;

    // Serves messages and the nudge until `until`; reentrant, as a nested event loop is.
    void serve(Nanos until) {
        while (os_.now() < until && failures_ == 0) {
            if (os_.takeMessage(std::min(until, nextNudge_))) {
                pumpWake();
            } else if (os_.now() >= nextNudge_) {
                nextNudge_ += kNetPeriod;
                frames_.emplace_back();  // a nudge may wake the pump
                pump_.nudge();
                frames_.pop_back();
            }
        }
    }

    void change() {
        const auto timer = static_cast<TimerId>(pick(morvane::kTimerCount));
        if (pick(3) == 0) {
            const bool on = pick(4) != 0;
            pump_.setEnabled(timer, on);
            oracle_.enabled(timer, on, os_.lastWindowNow());
        } else {
            const std::int64_t ms =
                kIntervals.at(static_cast<std::size_t>(pick(kIntervals.size())));
            const bool accepted = pump_.setInterval(timer, ms);
            oracle_.interval(timer, ms, accepted, os_.lastWindowNow());
        }
    }

    // Checks that nothing waits past its due instant by more than the bound.
    void settle() { oracle_.settled(os_.now()); }

    [[nodiscard]] int ticks() const { return ticks_; }
    [[nodiscard]] bool failed() const { return failures_ > 0 || !oracle_.failure().empty(); }
    [[nodiscard]] std::string failure() const {
        return oracle_.failure().empty() ? "a wake handed out one timer twice" : oracle_.failure();
    }
    Nanos now() const { return os_.now(); }

private:
    int pick(std::size_t n) {
        return std::uniform_int_distribution(0, static_cast<int>(n) - 1)(random_);
    }

    void pumpWake() {
        frames_.emplace_back();
        pump_.wake();
        frames_.pop_back();
    }

    void tick(TimerId id) {
        ++ticks_;
        oracle_.ticked(id, os_.lastWindowNow());
        if (++frames_.back().at(static_cast<std::size_t>(id)) > 1) {
            ++failures_;
        }
        switch (pick(32)) {
        case 0:
            change();
            break;
        case 1:  // slower than the shortest intervals
            std::this_thread::sleep_for(std::chrono::microseconds(pick(3000)));
            break;
        case 2:  // a message box
            if (nesting_ < kMaxNesting) {
                ++nesting_;
                serve(os_.now() + pick(100) * kMs);
                --nesting_;
            }
            break;
        default:
            break;
        }
    }

    ThreadedWake os_;
    TickPump pump_;
    morvane::testing::TickOracle oracle_;
    std::vector<std::array<int, morvane::kTimerCount>> frames_;
    Nanos nextNudge_ = clockNow() + kNetPeriod;
    std::mt19937 random_{5};
    int nesting_ = 0;
    int ticks_ = 0;
    int failures_ = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 40;
    Window window;
    const Nanos end = window.now() + seconds * 1000 * kMs;
    while (window.now() < end && !window.failed()) {
        for (int i = 0; i < 3; ++i) {
            window.change();
        }
        window.serve(window.now() + 500 * kMs);
        window.settle();
    }
    std::printf("%d ticks in %d s\n", window.ticks(), seconds);
    if (window.failed()) {
        std::printf("FAIL: %s\n", window.failure().c_str());
        return 1;
    }
    std::printf("ok\n");
    return 0;
}
