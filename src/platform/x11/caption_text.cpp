#include "platform/x11/caption_text.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPainter>
#include <algorithm>
#include <memory>

namespace morvane::x11 {

namespace {

QString toQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// Telling which glyphs a face has must not see those of a fallback face Qt would merge in.
QFont unmerged(QFont font) {
    font.setStyleStrategy(QFont::NoFontMerging);
    return font;
}

}  // namespace

QtTextMeasure::QtTextMeasure(const QFont& font)
    : metrics_(font),
      ownGlyphs_(unmerged(font)),
      ascent_(metrics_.ascent()),
      descent_(metrics_.descent()) {
    // A face whose glyphs reach past the ascent and descent it declares (some bitmap strikes
    // do) gets a line box that holds them.
    const QRect ink = metrics_.tightBoundingRect(toQString(allCaptionCharacters()));
    ascent_ = std::max(ascent_, -ink.top());
    descent_ = std::max(descent_, ink.bottom() + 1);
}

// Some Chinese faces (Droid Sans Fallback) leave out ASCII, which Qt then takes from a Latin
// face as every desktop has one: only the other characters must be the face's own.
bool QtTextMeasure::covers(std::u16string_view text) const {
    return std::all_of(text.begin(), text.end(),
                       [this](char16_t c) { return c < 0x80 || ownGlyphs_.inFont(QChar(c)); });
}

int QtTextMeasure::width(std::u16string_view text) const {
    return metrics_.horizontalAdvance(toQString(text));
}

QFont captionFont(int dpi, const std::function<PixelSize(ControlId)>& roomFor) {
    const QFont base = QApplication::font();
    // The face the desktop's font resolves to, not a generic name such as "Sans Serif" that
    // fontconfig may map to a different face for each character.
    QStringList faces{QFontInfo(base).family()};
    for (const QString& family : QFontDatabase::families(QFontDatabase::SimplifiedChinese)) {
        // Monospaced CJK faces set Latin letters a full em apart; '@' faces are for vertical text.
        if (!faces.contains(family) && !QFontDatabase::isFixedPitch(family) &&
            !family.startsWith(QLatin1Char('@'))) {
            faces << family;
        }
    }
    const auto at = [&](std::size_t face, int pixelSize) {
        QFont font = base;
        font.setFamilies({faces.at(static_cast<qsizetype>(face))});
        font.setPixelSize(pixelSize);
        return std::make_unique<QtTextMeasure>(font);
    };
    const std::vector<CaptionBox> boxes = formCaptions(roomFor);
    const FaceChoice choice = chooseFace(boxes, static_cast<std::size_t>(faces.size()), at,
                                         designPixelSize(dpi), smallestPixelSize(dpi));
    QFont font = base;
    font.setFamilies({faces.at(static_cast<qsizetype>(choice.face))});
    font.setPixelSize(choice.pixelSize);
    return font;
}

std::vector<CaptionLine> CaptionLabel::lines() const {
    const std::u16string caption = text().toStdU16String();
    return layoutLabel(caption, width(), QtTextMeasure(font()));
}

void CaptionLabel::paintEvent(QPaintEvent* /*event*/) {
    const QString caption = text();
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(foregroundRole()));
    for (const CaptionLine& line : lines()) {
        painter.drawText(
            QPoint(0, line.baseline),
            caption.mid(static_cast<qsizetype>(line.begin), static_cast<qsizetype>(line.length)));
    }
}

}  // namespace morvane::x11
