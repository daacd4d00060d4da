#pragma once

#include <cstdint>
#include <string_view>

#include "platform/platform_ops.h"

namespace morvane {

inline constexpr std::string_view kExitReminder = "F12是退出哦！";
inline constexpr std::string_view kIntervalRejected = "要求在1分钟内选择！";
inline constexpr double kMaxIntervalSeconds = 61.0;

// Command3 / F10: remind that F12 exits, check Text2, minimize, and set Timer3's interval.
//
// Ticks go on while the reminder is open, so a hotkey poll may ask for a second run while the
// first one waits; that request is dropped rather than stacking another box. The form may also
// be unloaded (F12) while a box is open; the waiting run then stops without touching anything.
//
// While one of its boxes is open the clicks pause: each click would put the pointer back on the
// target and activate the window there, taking the keyboard and the mouse from the box, so that
// a fast run could never be answered. Once the box closes they go on at the interval the run
// leaves (the new one, or the old one after a refusal), the first one interval later.
class RunAction {
public:
    // `unloaded` is read after every step that waits for the user.
    void run(PlatformOps& ops, const bool& unloaded);

private:
    void steps(PlatformOps& ops, const bool& unloaded);
    // Timer3 back at `ms` after a pause, its count started afresh.
    static void resumeClicks(PlatformOps& ops, std::int64_t ms);

    bool busy_ = false;
    std::int64_t clickMs_ = 0;  // Timer3's interval as the last run set it
};

}  // namespace morvane
