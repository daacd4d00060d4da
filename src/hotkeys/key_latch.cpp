#include "hotkeys/key_latch.h"

namespace morvane {

void KeyLatch::press(int key) {
    if (valid(key)) {
        at(key).down = true;
        at(key).pressedSinceQuery = true;
    }
}

void KeyLatch::release(int key) {
    if (valid(key)) {
        at(key).down = false;
    }
}

void KeyLatch::setDown(int key, bool down) {
    if (valid(key)) {
        at(key).down = down;
    }
}

std::int16_t KeyLatch::query(std::span<const int> keys) {
    std::uint16_t state = 0;
    for (const int code : keys) {
        if (!valid(code)) {
            continue;
        }
        Key& k = at(code);
        if (k.down) {
            state |= kDownNow;
        }
        if (k.pressedSinceQuery) {
            state |= kPressedSinceQuery;
        }
        k.pressedSinceQuery = false;
    }
    return static_cast<std::int16_t>(state);
}

}  // namespace morvane
