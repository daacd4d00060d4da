#include <gtest/gtest.h>

#include <array>

#include "hotkeys/key_latch.h"

namespace morvane {
namespace {

constexpr std::int16_t kNothing = 0;
constexpr auto kDown = static_cast<std::int16_t>(KeyLatch::kDownNow);
constexpr auto kTapped = static_cast<std::int16_t>(KeyLatch::kPressedSinceQuery);
constexpr int kF7 = 73;
constexpr int kF12 = 96;

TEST(KeyLatchTest, AQueryClearsOnlyTheKeysAskedAbout) {
    KeyLatch keys;
    for (const int key : {kF7, kF12}) {
        keys.press(key);
        keys.release(key);
    }
    EXPECT_EQ(keys.query(std::array{kF12}), kTapped);
    EXPECT_EQ(keys.query(std::array{kF7}), kTapped);
    EXPECT_EQ(keys.query(std::array{kF12}), kNothing);
}

TEST(KeyLatchTest, AnyOfSeveralKeysCountsAndOutOfRangeOnesAreIgnored) {
    KeyLatch keys;
    keys.setDown(200, true);  // already held when the stream started: no tap to report
    EXPECT_EQ(keys.query(std::array{kF7, 200}), kDown);
    keys.setDown(200, false);
    EXPECT_EQ(keys.query(std::array{kF7, 200}), kNothing);
    keys.press(-1);
    keys.press(KeyLatch::kKeys);
    EXPECT_EQ(keys.query(std::array{-1, KeyLatch::kKeys}), kNothing);
}

}  // namespace
}  // namespace morvane
