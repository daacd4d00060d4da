#include "platform/linux/caption_text.h"

#include <QApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPainter>
#include <QRawFont>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>
#include <memory>
#include <utility>

namespace morvane::qt {

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

QtTextMeasure::QtTextMeasure(const QFont& font) : metrics_(font), ownGlyphs_(unmerged(font)) {}

TextMeasure::Ink QtTextMeasure::ink(std::u16string_view text) const {
    const QRect ink = metrics_.tightBoundingRect(toQString(text));
    return ink.isEmpty() ? Ink{} : Ink{-ink.top(), ink.bottom() + 1};
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

namespace {

// "Noto Sans CJK TC" beside "Noto Sans CJK SC": one file, one set of metrics, other glyph forms.
bool regionalVariant(const QString& family, const QStringList& all) {
    for (const char* region : {" TC", " HK", " JP", " KR"}) {
        if (family.endsWith(QLatin1String(region)) &&
            all.contains(family.chopped(3) + QStringLiteral(" SC"))) {
            return true;
        }
    }
    return false;
}

// The faces to measure, in two lists. First the desktop's own: the application font if it draws
// Chinese (it wins a tie), and the face fontconfig gives Simplified Chinese text, which is what
// the rest of the desktop shows. Then, for a desktop where neither draws every caption whole,
// the other Chinese faces, sans before serif. Every face measured is a font file loaded, tens of
// megabytes for a CJK one, so faces that cannot win are left out: monospaced ones set Latin
// letters a full em apart, '@' ones are for vertical text, and a regional variant measures as
// its Simplified Chinese sibling.
std::pair<QStringList, QStringList> candidateFaces(const QFont& base) {
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    QStringList desktop;
    QStringList others;
    QStringList serif;
    const auto add = [&](QStringList& list, const QString& family) {
        if (!family.isEmpty() && !desktop.contains(family) && !others.contains(family) &&
            !serif.contains(family) && !QFontDatabase::isFixedPitch(family) &&
            !family.startsWith(QLatin1Char('@')) && !regionalVariant(family, chinese)) {
            list << family;
        }
    };
    add(desktop, QFontInfo(base).family());
    add(desktop, QRawFont::fromFont(base, QFontDatabase::SimplifiedChinese).familyName());
    for (const QString& family : chinese) {
        add(family.contains(QLatin1String("Serif")) ? serif : others, family);
    }
    return {desktop, others + serif};
}

}  // namespace

QFont captionFont(int dpi, const std::function<PixelSize(ControlId)>& roomFor) {
    const QFont base = QApplication::font();
    const std::vector<CaptionBox> boxes = formCaptions(roomFor);
    const auto choose = [&](const QStringList& faces) {
        const auto at = [&](std::size_t face, int pixelSize) {
            QFont font = base;
            font.setFamilies({faces.at(static_cast<qsizetype>(face))});
            font.setPixelSize(pixelSize);
            return std::make_unique<QtTextMeasure>(font);
        };
        const FaceChoice choice = chooseFace(boxes, static_cast<std::size_t>(faces.size()), at,
                                             designPixelSize(dpi), smallestPixelSize(dpi));
        QFont font = base;
        if (!faces.isEmpty()) {
            font.setFamilies({faces.at(static_cast<qsizetype>(choice.face))});
        }
        font.setPixelSize(choice.pixelSize);
        return std::make_pair(font, choice.fits);
    };
    const auto [desktop, others] = candidateFaces(base);
    const auto chosen = choose(desktop);
    if (chosen.second || others.isEmpty()) {
        return chosen.first;
    }
    const auto fallback = choose(others);
    return fallback.second ? fallback.first : chosen.first;
}

std::vector<CaptionLine> CaptionLabel::lines() const {
    const QtTextMeasure measure(font());
    if (!box_) {
        box_ = lineBox(measure);
    }
    return layoutLabel(text().toStdU16String(), width(), measure, *box_);
}

void CaptionLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        box_.reset();
    }
    QLabel::changeEvent(event);
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

FrameBox::FrameBox(const QString& title, int dpi, QWidget* parent)
    : QGroupBox(title, parent), dpi_(dpi) {}

int FrameBox::captionIndent(int dpi) { return (8 * dpi + 48) / 96; }

void FrameBox::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.rect = rect().adjusted(0, metrics.height() / 2, 0, 0);
    frame.frameShape = QFrame::Box;
    frame.state |= QStyle::State_Sunken;
    frame.lineWidth = 1;
    style()->drawControl(QStyle::CE_ShapedFrame, &frame, &painter, this);
    if (title().isEmpty()) {
        return;
    }
    const QRect caption(captionIndent(dpi_), 0, metrics.horizontalAdvance(title()),
                        metrics.height());
    const int margin = (2 * dpi_ + 48) / 96;
    painter.fillRect(caption.adjusted(-margin, 0, margin, 0), palette().window());
    style()->drawItemText(&painter, caption, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                          palette(), isEnabled(), title(), QPalette::WindowText);
}

}  // namespace morvane::qt
