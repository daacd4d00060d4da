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

void RunAction::resumeClicks(PlatformOps& ops, std::int64_t ms) {
    if (ms > 0) {
        ops.setTimerInterval(TimerId::Timer3, ms);
    }
}

void RunAction::steps(PlatformOps& ops, const bool& unloaded) {
    const std::int64_t before = clickMs_;
    if (before > 0) {
        ops.setTimerInterval(TimerId::Timer3, 0);
    }
    ops.messageBox(kExitReminder);
    if (unloaded) {
        return;
    }

    const std::optional<double> seconds = parseSeconds(ops.text2());
    if (!seconds || *seconds > kMaxIntervalSeconds) {
        ops.messageBox(kIntervalRejected);
        if (!unloaded) {
            resumeClicks(ops, before);
        }
        return;
    }

    ops.minimize();

    // The text is read afresh: what counts is the box as it stands now.
    const std::optional<double> again = parseSeconds(ops.text2());
    const std::optional<std::int64_t> ms =
        again ? secondsToMilliseconds(*again) : std::optional<std::int64_t>();
    if (ms && ops.setTimerInterval(TimerId::Timer3, *ms)) {
        clickMs_ = *ms;
    } else {
        resumeClicks(ops, before);
    }
}

}  // namespace morvane
