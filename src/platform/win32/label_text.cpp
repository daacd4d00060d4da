#include "platform/win32/label_text.h"

namespace morvane::win32 {

namespace {

bool closesClause(wchar_t c) {
    constexpr std::wstring_view kClosing = L"，。！？：；、）》」』,.!?:;)";
    return kClosing.find(c) != std::wstring_view::npos;
}

bool latinWordChar(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') ||
           c == L'-';
}

}  // namespace

std::vector<TextLine> wrapLabel(std::wstring_view text, const FitCount& fit) {
    std::vector<TextLine> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::wstring_view rest = text.substr(pos);
        std::size_t take = fit(rest);
        // A line always takes something, even a character wider than the label.
        take = take == 0 ? 1 : (take > rest.size() ? rest.size() : take);
        if (take < rest.size()) {
            std::size_t cut = take;
            while (cut > 0 && closesClause(rest[cut])) {
                --cut;
            }
            while (cut > 0 && latinWordChar(rest[cut]) && latinWordChar(rest[cut - 1])) {
                --cut;
            }
            if (cut > 0) {
                take = cut;
            }
        }
        std::size_t length = take;
        while (length > 0 && rest[length - 1] == L' ') {
            --length;
        }
        lines.push_back({pos, length});
        pos += take;
        while (pos < text.size() && text[pos] == L' ') {
            ++pos;
        }
    }
    return lines;
}

}  // namespace morvane::win32
