// Drives the tick pump through a simulated OS timer that the input makes misbehave (early, late,
// doubled, spurious or lost wakes, coarse resolution) while the input also changes the schedule,
// from outside and from inside tick handlers and their nested loops. Checks every tick against
// an independent model of the schedule, and that a wake is always on its way.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "fake/pump_rig.h"
#include "fuzz_check.h"

namespace {

using morvane::Nanos;
using morvane::TimerId;
using morvane::testing::PumpRig;
using morvane::testing::SimulatedWakeTimer;

constexpr Nanos kMs = morvane::kNanosPerMilli;
constexpr Nanos kMaxLateFault = 60 * kMs;
constexpr Nanos kNetPeriod = 250 * kMs;
constexpr Nanos kRunBudget = 2000 * kMs;
constexpr int kMaxNesting = 3;

constexpr std::array<std::int64_t, 12> kIntervals{
    -1, 0, 1, 2, 3, 7, 10, 45, 200, 1000, 61000, morvane::kMaxTimerIntervalMs + 1};

TimerId anyTimer(FuzzedDataProvider& in) {
    return static_cast<TimerId>(in.ConsumeIntegralInRange<int>(0, morvane::kTimerCount - 1));
}

// One change of the schedule, or a stretch of time.
void step(FuzzedDataProvider& in, PumpRig& rig, Nanos end) {
    switch (in.ConsumeIntegralInRange<int>(0, 4)) {
    case 0:
        rig.setInterval(anyTimer(in), in.PickValueInArray(kIntervals));
        break;
    case 1:
        rig.setEnabled(anyTimer(in), in.ConsumeBool());
        break;
    case 2:
        rig.os.addSpurious(rig.os.now() + in.ConsumeIntegralInRange<Nanos>(0, 20 * kMs));
        break;
    default:
        rig.run(std::min(in.ConsumeIntegralInRange<Nanos>(0, 300 * kMs),
                         std::max(end - rig.os.now(), Nanos{0})));
        break;
    }
}

}  // namespace

using morvane::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const auto delivery = in.ConsumeBool() ? SimulatedWakeTimer::Delivery::Posted
                                           : SimulatedWakeTimer::Delivery::Direct;
    // A real timer fires at its next clock tick at the soonest, however early it runs.
    const Nanos resolution = in.ConsumeIntegralInRange<Nanos>(kMs / 20, 16 * kMs);
    const Nanos overshoot = in.ConsumeIntegralInRange<Nanos>(0, 5 * kMs);
    const bool lossy = in.ConsumeBool();
    const std::uint8_t earlyOdds = in.ConsumeIntegral<std::uint8_t>();
    const std::uint8_t lateOdds = in.ConsumeIntegral<std::uint8_t>();
    const std::uint8_t handlerOdds = in.ConsumeIntegral<std::uint8_t>();

    // However the OS misbehaves, a due instant waits no longer than its worst wake (the latest
    // fault, the timer's resolution, or the safety net that catches a lost wake) once for
    // itself and once for each handler ahead of it that sits in a nested loop meanwhile.
    const Nanos worstWake = std::max({kMaxLateFault, resolution, lossy ? kNetPeriod : Nanos{0}});
    const Nanos maxLate = (kMaxNesting + 1) * worstWake + kMs / 10;
    PumpRig rig(delivery, resolution, maxLate);
    if (lossy) {
        rig.os.setSafetyNet(kNetPeriod);
    }
    rig.os.setFaults([&](Nanos, Nanos) {
        SimulatedWakeTimer::Fault fault;
        const auto roll = in.ConsumeIntegral<std::uint8_t>();
        if (roll < earlyOdds) {
            fault.offset = -in.ConsumeIntegralInRange<Nanos>(0, 20 * kMs);
        } else if (roll < earlyOdds + lateOdds) {
            fault.offset = in.ConsumeIntegralInRange<Nanos>(0, kMaxLateFault);
        }
        fault.lost = lossy && in.ConsumeIntegral<std::uint8_t>() < 40;
        if (in.ConsumeIntegral<std::uint8_t>() < 30) {
            fault.repeatAfter = in.ConsumeIntegralInRange<Nanos>(0, 5 * kMs);
        }
        return fault;
    });
    // Only a waiter thread spins out a lead: a backend that calls wake() directly would be woken
    // again and again before the due instant.
    if (delivery == SimulatedWakeTimer::Delivery::Posted) {
        rig.pump.presumeLatenessForTesting(overshoot);
    }

    int nesting = 0;
    rig.onTick = [&](TimerId) {
        if (in.ConsumeIntegral<std::uint8_t>() >= handlerOdds) {
            return;
        }
        // A handler that changes the schedule, or sits in a message box for a while.
        if (nesting < kMaxNesting && in.ConsumeBool()) {
            ++nesting;
            const Nanos end = rig.os.now() + in.ConsumeIntegralInRange<Nanos>(0, 400 * kMs);
            while (rig.os.now() < end && in.remaining_bytes() > 0) {
                step(in, rig, end);
            }
            --nesting;
        } else {
            step(in, rig, rig.os.now());
        }
    };

    while (in.remaining_bytes() > 0 && rig.os.now() < kRunBudget) {
        step(in, rig, kRunBudget);
    }
    rig.run(0);
    if (!rig.failure().empty()) {
        std::fprintf(stderr, "%s\n", rig.failure().c_str());
    }
    check(rig.failure().empty());
    return 0;
}
