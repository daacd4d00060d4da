#include "platform/x11/timer_source.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>
#include <utility>

namespace morvane::x11 {

namespace {

constexpr Nanos kNanosPerSecond = 1'000'000'000;

}  // namespace

TimerSource::TimerSource(TickHandler onTick, QObject* parent)
    : QObject(parent), onTick_(std::move(onTick)) {
    fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ < 0) {
        throw std::runtime_error(std::string("timerfd_create: ") + std::strerror(errno));
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { expired(); });
}

TimerSource::~TimerSource() {
    notifier_.reset();
    close(fd_);
}

Nanos TimerSource::now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<Nanos>(ts.tv_sec) * kNanosPerSecond + ts.tv_nsec;
}

void TimerSource::setEnabled(TimerId timer, bool enabled) {
    bank_.setEnabled(timer, enabled, now());
    arm();
}

bool TimerSource::setInterval(TimerId timer, std::int64_t milliseconds) {
    const bool accepted = bank_.setInterval(timer, milliseconds, now());
    arm();
    return accepted;
}

void TimerSource::destroyAll() {
    bank_.destroyAll();
    arm();
}

void TimerSource::arm() {
    // Each tick re-arms before and after its handler; one system call is enough when the
    // handler left the schedule alone.
    const std::optional<Nanos> due = bank_.nextDue();
    if (due == armed_) {
        return;
    }
    armed_ = due;
    itimerspec spec{};
    if (due) {
        // A zero it_value would disarm the timer; anything due already fires at once anyway.
        const Nanos at = *due > 0 ? *due : 1;
        spec.it_value.tv_sec = static_cast<time_t>(at / kNanosPerSecond);
        spec.it_value.tv_nsec = static_cast<long>(at % kNanosPerSecond);
    }
    timerfd_settime(fd_, TFD_TIMER_ABSTIME, &spec, nullptr);
}

void TimerSource::expired() {
    std::uint64_t expirations = 0;
    // Only clears the readable state; the bank decides what is due.
    [[maybe_unused]] const ssize_t got = read(fd_, &expirations, sizeof expirations);
    armed_.reset();
    const Nanos at = now();
    while (const std::optional<TimerId> id = bank_.takeDue(at)) {
        // Re-armed before the tick runs: a tick may open a message box and run a nested event
        // loop for as long as the box stays open, and the timers must keep going in there.
        arm();
        onTick_(*id);
    }
    arm();
}

}  // namespace morvane::x11
