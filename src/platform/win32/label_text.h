#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

namespace morvane::win32 {

struct TextLine {
    std::size_t begin = 0;
    std::size_t length = 0;
};

// How many leading characters of the text fit in the width; the caller measures with the font.
using FitCount = std::function<std::size_t(std::wstring_view text)>;

// Breaks a label's caption into lines. Chinese has no spaces, so a line may end after any
// character; but closing punctuation never starts a line, and a run of Latin letters or digits
// (such as "F7" or a coordinate) is only split when it is longer than a whole line.
[[nodiscard]] std::vector<TextLine> wrapLabel(std::wstring_view text, const FitCount& fit);

}  // namespace morvane::win32
