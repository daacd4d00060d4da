// Feeds Text2 arbitrary key sequences, with the caret anywhere, and checks that typing alone
// can only ever build a plain decimal.
#include <cstddef>
#include <cstdint>
#include <string>

#include "clicker/key_filter.h"
#include "fuzz_check.h"

using morvane::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text;
    std::size_t caret = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const auto raw = static_cast<std::uint16_t>(data[i] | data[i + 1] << 8);
        // Codes 0xFF00-0xFFFF move the caret instead of typing (the box's arrow keys).
        if (raw >= 0xFF00U) {
            caret = text.empty() ? 0 : (raw & 0xFFU) % (text.size() + 1);
            continue;
        }
        const auto code = static_cast<std::int16_t>(raw);
        const std::int16_t result = morvane::filterIntervalKey(code, text);
        check(result == 0 || result == code);
        if (result == 0) {
            continue;
        }
        if (result == 8) {
            if (caret > 0) {
                text.erase(--caret, 1);
            }
            continue;
        }
        check((result >= '0' && result <= '9') || result == '.');
        if (result == '.') {
            check(!text.empty());
        }
        text.insert(caret++, 1, static_cast<char>(result));
        check(text.find('.') == text.rfind('.'));
        check(text.find_first_not_of("0123456789.") == std::string::npos);
    }
    return 0;
}
