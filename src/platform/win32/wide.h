#pragma once

#include <string>
#include <string_view>

#include "platform/utf.h"

namespace morvane::win32 {

// Windows' wchar_t and the core's char16_t both hold UTF-16 here, but they are distinct types:
// text crosses between them as a copy, never as a cast of the buffer.
inline std::wstring wide(std::u16string_view text) { return {text.begin(), text.end()}; }
inline std::wstring wide(std::string_view utf8) { return wide(toUtf16(utf8)); }
inline std::u16string utf16(std::wstring_view text) { return {text.begin(), text.end()}; }
inline std::string utf8(std::wstring_view text) { return toUtf8(utf16(text)); }

}  // namespace morvane::win32
