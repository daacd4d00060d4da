#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>

#include "test_app.h"

namespace morvane::qt {
namespace {

using Window = TestApp;

class FormWindowDpi : public testing::TestWithParam<int> {};

// Fixed at the table's size, with minimize and close but no maximize that the window manager
// would have to refuse; every control where the table puts it.
TEST_P(FormWindowDpi, FixedSizeAndControlsWhereTheTableSays) {
    const int dpi = GetParam();
    Window w(dpi);
    const Qt::WindowFlags flags = w.window.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
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
    }
}

INSTANTIATE_TEST_SUITE_P(Dpi, FormWindowDpi, testing::Values(96, 144));

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
}  // namespace morvane::qt
