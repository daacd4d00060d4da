#pragma once

#include <windows.h>

#include <functional>

#include "app/caption_layout.h"

namespace morvane::win32 {

// `font` selected into `dc` for as long as this lives.
class FontSelection {
public:
    FontSelection(HDC dc, HFONT font) : dc_(dc), previous_(SelectObject(dc, font)) {}
    ~FontSelection() { SelectObject(dc_, previous_); }
    FontSelection(const FontSelection&) = delete;
    FontSelection& operator=(const FontSelection&) = delete;
    FontSelection(FontSelection&&) = delete;
    FontSelection& operator=(FontSelection&&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A control's place in the client area at `dpi`, in pixels.
struct PixelRect {
    int left;
    int top;
    int width;
    int height;
};
[[nodiscard]] PixelRect controlPixels(ControlId id, UINT dpi);

// The room a control gives its caption: a label's whole rect, a button's face inside its bevel,
// the stretch of a frame's top edge between its corners.
[[nodiscard]] PixelSize captionRoom(ControlId id, UINT dpi);

// The shared caption layout measured with GDI in `font` on `dc`. The font is selected only for
// the moment of each measurement, so several measures may share one DC. Cheap to make: only
// ink() looks at glyphs.
class GdiTextMeasure final : public TextMeasure {
public:
    // With `owned`, the font is deleted along with the measure.
    GdiTextMeasure(HDC dc, HFONT font, bool owned = false);
    ~GdiTextMeasure() override;
    GdiTextMeasure(const GdiTextMeasure&) = delete;
    GdiTextMeasure& operator=(const GdiTextMeasure&) = delete;
    GdiTextMeasure(GdiTextMeasure&&) = delete;
    GdiTextMeasure& operator=(GdiTextMeasure&&) = delete;

    [[nodiscard]] bool covers(std::u16string_view text) const override;
    [[nodiscard]] int width(std::u16string_view text) const override;
    [[nodiscard]] int ascent() const override { return ascent_; }
    [[nodiscard]] int descent() const override { return descent_; }
    [[nodiscard]] Ink ink(std::u16string_view text) const override;

private:
    HDC dc_;
    HFONT font_;
    bool owned_;
    int ascent_ = 0;
    int descent_ = 0;
};

// The face and size for the window's captions at `dpi`, starting from the system's message font:
// that face if it draws Chinese, else whichever Chinese face fits best. The caller deletes it.
[[nodiscard]] HFONT captionFont(HDC dc, const LOGFONTW& messageFont, int dpi,
                                const std::function<PixelSize(ControlId)>& roomFor);

}  // namespace morvane::win32
