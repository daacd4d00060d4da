#include "platform/utf.h"

#include <algorithm>
#include <array>

namespace morvane {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool continuation(unsigned char byte) { return (byte & 0xC0U) == 0x80U; }

// The lead bytes of multi-byte sequences: how long each sequence is, the bits the lead carries,
// and the smallest value the sequence may encode (anything less is an overlong form).
struct Lead {
    unsigned char first;
    unsigned char last;
    std::size_t length;
    unsigned char bits;
    char32_t least;
};
constexpr std::array<Lead, 3> kLeads{
    {{0xC2, 0xDF, 2, 0x1F, 0x80}, {0xE0, 0xEF, 3, 0x0F, 0x800}, {0xF0, 0xF4, 4, 0x07, 0x10000}}};

// One code point from the front of `in`; `used` is how many bytes it took (at least one).
char32_t decodeOne(std::string_view in, std::size_t& used) {
    const auto lead = static_cast<unsigned char>(in[0]);
    used = 1;
    if (lead < 0x80U) {
        return lead;
    }
    const auto* kind = std::find_if(kLeads.begin(), kLeads.end(), [lead](const Lead& l) {
        return lead >= l.first && lead <= l.last;
    });
    if (kind == kLeads.end()) {
        return kReplacement;
    }
    char32_t value = lead & kind->bits;
    for (std::size_t k = 1; k < kind->length; ++k) {
        if (k >= in.size() || !continuation(static_cast<unsigned char>(in[k]))) {
            used = k;
            return kReplacement;
        }
        value = (value << 6U) | (static_cast<unsigned char>(in[k]) & 0x3FU);
    }
    used = kind->length;
    const bool surrogate = value >= 0xD800U && value <= 0xDFFFU;
    return value < kind->least || value > 0x10FFFFU || surrogate ? kReplacement : value;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80U) {
        out.push_back(static_cast<char>(c));
        return;
    }
    const unsigned extra = c < 0x800U ? 1 : c < 0x10000U ? 2 : 3;
    constexpr std::array<unsigned char, 3> kMarks{0xC0, 0xE0, 0xF0};
    out.push_back(static_cast<char>(kMarks.at(extra - 1) | (c >> (6U * extra))));
    for (unsigned k = extra; k-- > 0;) {
        out.push_back(static_cast<char>(0x80U | ((c >> (6U * k)) & 0x3FU)));
    }
}

}  // namespace

std::u16string toUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t used = 0; !utf8.empty(); utf8.remove_prefix(used)) {
        const char32_t c = decodeOne(utf8, used);
        if (c >= 0x10000U) {
            out.push_back(static_cast<char16_t>(0xD800U + ((c - 0x10000U) >> 10U)));
            out.push_back(static_cast<char16_t>(0xDC00U + ((c - 0x10000U) & 0x3FFU)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

std::string toUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800U && c <= 0xDBFFU && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00U &&
            utf16[i + 1] <= 0xDFFFU) {
            c = 0x10000U + ((c - 0xD800U) << 10U) + (utf16[++i] - 0xDC00U);
        } else if (c >= 0xD800U && c <= 0xDFFFU) {
            c = kReplacement;
        }
        appendUtf8(out, c);
    }
    return out;
}

}  // namespace morvane
