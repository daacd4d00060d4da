#pragma once

#include <Qt>
#include <array>
#include <cstdint>

#include "platform/platform_ops.h"

namespace morvane::wayland {

// The three hotkeys in every vocabulary a Wayland desktop speaks: the virtual-key code the
// program polls, the key a Qt key event names, the id a shortcut service files it under, and
// the words its settings show.
struct ShortcutKey {
    std::int32_t vk;
    int qtKey;
    const char* id;
    const char* name;  // the key as a shortcut service writes it
    const char* description;
};

inline constexpr std::array<ShortcutKey, 3> kShortcutKeys{{
    {kVkF7, Qt::Key_F7, "capture-f7", "F7", "Morvane：选定点击位置"},
    {kVkF10, Qt::Key_F10, "run-f10", "F10", "Morvane：运行，开始点击"},
    {kVkF12, Qt::Key_F12, "quit-f12", "F12", "Morvane：停止点击并退出"},
}};

// The entry for a Qt key, or null where it is none of the three.
[[nodiscard]] constexpr const ShortcutKey* shortcutForQtKey(int qtKey) {
    for (const ShortcutKey& key : kShortcutKeys) {
        if (key.qtKey == qtKey) {
            return &key;
        }
    }
    return nullptr;
}

}  // namespace morvane::wayland
