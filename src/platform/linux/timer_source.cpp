#include "platform/linux/timer_source.h"

#include <sched.h>
#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>
#include <utility>

namespace morvane::qt {

namespace {

constexpr Nanos kNanosPerSecond = 1'000'000'000;
// The shortest slice the scheduler accepts; a tick's work is a few tens of microseconds.
constexpr std::uint64_t kSliceNanos = 100'000;

// The kernel's struct sched_attr, first version; its header clashes with glibc's <sched.h>.
struct SchedAttr {
    std::uint32_t size;
    std::uint32_t policy;
    std::uint64_t flags;
    std::int32_t nice;
    std::uint32_t priority;
    std::uint64_t runtime;
    std::uint64_t deadline;
    std::uint64_t period;
};

}  // namespace

TimerSource::TimerSource(TickHandler onTick, QObject* parent)
    : QObject(parent),
      fd_(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)),
      pump_(*this, std::move(onTick)) {
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

Nanos TimerSource::clock() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<Nanos>(ts.tv_sec) * kNanosPerSecond + ts.tv_nsec;
}

bool TimerSource::requestPromptWakeups() {
    SchedAttr attr{};
    // glibc has no wrapper for these two calls; 0 is the calling thread.
    if (syscall(SYS_sched_getattr, 0, &attr, sizeof attr, 0) != 0) {
        return false;
    }
    if (attr.policy != SCHED_OTHER && attr.policy != SCHED_BATCH) {
        return false;  // a real-time policy chosen by the user is left alone
    }
    attr.size = sizeof attr;
    attr.flags = 0;
    attr.runtime = kSliceNanos;
    return syscall(SYS_sched_setattr, 0, &attr, 0) == 0;
}

void TimerSource::armWake(std::optional<Nanos> at) {
    itimerspec when{};
    if (at) {
        // A zero it_value would disarm the timer; anything due already fires at once anyway.
        const Nanos instant = *at > 0 ? *at : 1;
        when.it_value.tv_sec = static_cast<time_t>(instant / kNanosPerSecond);
        when.it_value.tv_nsec = static_cast<long>(instant % kNanosPerSecond);
    }
    timerfd_settime(fd_, TFD_TIMER_ABSTIME, &when, nullptr);
}

void TimerSource::expired() {
    std::uint64_t expirations = 0;
    // Only clears the readable state; the pump decides what is due.
    [[maybe_unused]] const ssize_t got = read(fd_, &expirations, sizeof expirations);
    pump_.wake();
}

}  // namespace morvane::qt
