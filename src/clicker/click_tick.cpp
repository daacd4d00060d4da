#include "clicker/click_tick.h"

namespace morvane {

void clickTick(PlatformOps& ops, std::int16_t targetX, std::int16_t targetY) {
    ops.SetCursorPos(targetX, targetY);
    ops.mouse_event(kMouseLeftClick, 0, 0, 0, 0);
}

}  // namespace morvane
