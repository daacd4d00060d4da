#pragma once

#include <cstdint>
#include <optional>

namespace morvane::x11 {

// The X keysym of a Windows virtual-key code, for the keys that have one.
[[nodiscard]] std::optional<std::uint32_t> keysymForVk(std::int32_t vk);

}  // namespace morvane::x11
