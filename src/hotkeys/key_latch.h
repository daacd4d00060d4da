#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace morvane {

// What GetAsyncKeyState answers, built from a stream of key presses and releases: whether a key
// is down, and whether it went down since the last time it was asked about. A tap shorter than
// the poll period would otherwise be lost between two queries. A backend without such a call
// (X11) feeds it its raw key events; the fake platform feeds it the tests' keys.
class KeyLatch {
public:
    static constexpr int kKeys = 256;
    // The bits of the answer, as GetAsyncKeyState sets them.
    static constexpr std::uint16_t kDownNow = 0x8000;
    static constexpr std::uint16_t kPressedSinceQuery = 0x0001;

    void press(int key);
    void release(int key);
    // Seeds the "down" state, for keys already held before the stream started.
    void setDown(int key, bool down);

    // kDownNow if one of the keys is down, kPressedSinceQuery if one went down since the previous
    // query of that key, both, or 0; clears the "went down" mark of every key asked about.
    [[nodiscard]] std::int16_t query(std::span<const int> keys);

private:
    struct Key {
        bool down = false;
        bool pressedSinceQuery = false;
    };
    static bool valid(int key) { return key >= 0 && key < kKeys; }
    Key& at(int key) { return keys_.at(static_cast<std::size_t>(key)); }

    std::array<Key, kKeys> keys_{};
};

}  // namespace morvane
