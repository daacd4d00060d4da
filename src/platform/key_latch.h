#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/platform_ops.h"

namespace morvane {

// What GetAsyncKeyState answers, built from a stream of key presses and releases: whether a key
// is down, and whether it went down since the last time it was asked about. A tap shorter than
// the poll period would otherwise be lost between two queries. A backend without such a call
// (X11) feeds it its raw key events; the fake platform feeds it the tests' keys.
//
// A backend that sees the events as they happen also hands in where the pointer was at each
// press: by the time a poll reports the key the pointer may be elsewhere.
class KeyLatch {
public:
    static constexpr int kKeys = 256;
    // The bits of the answer, as GetAsyncKeyState sets them.
    static constexpr std::uint16_t kDownNow = 0x8000;
    static constexpr std::uint16_t kPressedSinceQuery = 0x0001;

    // `at`: the pointer at the moment of the press. A press while the key is down (auto-repeat),
    // or a second press before a query has reported the first, keeps the first one's point:
    // that is the moment the user asked for.
    void press(int key, std::optional<POINT> at = std::nullopt);
    void release(int key);
    // Seeds the "down" state, for keys already held before the stream started.
    void setDown(int key, bool down);

    // kDownNow if one of the keys is down, kPressedSinceQuery if one went down since the previous
    // query of that key, both, or 0; clears the "went down" mark of every key asked about.
    [[nodiscard]] std::int16_t query(std::span<const int> keys);

    // The point of the press that the last query of `key` reported as "went down since the
    // previous query"; empty when that query reported no such press (a key only held, or
    // nothing) or the press came without a point.
    [[nodiscard]] std::optional<POINT> pressPoint(int key) const;

private:
    struct Key {
        bool down = false;
        bool pressedSinceQuery = false;
        std::optional<POINT> pressAt;   // of the press not yet reported, or of the key held
        std::optional<POINT> reported;  // what the last query reported
    };
    static bool valid(int key) { return key >= 0 && key < kKeys; }
    Key& at(int key) { return keys_.at(static_cast<std::size_t>(key)); }
    [[nodiscard]] const Key& at(int key) const { return keys_.at(static_cast<std::size_t>(key)); }

    std::array<Key, kKeys> keys_{};
};

}  // namespace morvane
