#include "platform/x11/vk_keysym.h"

#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <utility>

namespace morvane::x11 {

namespace {

struct VkKeysym {
    std::int32_t vk;
    std::uint32_t keysym;
};

// Keys whose code is not part of a contiguous run handled below. Unshifted keysyms: a key
// counts as down whatever the modifiers, as it does on Windows.
constexpr std::array kSingles{
    VkKeysym{0x08, XK_BackSpace},   VkKeysym{0x09, XK_Tab},         VkKeysym{0x0C, XK_Clear},
    VkKeysym{0x0D, XK_Return},      VkKeysym{0x10, XK_Shift_L},     VkKeysym{0x11, XK_Control_L},
    VkKeysym{0x12, XK_Alt_L},       VkKeysym{0x13, XK_Pause},       VkKeysym{0x14, XK_Caps_Lock},
    VkKeysym{0x1B, XK_Escape},      VkKeysym{0x20, XK_space},       VkKeysym{0x21, XK_Prior},
    VkKeysym{0x22, XK_Next},        VkKeysym{0x23, XK_End},         VkKeysym{0x24, XK_Home},
    VkKeysym{0x25, XK_Left},        VkKeysym{0x26, XK_Up},          VkKeysym{0x27, XK_Right},
    VkKeysym{0x28, XK_Down},        VkKeysym{0x2C, XK_Print},       VkKeysym{0x2D, XK_Insert},
    VkKeysym{0x2E, XK_Delete},      VkKeysym{0x5B, XK_Super_L},     VkKeysym{0x5C, XK_Super_R},
    VkKeysym{0x5D, XK_Menu},        VkKeysym{0x6A, XK_KP_Multiply}, VkKeysym{0x6B, XK_KP_Add},
    VkKeysym{0x6D, XK_KP_Subtract}, VkKeysym{0x6E, XK_KP_Decimal},  VkKeysym{0x6F, XK_KP_Divide},
    VkKeysym{0x90, XK_Num_Lock},    VkKeysym{0x91, XK_Scroll_Lock}, VkKeysym{0xA0, XK_Shift_L},
    VkKeysym{0xA1, XK_Shift_R},     VkKeysym{0xA2, XK_Control_L},   VkKeysym{0xA3, XK_Control_R},
    VkKeysym{0xA4, XK_Alt_L},       VkKeysym{0xA5, XK_Alt_R},       VkKeysym{0xBA, XK_semicolon},
    VkKeysym{0xBB, XK_equal},       VkKeysym{0xBC, XK_comma},       VkKeysym{0xBD, XK_minus},
    VkKeysym{0xBE, XK_period},      VkKeysym{0xBF, XK_slash},       VkKeysym{0xC0, XK_grave},
    VkKeysym{0xDB, XK_bracketleft}, VkKeysym{0xDC, XK_backslash},   VkKeysym{0xDD, XK_bracketright},
    VkKeysym{0xDE, XK_apostrophe},
};

struct VkRun {
    std::int32_t firstVk;
    std::int32_t lastVk;
    std::uint32_t firstKeysym;
};

constexpr std::array kRuns{
    VkRun{0x30, 0x39, XK_0},     // digits
    VkRun{0x41, 0x5A, XK_a},     // letters
    VkRun{0x60, 0x69, XK_KP_0},  // keypad digits
    VkRun{0x70, 0x87, XK_F1},    // F1..F24
};

}  // namespace

std::optional<std::uint32_t> keysymForVk(std::int32_t vk) {
    for (const VkRun& run : kRuns) {
        if (vk >= run.firstVk && vk <= run.lastVk) {
            return run.firstKeysym + static_cast<std::uint32_t>(vk - run.firstVk);
        }
    }
    const auto* found = std::find_if(kSingles.begin(), kSingles.end(),
                                     [vk](const VkKeysym& entry) { return entry.vk == vk; });
    if (found != kSingles.end()) {
        return found->keysym;
    }
    return std::nullopt;
}

}  // namespace morvane::x11
