#include "form_fixture.h"

namespace morvane::testing {
namespace {

using ClickTimerTest = FormTest;

TEST_F(ClickTimerTest, EveryTickMovesToTheTargetThenClicksOnce) {
    fake.moveMouse(-5, 10);
    form.command1Click();
    fake.advance(200);
    fake.tapKey(kVkF7);
    fake.advance(200);
    runWith("0.05");
    const std::size_t firstClickCall = fake.calls.size();
    fake.moveMouse(600, 600);  // the user wanders off between ticks
    fake.advance(50);
    const std::vector<std::string> tick(
        fake.calls.begin() + static_cast<std::ptrdiff_t>(firstClickCall), fake.calls.end());
    EXPECT_EQ(tick, (std::vector<std::string>{"SetCursorPos(-5,10)", "mouse_event(6,0,0,0,0)"}));
    fake.moveMouse(700, 700);
    fake.advance(950);
    ASSERT_EQ(fake.clicks.size(), 20U);
    for (const auto& click : fake.clicks) {
        EXPECT_EQ(click.at.x, -5);
        EXPECT_EQ(click.at.y, 10);
    }
    EXPECT_EQ(countCalls("mouse_event(6,0,0,0,0)"), 20);
}

TEST_F(ClickTimerTest, WithoutACaptureClicksGoToTheOrigin) {
    fake.moveMouse(300, 300);
    runWith("1");
    fake.advance(3000);
    ASSERT_EQ(fake.clicks.size(), 3U);
    EXPECT_EQ(fake.clicks[0].at.x, 0);
    EXPECT_EQ(fake.clicks[0].at.y, 0);
}

TEST_F(ClickTimerTest, WhileCaptureIsOnClicksFollowTheLastCapturedPoint) {
    form.command1Click();
    fake.moveMouse(10, 20);
    fake.advance(200);  // capture (10,20)
    runWith("0.3");     // clicks at 500, 800, ...
    fake.moveMouse(30, 40);
    fake.advance(200);  // capture at 400 takes (30,40)
    fake.advance(100);  // click at 500 goes there, and puts the cursor back on it
    ASSERT_EQ(fake.clicks.size(), 1U);
    EXPECT_EQ(fake.clicks[0].at.x, 30);
    EXPECT_EQ(fake.clicks[0].at.y, 40);
}

TEST_F(ClickTimerTest, OneMillisecondClicksKeepExactPhase) {
    runWith("0.001");
    fake.advance(1000);
    ASSERT_EQ(fake.clicks.size(), 1000U);
    for (std::size_t i = 0; i < fake.clicks.size(); ++i) {
        EXPECT_EQ(fake.clicks[i].atMs, static_cast<std::int64_t>(i) + 1);
    }
}

TEST_F(ClickTimerTest, ClosingTheWindowStopsClicksAtOnce) {
    runWith("0.01");
    fake.advance(105);
    ASSERT_EQ(fake.clicks.size(), 10U);
    form.unload();  // the platform closed the window
    form.unload();  // and a second close request is harmless
    fake.advance(1000);
    EXPECT_EQ(fake.clicks.size(), 10U);
    EXPECT_EQ(countCalls("unload"), 1);
    form.command1Click();
    form.command3Click();
    EXPECT_TRUE(fake.boxes.size() == 1U);
}

}  // namespace
}  // namespace morvane::testing
