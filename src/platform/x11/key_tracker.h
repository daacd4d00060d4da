#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace morvane::x11 {

// Per-keycode state built from the raw key stream: whether the key is down, and whether it went
// down since the last time it was asked about. A tap shorter than the poll period would
// otherwise be lost between two queries.
class KeyTracker {
public:
    static constexpr int kKeycodes = 256;

    void press(int keycode);
    void release(int keycode);
    // Seeds the "down" state, for keys already held before the stream started.
    void setDown(int keycode, bool down);

    // True when one of the keycodes is down or went down since the previous query of that
    // key; clears the "went down" mark of every keycode asked about.
    bool query(std::span<const int> keycodes);

private:
    struct Key {
        bool down = false;
        bool pressedSinceQuery = false;
    };
    static bool valid(int keycode) { return keycode >= 0 && keycode < kKeycodes; }
    Key& key(int keycode) { return keys_.at(static_cast<std::size_t>(keycode)); }

    std::array<Key, kKeycodes> keys_{};
};

}  // namespace morvane::x11
