#pragma once

#include <string>
#include <string_view>

namespace morvane::win32 {

// The core speaks UTF-8 and Windows speaks UTF-16; these are the only two places they meet.
[[nodiscard]] std::wstring widen(std::string_view utf8);
[[nodiscard]] std::string narrow(std::wstring_view utf16);

}  // namespace morvane::win32
