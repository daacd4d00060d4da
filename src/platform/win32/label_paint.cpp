#include "platform/win32/label_paint.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/gdi_text.h"
#include "platform/win32/wide.h"

namespace morvane::win32 {

void drawLabel(const DRAWITEMSTRUCT& item, HFONT font, const LineBox& box) {
    HDC dc = item.hDC;
    const RECT& r = item.rcItem;
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    const int length = GetWindowTextLengthW(item.hwndItem);
    if (length <= 0) {
        return;
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        std::max(GetWindowTextW(item.hwndItem, text.data(), length + 1), 0)));
    const GdiTextMeasure measure(dc, font);
    const std::vector<CaptionLine> lines = layoutLabel(utf16(text), r.right - r.left, measure, box);
    const FontSelection selected(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    // Left-aligned and leaving the current position alone are the zero defaults; only the
    // baseline is asked for.
    const UINT align = SetTextAlign(dc, TA_BASELINE);
    for (const CaptionLine& line : lines) {
        ExtTextOutW(dc, r.left, r.top + line.baseline, ETO_CLIPPED, &r, text.c_str() + line.begin,
                    static_cast<UINT>(line.length), nullptr);
    }
    SetTextAlign(dc, align);
}

}  // namespace morvane::win32
