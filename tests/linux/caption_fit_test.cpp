// Every caption inside its control with every line whole, in whatever Chinese face the desktop
// has. CTest runs this once per face with a private fontconfig that offers only that face
// (MORVANE_ONLY_CJK_FACE, see unit_main.cpp); on its own it checks the machine's fonts.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <cstdio>
#include <cstdlib>

#include "caption_ink.h"
#include "platform/linux/caption_text.h"
#include "test_app.h"

namespace morvane::qt {
namespace {

class CaptionFit : public ::testing::TestWithParam<int> {};

// The ink `text` leaves drawn by Qt in `font` on `baseline`, in a label `width` x `height`:
// every pixel not left white, or with `darkness` 128 those at least half as dark as the text.
testing::LineInk inkOf(const QFont& font, const QString& text, int baseline, int width, int height,
                       int darkness = 1) {
    constexpr int kPad = 24;  // room around the label for ink that strays out of it
    QImage image(width + 2 * kPad, height + 2 * kPad, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(kPad, kPad + baseline), text);
    }
    testing::LineInk ink{image.height(), 0, false};
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (255 - qGray(image.pixel(x, y)) >= darkness) {
                ink.top = std::min(ink.top, y - kPad);
                ink.bottom = std::max(ink.bottom, y - kPad + 1);
                ink.outside =
                    ink.outside || x < kPad || x >= kPad + width || y < kPad || y >= kPad + height;
            }
        }
    }
    return ink;
}

void expectLinesWhole(const CaptionLabel& label) {
    SCOPED_TRACE(label.objectName().toStdString() + ": " + label.text().toStdString());
    const QString text = label.text();
    QString rejoined;
    int floor = 0;
    for (const CaptionLine& line : label.lines()) {
        const QString part =
            text.mid(static_cast<qsizetype>(line.begin), static_cast<qsizetype>(line.length));
        rejoined += part;
        const testing::LineInk ink =
            inkOf(label.font(), part, line.baseline, label.width(), label.height());
        EXPECT_EQ(testing::lineFault(ink, label.width(), label.height(), floor), "")
            << part.toStdString();
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
    // Readable: "坐标点：" is at least 10 rows of ink tall at 96 DPI, proportionally more above.
    const QString coordinates = window.label1()->text();
    const testing::LineInk ink = inkOf(window.font(), coordinates, 40, 200, 60, 128);
    std::printf("%d DPI: %s at %d px, \"%s\" inks %d rows\n", dpi,
                QFontInfo(window.font()).family().toStdString().c_str(), window.font().pixelSize(),
                coordinates.toStdString().c_str(), ink.bottom - ink.top);
    EXPECT_GE(ink.bottom - ink.top, 10 * dpi / 96);
    // Label1 as it shows the cursor on the far corner of a wide desk.
    app.ops.setLabel1Caption("横坐标:-7680 纵坐标:-4320");
    expectLinesWhole(*dynamic_cast<CaptionLabel*>(window.label1()));
}

INSTANTIATE_TEST_SUITE_P(Dpi, CaptionFit, ::testing::Values(96, 120, 144));

}  // namespace
}  // namespace morvane::qt
