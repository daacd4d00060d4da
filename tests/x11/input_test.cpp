#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <array>

#include "platform/platform_ops.h"
#include "platform/x11/key_tracker.h"
#include "platform/x11/vk_keysym.h"

namespace morvane::x11 {
namespace {

TEST(VkKeysym, HotkeysAndRunEdges) {
    EXPECT_EQ(keysymForVk(kVkF7), XK_F7);
    EXPECT_EQ(keysymForVk(kVkF10), XK_F10);
    EXPECT_EQ(keysymForVk(kVkF12), XK_F12);
    EXPECT_EQ(keysymForVk(0x70), XK_F1);
    EXPECT_EQ(keysymForVk(0x87), XK_F24);
    EXPECT_EQ(keysymForVk(0x41), XK_a);
    EXPECT_EQ(keysymForVk(0x5A), XK_z);
    EXPECT_EQ(keysymForVk(0x30), XK_0);
    EXPECT_EQ(keysymForVk(0x69), XK_KP_9);
    EXPECT_EQ(keysymForVk(0x1B), XK_Escape);
}

TEST(VkKeysym, CodesWithoutAKeyHaveNoKeysym) {
    for (const std::int32_t vk : {0x00, 0x01, 0x07, 0x3A, 0x40, 0x5E, 0x88, 0xFF, -1, 0x10000}) {
        EXPECT_FALSE(keysymForVk(vk).has_value()) << vk;
    }
}

constexpr int kF7 = 73;
constexpr int kF12 = 96;

TEST(KeyTracker, TapBetweenQueriesIsReportedOnce) {
    KeyTracker keys;
    const std::array f7{kF7};
    EXPECT_FALSE(keys.query(f7));
    keys.press(kF7);
    keys.release(kF7);
    EXPECT_TRUE(keys.query(f7));
    EXPECT_FALSE(keys.query(f7));
}

TEST(KeyTracker, HeldKeyIsReportedAtEveryQueryUntilReleased) {
    KeyTracker keys;
    const std::array f7{kF7};
    keys.press(kF7);
    EXPECT_TRUE(keys.query(f7));
    EXPECT_TRUE(keys.query(f7));
    keys.release(kF7);
    EXPECT_FALSE(keys.query(f7));
}

TEST(KeyTracker, QueryClearsOnlyTheKeysAskedAbout) {
    KeyTracker keys;
    keys.press(kF7);
    keys.release(kF7);
    keys.press(kF12);
    keys.release(kF12);
    EXPECT_TRUE(keys.query(std::array{kF12}));
    EXPECT_TRUE(keys.query(std::array{kF7}));
    EXPECT_FALSE(keys.query(std::array{kF12}));
}

TEST(KeyTracker, AnyOfSeveralKeycodesCounts) {
    KeyTracker keys;
    keys.setDown(200, true);  // already held when the stream started
    EXPECT_TRUE(keys.query(std::array{kF7, 200}));
    keys.setDown(200, false);
    EXPECT_FALSE(keys.query(std::array{kF7, 200}));
}

TEST(KeyTracker, KeycodesOutsideTheRangeAreIgnored) {
    KeyTracker keys;
    keys.press(-1);
    keys.press(KeyTracker::kKeycodes);
    EXPECT_FALSE(keys.query(std::array{-1, KeyTracker::kKeycodes}));
}

}  // namespace
}  // namespace morvane::x11
