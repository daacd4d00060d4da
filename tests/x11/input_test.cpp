#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "platform/platform_ops.h"
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

}  // namespace
}  // namespace morvane::x11
