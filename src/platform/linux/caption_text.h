#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <functional>
#include <optional>
#include <vector>

#include "app/caption_layout.h"

namespace morvane::qt {

// The shared caption layout measured with QFontMetrics.
class QtTextMeasure final : public TextMeasure {
public:
    explicit QtTextMeasure(const QFont& font);

    [[nodiscard]] bool covers(std::u16string_view text) const override;
    [[nodiscard]] int width(std::u16string_view text) const override;
    [[nodiscard]] int ascent() const override { return metrics_.ascent(); }
    [[nodiscard]] int descent() const override { return metrics_.descent(); }
    [[nodiscard]] Ink ink(std::u16string_view text) const override;

private:
    QFontMetrics metrics_;    // as drawn, fallback faces included
    QFontMetrics ownGlyphs_;  // the face alone
};

// The window's face at the largest size where every caption fits its room at `dpi`: the
// application font if it draws Chinese, else the face fontconfig gives Simplified Chinese text;
// another installed Chinese face only where neither can show the captions whole.
[[nodiscard]] QFont captionFont(int dpi, const std::function<PixelSize(ControlId)>& roomFor);

// A label drawn from the shared caption layout: lines broken between Chinese characters and set
// one line box apart, so that every glyph stays whole inside the label. The line box is measured
// once per font, not at every repaint (Label1 repaints five times a second while capturing).
class CaptionLabel final : public QLabel {
public:
    using QLabel::QLabel;

    // The lines as painted, in the label's current font and width.
    [[nodiscard]] std::vector<CaptionLine> lines() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    mutable std::optional<LineBox> box_;
};

// A frame drawn as Windows draws a group box: its top line half the caption's height down, the
// caption standing on that line a little in from the left edge, the line broken behind it. A
// frame without a caption draws its line at the same height, so that Frame1's lines and Frame2's
// (at 0, 0 inside it, as tall as it) fall on the same pixels. QGroupBox's own drawing puts the
// caption above its frame instead, where Frame1's top line would run through it.
class FrameBox final : public QGroupBox {
public:
    FrameBox(const QString& title, int dpi, QWidget* parent);

    // How far in from the frame's left edge the caption starts at `dpi`; as far again is kept
    // free at the right.
    [[nodiscard]] static int captionIndent(int dpi);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int dpi_;
};

}  // namespace morvane::qt
