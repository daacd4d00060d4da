#include "clicker/key_filter.h"

namespace morvane {

namespace {
constexpr std::int16_t kBackspace = 8;
constexpr std::int16_t kPoint = '.';
}  // namespace

std::int16_t filterIntervalKey(std::int16_t c, std::string_view text) {
    if ((c >= '0' && c <= '9') || c == kBackspace) {
        return c;
    }
    if (c == kPoint && !text.empty() && text.find('.') == std::string_view::npos) {
        return c;
    }
    return 0;
}

}  // namespace morvane
