#pragma once

#include <string>
#include <string_view>

namespace morvane {

// The core's texts are UTF-8; Win32 and Qt hold UTF-16. Malformed input (a stray or truncated
// byte, a lone surrogate) becomes U+FFFD, as the Windows conversions do, never a wrong letter.
[[nodiscard]] std::u16string toUtf16(std::string_view utf8);
[[nodiscard]] std::string toUtf8(std::u16string_view utf16);

}  // namespace morvane
