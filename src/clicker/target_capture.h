#pragma once

#include <cstdint>
#include <string>

#include "platform/platform_ops.h"

namespace morvane {

// Command1: follow the cursor every 200 ms.
void startCapture(PlatformOps& ops);

// F7: stop following; the caption and the target keep their last values.
void stopCapture(PlatformOps& ops);

// Shows `point` in Label1, then takes it as the click target: a capture tick's second half, and
// F7's where the platform knows where the pointer was at the press.
void takePoint(PlatformOps& ops, POINT point, POINT& cursorPos, std::int16_t& targetX,
               std::int16_t& targetY);

// One Timer1 tick: read the cursor, show it in Label1, then take it as the click target.
void captureTick(PlatformOps& ops, POINT& cursorPos, std::int16_t& targetX, std::int16_t& targetY);

// "横坐标:<x> 纵坐标:<y>" with both coordinates as plain 32-bit decimals.
[[nodiscard]] std::string coordinateCaption(POINT point);

// Coordinates beyond the 16-bit range clamp to its nearest end rather than wrapping, so an
// off-range cursor never turns into a click on the opposite side of the desktop.
[[nodiscard]] std::int16_t saturateToInt16(std::int32_t value);

}  // namespace morvane
