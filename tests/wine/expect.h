// Checks for the test programs run under Wine: each failure printed, the exit code nonzero.
#pragma once

#include <cstdio>
#include <string>

namespace morvane::wine {

inline int failures = 0;

inline void expect(bool ok, const std::string& what) {
    if (!ok) {
        ++failures;
        std::printf("FAIL %s\n", what.c_str());
    }
}

inline int finish() {
    std::printf("%s\n", failures == 0 ? "ok" : "failed");
    return failures == 0 ? 0 : 1;
}

}  // namespace morvane::wine
