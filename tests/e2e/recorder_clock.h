// The clock every Linux recorder stamps its log with, the harness's own (harness.now_us), and
// the one QueryPerformanceCounter reads under Wine.
#pragma once

#include <cstdlib>
#include <ctime>

namespace morvane::e2e {

inline long long monotonicMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
    return static_cast<long long>(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

inline int toInt(const char* text) { return static_cast<int>(std::strtol(text, nullptr, 10)); }

}  // namespace morvane::e2e
