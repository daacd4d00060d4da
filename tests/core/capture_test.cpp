#include <gtest/gtest.h>

#include <limits>

#include "clicker/target_capture.h"
#include "form_fixture.h"

namespace morvane::testing {
namespace {

using CaptureTest = FormTest;

TEST_F(CaptureTest, NothingButTheHotkeyPollTicksAfterStart) {
    EXPECT_EQ(fake.label1, "坐标点：");
    EXPECT_EQ(fake.text2Value(), "");
    EXPECT_EQ(fake.calls.front(), "Timer2.interval=200");
    EXPECT_TRUE(fake.timers().ticking(TimerId::Timer2));
    EXPECT_FALSE(fake.timers().ticking(TimerId::Timer1));
    EXPECT_FALSE(fake.timers().ticking(TimerId::Timer3));
    fake.advance(5000);
    EXPECT_EQ(fake.label1Writes, 0);
    EXPECT_TRUE(fake.clicks.empty());
    EXPECT_EQ(countCalls("GetAsyncKeyState(118)"), 25);
}

TEST_F(CaptureTest, FollowsTheCursorFiveTimesASecond) {
    fake.moveMouse(512, 384);
    form.command1Click();
    const std::vector<std::string> start(fake.calls.end() - 2, fake.calls.end());
    EXPECT_EQ(start, (std::vector<std::string>{"Timer1.enabled=true", "Timer1.interval=200"}));

    fake.advance(199);
    EXPECT_EQ(fake.label1, "坐标点：");
    fake.advance(1);
    EXPECT_EQ(fake.label1, "横坐标:512 纵坐标:384");
    fake.moveMouse(7, 9);
    fake.advance(800);
    EXPECT_EQ(fake.label1, "横坐标:7 纵坐标:9");
    EXPECT_EQ(fake.label1Writes, 5);
}

// A locked screen or a secure desktop makes the read fail; the point it leaves alone must not
// send the clicks to the top-left corner.
TEST_F(CaptureTest, AFailedCursorReadKeepsTheLastPoint) {
    fake.moveMouse(300, 200);
    form.command1Click();
    fake.advance(200);
    fake.cursorReadFails = true;
    fake.moveMouse(900, 700);
    runWith("0.1");
    fake.advance(300);
    EXPECT_EQ(fake.label1, "横坐标:300 纵坐标:200");
    ASSERT_FALSE(fake.clicks.empty());
    EXPECT_EQ(fake.clicks.back().at.x, 300);
    EXPECT_EQ(fake.clicks.back().at.y, 200);
}

TEST_F(CaptureTest, CaptionShowsTheTrueCoordinates) {
    struct Case {
        POINT p;
        const char* caption;
    };
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    for (const Case& c : {Case{{0, 0}, "横坐标:0 纵坐标:0"}, Case{{-5, 10}, "横坐标:-5 纵坐标:10"},
                          Case{{-1920, -1080}, "横坐标:-1920 纵坐标:-1080"},
                          Case{{40000, -40000}, "横坐标:40000 纵坐标:-40000"},
                          Case{{kMin, kMax}, "横坐标:-2147483648 纵坐标:2147483647"}}) {
        EXPECT_EQ(coordinateCaption(c.p), c.caption);
    }
}

TEST_F(CaptureTest, TargetSaturatesWhereSixteenBitsCannotHoldIt) {
    struct Case {
        std::int32_t in;
        std::int16_t out;
    };
    for (const Case& c : {Case{0, 0}, Case{-5, -5}, Case{32767, 32767}, Case{32768, 32767},
                          Case{-32768, -32768}, Case{-32769, -32768}, Case{65536, 32767},
                          Case{std::numeric_limits<std::int32_t>::min(), -32768}}) {
        EXPECT_EQ(saturateToInt16(c.in), c.out) << c.in;
    }

    fake.moveMouse(70000, -70000);
    form.command1Click();
    fake.advance(200);
    EXPECT_EQ(fake.label1, "横坐标:70000 纵坐标:-70000");
    EXPECT_EQ(form.targetX, 32767);
    EXPECT_EQ(form.targetY, -32768);
}

TEST_F(CaptureTest, CaptionIsWrittenBeforeTheTargetChanges) {
    fake.moveMouse(30, 40);
    std::vector<std::pair<int, int>> targetAtCaption;
    fake.onLabel1Caption = [&] { targetAtCaption.emplace_back(form.targetX, form.targetY); };
    form.command1Click();
    fake.advance(200);
    fake.moveMouse(50, 60);
    fake.advance(200);
    EXPECT_EQ(targetAtCaption, (std::vector<std::pair<int, int>>{{0, 0}, {30, 40}}));
    EXPECT_EQ(form.targetX, 50);
    EXPECT_EQ(form.targetY, 60);
}

TEST_F(CaptureTest, F7FreezesCaptionAndTargetAndCommand1Resumes) {
    fake.moveMouse(100, 200);
    form.command1Click();
    fake.advance(200);
    fake.tapKey(kVkF7);
    fake.advance(200);  // the poll and the capture fall due together; capture first
    fake.moveMouse(300, 400);
    fake.advance(2000);
    EXPECT_EQ(fake.label1, "横坐标:100 纵坐标:200");
    EXPECT_EQ(form.targetX, 100);

    fake.tapKey(kVkF7);  // while capture is off: nothing changes
    fake.advance(400);
    EXPECT_EQ(fake.label1, "横坐标:100 纵坐标:200");

    form.command1Click();
    fake.advance(200);
    EXPECT_EQ(fake.label1, "横坐标:300 纵坐标:400");
    EXPECT_EQ(form.targetY, 400);
}

// A capture tick between the F7 press and the poll that sees it writes where the pointer went
// after the press. A backend that sees the press as it happens fixes the point of the press; one
// that only polls keeps what the last tick took.
TEST(CaptureAtF7Test, TheTargetIsWhereThePointerWasWhenF7WentDown) {
    struct Case {
        bool keyEvents;
        POINT fixed;
    };
    for (const Case& c : {Case{true, {10, 20}}, Case{false, {30, 40}}}) {
        FakePlatform fake;
        Form1 form{fake};
        fake.keyEvents = c.keyEvents;
        fake.start(form);
        fake.advance(100);
        form.command1Click();  // captures at 300, 500, ...; polls at 200, 400, ...
        fake.moveMouse(10, 20);
        fake.advance(110);
        fake.tapKey(kVkF7);
        fake.moveMouse(30, 40);
        fake.advance(90);  // the capture tick at 300
        ASSERT_EQ(fake.label1, "横坐标:30 纵坐标:40");
        fake.advance(100);  // the poll at 400
        fake.moveMouse(50, 60);
        fake.setText2("0.1");
        form.command3Click();
        fake.advance(500);
        const std::string fixed = coordinateCaption(c.fixed);
        EXPECT_EQ(fake.label1, fixed) << c.keyEvents;
        ASSERT_EQ(fake.clicks.size(), 5U);
        EXPECT_EQ(coordinateCaption(fake.clicks.back().at), fixed) << c.keyEvents;
    }
}

TEST_F(CaptureTest, Command1WhileFollowingRestartsTheCount) {
    form.command1Click();
    fake.advance(150);
    form.command1Click();
    fake.advance(150);
    EXPECT_EQ(fake.label1Writes, 0);
    fake.advance(50);
    EXPECT_EQ(fake.label1Writes, 1);
}

}  // namespace
}  // namespace morvane::testing
