#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>

#include "test_app.h"

namespace morvane::x11 {
namespace {

using Window = TestApp;

class FormWindowDpi : public testing::TestWithParam<int> {};

TEST_P(FormWindowDpi, ControlsSitWhereTheTableSays) {
    const int dpi = GetParam();
    Window w(dpi);
    EXPECT_EQ(w.window.minimumSize(), w.window.maximumSize());
    EXPECT_EQ(w.window.maximumSize(), QSize(twipsToPixels(kFormClientWidthTwips, dpi),
                                            twipsToPixels(kFormClientHeightTwips, dpi)));
    for (const ControlSpec& row : kControls) {
        SCOPED_TRACE(row.name.data());
        const QWidget* widget = w.window.control(row.id);
        ASSERT_NE(widget, nullptr);
        const QWidget* parent = row.container ? w.window.control(*row.container) : &w.window;
        EXPECT_EQ(widget->parentWidget(), parent);
        EXPECT_EQ(widget->geometry(),
                  QRect(twipsToPixels(row.rect.left, dpi), twipsToPixels(row.rect.top, dpi),
                        twipsToPixels(row.rect.width, dpi), twipsToPixels(row.rect.height, dpi)));
        const TwipRect abs = absoluteRect(row.id);
        EXPECT_EQ(widget->mapTo(&w.window, QPoint(0, 0)),
                  QPoint(twipsToPixels(abs.left, dpi), twipsToPixels(abs.top, dpi)));
    }
}

INSTANTIATE_TEST_SUITE_P(Dpi, FormWindowDpi, testing::Values(96, 144));

TEST(FormWindow, CaptionsAndKinds) {
    Window w;
    EXPECT_EQ(w.window.windowTitle(), QString::fromUtf8(kFormCaption.data()));
    auto* frame1 = qobject_cast<QGroupBox*>(w.window.control(ControlId::Frame1));
    auto* frame2 = qobject_cast<QGroupBox*>(w.window.control(ControlId::Frame2));
    ASSERT_NE(frame1, nullptr);
    ASSERT_NE(frame2, nullptr);
    EXPECT_TRUE(frame1->title().isEmpty());
    EXPECT_EQ(frame2->title(), QStringLiteral("取点"));
    EXPECT_EQ(w.window.command1()->text(), QStringLiteral("取点"));
    EXPECT_EQ(w.window.command3()->text(), QStringLiteral("运行F10"));
    auto* label5 = qobject_cast<QLabel*>(w.window.control(ControlId::Label5));
    ASSERT_NE(label5, nullptr);
    EXPECT_EQ(label5->text(), QStringLiteral("移动到点击处，这里显示坐标点，按F7将选中！"));
    EXPECT_TRUE(w.window.text2()->text().isEmpty());
}

TEST(FormWindow, FixedSizeWithMinimizeAndCloseButNoMaximize) {
    Window w;
    const Qt::WindowFlags flags = w.window.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(w.window.minimumSize(), w.window.maximumSize());
}

TEST(FormWindow, EnterAndKeypadEnterPressTheFocusedButton) {
    Window w;
    w.window.show();
    w.window.text2()->setText("1");  // so that the reminder is the run's only box
    struct {
        QPushButton* button;
        int key;
    } const cases[] = {{w.window.command1(), Qt::Key_Return}, {w.window.command3(), Qt::Key_Enter}};
    int reminders = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button->objectName().toStdString());
        int clicks = 0;
        const auto counter =
            QObject::connect(c.button, &QPushButton::clicked, [&clicks] { ++clicks; });
        c.button->setFocus();
        // The reminder of 运行F10 opens a modal box: close it from inside its loop.
        QTimer::singleShot(50, [&reminders, &w] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (auto* box = qobject_cast<QMessageBox*>(top);
                    box != nullptr && box->isVisible()) {
                    ++reminders;
                    box->done(QMessageBox::Ok);
                }
            }
        });
        QKeyEvent down(QEvent::KeyPress, c.key,
                       c.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QApplication::sendEvent(c.button, &down);
        EXPECT_EQ(clicks, 1);
        QObject::disconnect(counter);
    }
    EXPECT_EQ(w.ops.timers().bank().interval(TimerId::Timer1), 200);  // 取点 started capture
    EXPECT_EQ(reminders, 1);                                          // 运行F10 ran
}

TEST(FormWindow, TabOrderFollowsTheTabIndices) {
    Window w;
    QStringList order;
    QWidget* at = w.window.command1();
    do {
        if ((at->focusPolicy() & Qt::TabFocus) != 0 && at != &w.window) {
            order << at->objectName();
        }
        at = at->nextInFocusChain();
    } while (at != w.window.command1());
    EXPECT_EQ(order, QStringList({"Command1", "Command2", "Text2", "Command3"}));
    EXPECT_EQ(w.window.focusWidget(), w.window.command1());
}

// Sends one key press to Text2 the way the platform would.
void press(QLineEdit* edit, int key, const QString& text,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(edit, &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(edit, &up);
}

void type(QLineEdit* edit, const QString& text) {
    for (const QChar c : text) {
        press(edit, c.isDigit() ? Qt::Key_0 + c.digitValue() : Qt::Key_unknown, QString(c));
    }
}

TEST(FormWindow, Text2TakesOnlyWhatTheFilterPasses) {
    Window w;
    QLineEdit* edit = w.window.text2();
    type(edit, ".1a.2.-5 e");
    EXPECT_EQ(edit->text(), "1.25");

    press(edit, Qt::Key_Backspace, "\b");
    EXPECT_EQ(edit->text(), "1.2");
    press(edit, Qt::Key_Return, "\r");
    press(edit, Qt::Key_Escape, QString(QChar(27)));
    EXPECT_EQ(edit->text(), "1.2");
}

TEST(FormWindow, EditingKeysThatTypeNothingStillWork) {
    Window w;
    QLineEdit* edit = w.window.text2();
    type(edit, "123");
    press(edit, Qt::Key_Home, {});
    press(edit, Qt::Key_Delete, QString(QChar(127)));
    EXPECT_EQ(edit->text(), "23");
    press(edit, Qt::Key_Right, {});
    type(edit, "9");
    EXPECT_EQ(edit->text(), "293");
}

TEST(FormWindow, CtrlVIsDroppedLikeEveryControlCharacter) {
    Window w;
    QLineEdit* edit = w.window.text2();
    QApplication::clipboard()->setText("42");
    type(edit, "1");
    // With and without the control character in the event's text, as keyboard layouts differ.
    press(edit, Qt::Key_V, QString(QChar(22)), Qt::ControlModifier);
    press(edit, Qt::Key_V, {}, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "1");
    edit->paste();  // the context menu's Paste is not a key press and is not filtered
    EXPECT_EQ(edit->text(), "142");
}

TEST(FormWindow, SeveralCharactersInOneEventAreFilteredOneByOne) {
    Window w;
    QLineEdit* edit = w.window.text2();
    press(edit, Qt::Key_unknown, ".3.5x.");
    EXPECT_EQ(edit->text(), "3.5");
}

}  // namespace
}  // namespace morvane::x11
