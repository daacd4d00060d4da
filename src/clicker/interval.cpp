#include "clicker/interval.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace morvane {

std::optional<double> parseSeconds(std::string_view text) {
    int digits = 0;
    int points = 0;
    for (const char ch : text) {
        if (ch >= '0' && ch <= '9') {
            ++digits;
        } else if (ch == '.') {
            ++points;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0 || points > 1) {
        return std::nullopt;
    }
    double value = 0.0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (error == std::errc::result_out_of_range) {
        // Out of range means too large when the whole part has a nonzero digit, and a value
        // below the smallest double otherwise; both still compare correctly against a bound.
        const std::string_view whole = text.substr(0, text.find('.'));
        return whole.find_first_not_of('0') == std::string_view::npos
                   ? 0.0
                   : std::numeric_limits<double>::infinity();
    }
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int64_t> secondsToMilliseconds(double seconds) {
    const double scaled = seconds * 1000.0;
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 0x1p62) {
        return std::nullopt;
    }
    double rounded = std::round(scaled);  // halves away from zero
    if (std::fabs(scaled - std::trunc(scaled)) == 0.5 && std::fmod(rounded, 2.0) != 0.0) {
        rounded -= std::copysign(1.0, scaled);
    }
    return static_cast<std::int64_t>(rounded);
}

}  // namespace morvane
