#include "platform/key_latch.h"

namespace morvane {

void KeyLatch::press(int key, std::optional<POINT> point) {
    if (!valid(key)) {
        return;
    }
    Key& k = at(key);
    if (!k.down && !k.pressedSinceQuery) {
        k.pressAt = point;
    }
    k.down = true;
    k.pressedSinceQuery = true;
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
        k.reported = k.pressedSinceQuery ? k.pressAt : std::nullopt;
        k.pressedSinceQuery = false;
    }
    return static_cast<std::int16_t>(state);
}

std::optional<POINT> KeyLatch::pressPoint(int key) const {
    return valid(key) ? at(key).reported : std::nullopt;
}

}  // namespace morvane
