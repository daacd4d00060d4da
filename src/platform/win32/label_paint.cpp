#include "platform/win32/label_paint.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/gdi_text.h"

namespace morvane::win32 {

void drawLabel(const DRAWITEMSTRUCT& item, HFONT font) {
    HDC dc = item.hDC;
    const RECT& r = item.rcItem;
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    const int length = GetWindowTextLengthW(item.hwndItem);
    if (length <= 0) {
        return;
    }
    std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
    text.resize(static_cast<std::size_t>(std::max(
        GetWindowTextW(item.hwndItem, reinterpret_cast<wchar_t*>(text.data()), length + 1), 0)));
    const GdiTextMeasure measure(dc, font, false);
    const std::vector<CaptionLine> lines = layoutLabel(text, r.right - r.left, measure);
    const FontSelection selected(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    // Left-aligned and leaving the current position alone are the zero defaults; only the
    // baseline is asked for.
    const UINT align = SetTextAlign(dc, TA_BASELINE);
    for (const CaptionLine& line : lines) {
        ExtTextOutW(dc, r.left, r.top + line.baseline, ETO_CLIPPED, &r, wide(text) + line.begin,
                    static_cast<UINT>(line.length), nullptr);
    }
    SetTextAlign(dc, align);
}

}  // namespace morvane::win32
