#include "clicker/run_action.h"

#include <string>

#include "clicker/interval.h"

namespace morvane {

void RunAction::run(PlatformOps& ops, const bool& unloaded) {
    if (busy_ || unloaded) {
        return;
    }
    busy_ = true;
    steps(ops, unloaded);
    busy_ = false;
}

void RunAction::steps(PlatformOps& ops, const bool& unloaded) {
    ops.messageBox(kExitReminder);
    if (unloaded) {
        return;
    }

    const std::optional<double> seconds = parseSeconds(ops.text2());
    if (!seconds || *seconds > kMaxIntervalSeconds) {
        ops.messageBox(kIntervalRejected);
        return;
    }

    ops.minimize();

    // The text is read afresh: what counts is the box as it stands now.
    const std::optional<double> again = parseSeconds(ops.text2());
    if (!again) {
        return;
    }
    if (const std::optional<std::int64_t> ms = secondsToMilliseconds(*again)) {
        ops.setTimerInterval(TimerId::Timer3, *ms);
    }
}

}  // namespace morvane
