#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace morvane {

// Seconds written as digits with at most one "." and at least one digit ("5", "5.", ".5",
// "0.25"). "." is the decimal point whatever the locale. Anything else (signs, exponents,
// blanks, grouping, "inf", "nan") is not a number. A digit string too large for a double
// reads as +infinity, which is above every bound.
[[nodiscard]] std::optional<double> parseSeconds(std::string_view text);

// seconds * 1000.0 rounded to the nearest integer, an exact half to the even neighbour.
// Values that are not finite stay out of range of every timer and give no result.
[[nodiscard]] std::optional<std::int64_t> secondsToMilliseconds(double seconds);

}  // namespace morvane
