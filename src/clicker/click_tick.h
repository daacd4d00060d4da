#pragma once

#include <cstdint>

#include "platform/platform_ops.h"

namespace morvane {

// One Timer3 tick: put the cursor on the target, then one left click there.
void clickTick(PlatformOps& ops, std::int16_t targetX, std::int16_t targetY);

}  // namespace morvane
