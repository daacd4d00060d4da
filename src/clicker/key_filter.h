#pragma once

#include <cstdint>
#include <string_view>

namespace morvane {

// Text2's key filter. `c` is the UTF-16 code of the character about to be inserted and `text`
// the box's whole current text. Returns the code to insert; 0 cancels the character.
// Digits and backspace pass; "." passes only into a non-empty text without a "." yet.
[[nodiscard]] std::int16_t filterIntervalKey(std::int16_t c, std::string_view text);

}  // namespace morvane
