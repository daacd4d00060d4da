#include "platform/x11/key_tracker.h"

namespace morvane::x11 {

void KeyTracker::press(int keycode) {
    if (valid(keycode)) {
        key(keycode).down = true;
        key(keycode).pressedSinceQuery = true;
    }
}

void KeyTracker::release(int keycode) {
    if (valid(keycode)) {
        key(keycode).down = false;
    }
}

void KeyTracker::setDown(int keycode, bool down) {
    if (valid(keycode)) {
        key(keycode).down = down;
    }
}

bool KeyTracker::query(std::span<const int> keycodes) {
    bool reported = false;
    for (const int code : keycodes) {
        if (!valid(code)) {
            continue;
        }
        Key& k = key(code);
        reported = reported || k.down || k.pressedSinceQuery;
        k.pressedSinceQuery = false;
    }
    return reported;
}

}  // namespace morvane::x11
