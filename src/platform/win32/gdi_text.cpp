#include "platform/win32/gdi_text.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/wide.h"

namespace morvane::win32 {

namespace {

int CALLBACK collectFace(const LOGFONTW* lf, const TEXTMETRICW* /*metrics*/, DWORD type,
                         LPARAM faces) {
    // '@' faces are the vertical-writing variants.
    if ((type & TRUETYPE_FONTTYPE) != 0 && lf->lfFaceName[0] != L'@') {
        auto* list = reinterpret_cast<std::vector<std::wstring>*>(faces);
        if (std::find(list->begin(), list->end(), lf->lfFaceName) == list->end()) {
            list->emplace_back(lf->lfFaceName);
        }
    }
    return 1;
}

// Edges are converted rather than sizes, so neighbours that touch in twips touch in pixels.
PixelRect toPixels(const TwipRect& r, UINT dpi) {
    const int d = static_cast<int>(dpi);
    const int left = twipsToPixels(r.left, d);
    const int top = twipsToPixels(r.top, d);
    return {left, top, twipsToPixels(r.left + r.width, d) - left,
            twipsToPixels(r.top + r.height, d) - top};
}

}  // namespace

// A label painted over its frame's edge would wipe out that stretch of the border (Label2
// reaches Frame1's right edge), so labels stop short of the frame's line, as they would inside
// a real container.
PixelRect controlPixels(ControlId id, UINT dpi) {
    PixelRect p = toPixels(absoluteRect(id), dpi);
    const ControlSpec& entry = controlSpec(id);
    if (entry.kind == ControlKind::Label && entry.container) {
        const PixelRect frame = toPixels(absoluteRect(*entry.container), dpi);
        const int line = MulDiv(2, static_cast<int>(dpi), 96);
        p.width = std::min(p.left + p.width, frame.left + frame.width - line) - p.left;
        p.height = std::min(p.top + p.height, frame.top + frame.height - line) - p.top;
    }
    return p;
}

PixelSize captionRoom(ControlId id, UINT dpi) {
    const PixelRect box = controlPixels(id, dpi);
    const int d = static_cast<int>(dpi);
    switch (controlSpec(id).kind) {
    case ControlKind::PushButton: {
        const int bevel = MulDiv(4, d, 96);
        return {box.width - 2 * bevel, box.height - bevel};
    }
    case ControlKind::Frame: {
        const int corner = MulDiv(10, d, 96);
        return {box.width - 2 * corner, box.height};
    }
    case ControlKind::Label:
    case ControlKind::TextBox:
        break;
    }
    return {box.width, box.height};
}

GdiTextMeasure::GdiTextMeasure(HDC dc, HFONT font, bool owned)
    : dc_(dc), font_(font), owned_(owned) {
    const FontSelection selected(dc_, font_);
    TEXTMETRICW tm{};
    if (GetTextMetricsW(dc_, &tm) != FALSE) {
        ascent_ = tm.tmAscent;
        descent_ = tm.tmDescent;
    }
}

TextMeasure::Ink GdiTextMeasure::ink(std::u16string_view text) const {
    const FontSelection selected(dc_, font_);
    constexpr MAT2 kIdentity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    Ink ink;
    for (const char16_t c : text) {
        GLYPHMETRICS gm{};
        // A blank glyph (the space) reports a black box of one pixel.
        if (GetGlyphOutlineW(dc_, c, GGO_METRICS, &gm, 0, nullptr, &kIdentity) != GDI_ERROR &&
            gm.gmBlackBoxY > 1) {
            const int inkTop = gm.gmptGlyphOrigin.y;
            ink.above = std::max(ink.above, inkTop);
            ink.below = std::max(ink.below, static_cast<int>(gm.gmBlackBoxY) - inkTop);
        }
    }
    return ink;
}

GdiTextMeasure::~GdiTextMeasure() {
    if (owned_) {
        DeleteObject(font_);
    }
}

bool GdiTextMeasure::covers(std::u16string_view text) const {
    const FontSelection selected(dc_, font_);
    const std::wstring w = wide(text);
    std::vector<WORD> glyphs(w.size());
    const DWORD n = GetGlyphIndicesW(dc_, w.c_str(), static_cast<int>(w.size()), glyphs.data(),
                                     GGI_MARK_NONEXISTING_GLYPHS);
    return n == text.size() &&
           std::find(glyphs.begin(), glyphs.end(), WORD{0xFFFF}) == glyphs.end();
}

int GdiTextMeasure::width(std::u16string_view text) const {
    const FontSelection selected(dc_, font_);
    const std::wstring w = wide(text);
    SIZE size{};
    GetTextExtentPoint32W(dc_, w.c_str(), static_cast<int>(w.size()), &size);
    return size.cx;
}

HFONT captionFont(HDC dc, const LOGFONTW& messageFont, int dpi,
                  const std::function<PixelSize(ControlId)>& roomFor) {
    // A Western message font reaches Chinese glyphs only through font linking, or (as under
    // Wine) not at all; then a Chinese face is sure: the usual Windows UI faces first, then
    // whatever Simplified Chinese TrueType face is installed.
    std::vector<std::wstring> faces{messageFont.lfFaceName, L"Microsoft YaHei UI",
                                    L"Microsoft YaHei", L"SimSun"};
    LOGFONTW query{};
    query.lfCharSet = GB2312_CHARSET;
    EnumFontFamiliesExW(dc, &query, &collectFace, reinterpret_cast<LPARAM>(&faces), 0);
    const auto logFont = [&](std::size_t face, int pixelSize) {
        LOGFONTW lf = messageFont;
        if (face != 0) {
            const std::wstring& name = faces.at(face);
            const std::size_t n = std::min<std::size_t>(name.size(), LF_FACESIZE - 1);
            name.copy(lf.lfFaceName, n);
            lf.lfFaceName[n] = L'\0';
            lf.lfCharSet = DEFAULT_CHARSET;
        }
        lf.lfHeight = -pixelSize;
        return lf;
    };
    const FaceChoice choice = chooseFace(
        formCaptions(roomFor), faces.size(),
        [&](std::size_t face, int pixelSize) {
            const LOGFONTW lf = logFont(face, pixelSize);
            HFONT font = CreateFontIndirectW(&lf);
            return font != nullptr ? std::make_unique<GdiTextMeasure>(dc, font, true) : nullptr;
        },
        designPixelSize(dpi), smallestPixelSize(dpi));
    const LOGFONTW lf = logFont(choice.face, choice.pixelSize);
    return CreateFontIndirectW(&lf);
}

}  // namespace morvane::win32
