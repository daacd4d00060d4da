#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>
#include <algorithm>
#include <functional>

#include "clicker/run_action.h"
#include "test_app.h"

namespace morvane::qt {
namespace {

using App = TestApp;

// Runs `step` once the next message box is open, from inside its nested loop. A watchdog closes
// any box still open after `limitMs`, so that a box nobody closes fails the test instead of
// hanging it.
void whenBoxOpens(App& app, std::function<void(QMessageBox&)> step, int limitMs = 3000) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [&app, poll, step] {
        if (!app.ops.openBoxes().empty()) {
            poll->stop();
            poll->deleteLater();
            step(*app.ops.openBoxes().back());
        }
    });
    poll->start(5);
    QTimer::singleShot(limitMs, [&app] {
        for (QMessageBox* box : app.ops.openBoxes()) {
            ADD_FAILURE() << "message box still open";
            box->done(0);
        }
    });
}

TEST(QtPlatform, MessageBoxIsModalToForm1WithOkOnlyAndNoIcon) {
    App app;
    bool seen = false;
    whenBoxOpens(app, [&](QMessageBox& box) {
        seen = true;
        EXPECT_EQ(box.windowTitle(), "Morvane");
        EXPECT_EQ(box.text(), QStringLiteral("F12是退出哦！"));
        EXPECT_EQ(box.icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
        EXPECT_EQ(box.parentWidget(), &app.window);
        EXPECT_TRUE(box.isModal());
        EXPECT_FALSE(box.windowFlags() &
                     (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        // Room for the title in the title font, beside the window menu icon and the up to three
        // buttons a window manager draws whatever a window asks for, each about as wide as the
        // title bar is high. (Qt left alone makes this box 126 px wide, and openbox shows its
        // title as "...".)
        const QFontMetrics title(QFontDatabase::systemFont(QFontDatabase::TitleFont));
        EXPECT_GE(box.width(), title.horizontalAdvance("Morvane") + 4 * title.height());
        box.button(QMessageBox::Ok)->click();
    });
    app.ops.messageBox(kExitReminder);
    EXPECT_TRUE(seen);
    EXPECT_TRUE(app.ops.openBoxes().empty());
}

TEST(QtPlatform, QtsOwnTextsFollowAChineseLocale) {
    QTranslator* translator = installQtTranslations(*QCoreApplication::instance(),
                                                    QLocale(QLocale::Chinese, QLocale::China));
    ASSERT_NE(translator, nullptr) << "qtbase_zh_CN.qm not found (package qt6-translations-l10n)";
    App app;
    QString ok;
    whenBoxOpens(app, [&ok](QMessageBox& box) {
        ok = box.button(QMessageBox::Ok)->text();
        box.done(QMessageBox::Ok);
    });
    app.ops.messageBox(kExitReminder);
    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_EQ(ok.remove(QLatin1Char('&')), QStringLiteral("确定"));
}

TEST(QtPlatform, AcceptedRunMinimizesAndClicksAtTheTarget) {
    App app;
    app.window.show();
    app.window.text2()->setText("0.02");
    app.form.targetX = 31;
    app.form.targetY = -7;
    whenBoxOpens(app, [](QMessageBox& box) { box.button(QMessageBox::Ok)->click(); });
    app.form.command3Click();
    EXPECT_TRUE(app.window.isMinimized());
    EXPECT_EQ(app.ops.timers().bank().interval(TimerId::Timer3), 20);

    QEventLoop loop;
    QTimer::singleShot(110, &loop, &QEventLoop::quit);
    loop.exec();
    ASSERT_GE(app.input.mouseFlags.size(), 4U);
    EXPECT_EQ(app.input.mouseFlags.front(), kMouseLeftClick);
    EXPECT_EQ(app.input.moves.front().x, 31);
    EXPECT_EQ(app.input.moves.front().y, -7);
    // X11Input leaves moves queued: every tick must end by sending what it queued.
    for (std::size_t clicks = 1; clicks < app.input.mouseFlags.size(); ++clicks) {
        EXPECT_NE(std::count(app.input.flushedAfter.begin(), app.input.flushedAfter.end(), clicks),
                  0)
            << "no flush after click " << clicks;
    }
}

TEST(QtPlatform, ClosingTheWindowUnloadsOnce) {
    App app;
    app.window.show();
    app.form.load();
    EXPECT_TRUE(app.window.close());
    EXPECT_TRUE(app.ops.unloaded());
    EXPECT_EQ(app.quits, 1);
    EXPECT_FALSE(app.ops.timers().bank().nextDue().has_value());
    app.form.unload();
    app.ops.messageBox("after unload");  // must not open anything
    EXPECT_EQ(app.quits, 1);
}

}  // namespace
}  // namespace morvane::qt
