#pragma once

#include <cstdlib>

namespace morvane::fuzz {

// A broken invariant must stop the fuzzer with a crash it can save and minimise.
inline void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

}  // namespace morvane::fuzz
