#include "clicker/target_capture.h"

#include <algorithm>
#include <limits>

namespace morvane {

namespace {
constexpr std::int64_t kCaptureIntervalMs = 200;
}

void startCapture(PlatformOps& ops) {
    ops.setTimerEnabled(TimerId::Timer1, true);
    ops.setTimerInterval(TimerId::Timer1, kCaptureIntervalMs);
}

void stopCapture(PlatformOps& ops) { ops.setTimerEnabled(TimerId::Timer1, false); }

void takePoint(PlatformOps& ops, POINT point, POINT& cursorPos, std::int16_t& targetX,
               std::int16_t& targetY) {
    cursorPos = point;
    ops.setLabel1Caption(coordinateCaption(cursorPos));
    targetX = saturateToInt16(cursorPos.x);
    targetY = saturateToInt16(cursorPos.y);
}

void captureTick(PlatformOps& ops, POINT& cursorPos, std::int16_t& targetX, std::int16_t& targetY) {
    ops.GetCursorPos(cursorPos);
    takePoint(ops, cursorPos, cursorPos, targetX, targetY);
}

std::string coordinateCaption(POINT point) {
    return "横坐标:" + std::to_string(point.x) + " 纵坐标:" + std::to_string(point.y);
}

std::int16_t saturateToInt16(std::int32_t value) {
    constexpr std::int32_t kLo = std::numeric_limits<std::int16_t>::min();
    constexpr std::int32_t kHi = std::numeric_limits<std::int16_t>::max();
    return static_cast<std::int16_t>(std::clamp(value, kLo, kHi));
}

}  // namespace morvane
