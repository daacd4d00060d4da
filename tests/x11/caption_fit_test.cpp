// Every caption inside its control with every line whole, in whatever Chinese face the desktop
// has. CTest runs this once per face with a private fontconfig that offers only that face
// (MORVANE_ONLY_CJK_FACE, see unit_main.cpp); on its own it checks the machine's fonts.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <cstdlib>

#include "platform/x11/caption_text.h"
#include "test_app.h"

namespace morvane::x11 {
namespace {

class CaptionFit : public testing::TestWithParam<int> {};

// Lines whole inside the label, measured again here with the label's own font: the ascent and
// descent fontconfig reports, and the ink of the glyphs themselves.
void expectLinesWhole(const CaptionLabel& label) {
    SCOPED_TRACE(label.objectName().toStdString() + ": " + label.text().toStdString());
    const QFontMetrics metrics(label.font());
    const QString text = label.text();
    QString rejoined;
    int previousBottom = 0;
    for (const CaptionLine& line : label.lines()) {
        const QString part =
            text.mid(static_cast<qsizetype>(line.begin), static_cast<qsizetype>(line.length));
        rejoined += part;
        const QRect ink = metrics.tightBoundingRect(part).translated(0, line.baseline);
        const int top = line.baseline - metrics.ascent();
        const int bottom = line.baseline + metrics.descent();
        EXPECT_GE(std::min(top, ink.top()), previousBottom) << part.toStdString();
        EXPECT_LE(std::max(bottom, ink.bottom() + 1), label.height()) << part.toStdString();
        EXPECT_LE(metrics.horizontalAdvance(part), label.width()) << part.toStdString();
        previousBottom = std::max(bottom, ink.bottom() + 1);
    }
    // Only the spaces at a break are dropped.
    EXPECT_EQ(rejoined.remove(QLatin1Char(' ')), QString(text).remove(QLatin1Char(' ')));
}

TEST_P(CaptionFit, EveryCaptionLiesWholeInsideItsControl) {
    const int dpi = GetParam();
    TestApp app(dpi);
    FormWindow& window = app.window;

    if (const char* face = std::getenv("MORVANE_ONLY_CJK_FACE"); face != nullptr) {
        EXPECT_EQ(QFontInfo(window.font()).family(), QString::fromUtf8(face));
    }
    const QFontMetrics metrics(window.font());
    for (const ControlSpec& row : kControls) {
        QWidget* widget = window.control(row.id);
        if (auto* label = dynamic_cast<CaptionLabel*>(widget)) {
            expectLinesWhole(*label);
        } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
            QStyleOptionButton option;
            option.initFrom(button);
            const QRect face =
                button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            EXPECT_LE(metrics.horizontalAdvance(button->text()), face.width()) << row.name;
            EXPECT_LE(metrics.height(), face.height()) << row.name;
        } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
            EXPECT_LE(metrics.horizontalAdvance(frame->title()), frame->width()) << row.name;
        }
    }
    // Label1 as it shows the cursor on the far corner of a wide desk.
    app.ops.setLabel1Caption("横坐标:-7680 纵坐标:-4320");
    expectLinesWhole(*dynamic_cast<CaptionLabel*>(window.label1()));
}

INSTANTIATE_TEST_SUITE_P(Dpi, CaptionFit, testing::Values(96, 120, 144));

}  // namespace
}  // namespace morvane::x11
