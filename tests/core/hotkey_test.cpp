#include "form_fixture.h"

namespace morvane::testing {
namespace {

using HotkeyTest = FormTest;

std::vector<std::string> keyQueries(const std::vector<std::string>& calls) {
    std::vector<std::string> out;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(out),
                 [](const std::string& c) { return c.starts_with("GetAsyncKeyState"); });
    return out;
}

TEST_F(HotkeyTest, EveryPollQueriesF7F10F12InOrder) {
    fake.advance(400);
    EXPECT_EQ(keyQueries(fake.calls),
              (std::vector<std::string>{"GetAsyncKeyState(118)", "GetAsyncKeyState(121)",
                                        "GetAsyncKeyState(123)", "GetAsyncKeyState(118)",
                                        "GetAsyncKeyState(121)", "GetAsyncKeyState(123)"}));
}

TEST_F(HotkeyTest, AKeyPressedAndReleasedBetweenPollsStillCounts) {
    fake.setText2("1");
    fake.advance(100);
    fake.tapKey(kVkF10);
    fake.advance(100);
    EXPECT_EQ(fake.boxes, (std::vector<std::string>{kReminder}));
    EXPECT_EQ(fake.timers().interval(TimerId::Timer3), 1000);
    fake.advance(1000);  // the press was reported once, not on every later poll
    EXPECT_EQ(fake.boxes.size(), 1U);
}

TEST_F(HotkeyTest, F10WithAnEmptyBoxActsAsCommand3Does) {
    fake.tapKey(kVkF10);
    fake.advance(200);
    EXPECT_EQ(fake.boxes, (std::vector<std::string>{kReminder, kRejected}));
    EXPECT_EQ(fake.minimizeCount, 0);
}

TEST_F(HotkeyTest, F12EndsTheProgramAndTheClicks) {
    runWith("0.001");
    fake.advance(300);
    fake.tapKey(kVkF12);
    fake.advance(100);  // the poll at 400 sees it, before the click due at the same instant
    EXPECT_TRUE(fake.unloadedFlag);
    EXPECT_EQ(fake.clicks.size(), 399U);
    fake.advance(1000);
    EXPECT_EQ(fake.clicks.size(), 399U);
    EXPECT_EQ(countCalls("unload"), 1);
}

TEST_F(HotkeyTest, HeldF10GivesOneReminderWhileItIsOpen) {
    fake.setText2("2");
    fake.keyDown(kVkF10);
    fake.onNextBox([](FakePlatform& f, std::string_view) { f.advance(2000); });
    fake.advance(200);
    EXPECT_EQ(fake.boxes, (std::vector<std::string>{kReminder}));
    EXPECT_EQ(fake.minimizeCount, 1);
    // Held on after the box closed, the key keeps asking, once per poll.
    fake.advance(400);
    EXPECT_EQ(fake.boxes.size(), 3U);
}

TEST_F(HotkeyTest, CaptureAndPollTicksGoOnWhileTheReminderIsOpen) {
    fake.moveMouse(5, 6);
    form.command1Click();
    fake.advance(200);
    runWith("0.1");  // clicks from 300 on
    fake.onNextBox([](FakePlatform& f, std::string_view) {
        f.advance(1000);
        f.tapKey(kVkF7);
        f.advance(200);
        f.advance(400);
    });
    form.command3Click();              // at 200 ms; the box stays open for 1.6 s
    EXPECT_TRUE(fake.clicks.empty());  // the clicks pause for the box
    fake.advance(250);
    EXPECT_EQ(fake.clicks.size(), 2U);  // at 1900 and 2000
    // Captures at 200 to 1400; F7, seen by the poll at 1400, stopped them inside the box and
    // wrote its press point.
    EXPECT_EQ(fake.label1Writes, 8);
}

TEST_F(HotkeyTest, F12WhileTheReminderIsOpenEndsTheProgramAndTheRunStops) {
    runWith("0.5");
    fake.setText2("0.001");
    int ticksAfterUnload = 0;
    fake.onNextBox([&](FakePlatform& f, std::string_view) {
        f.advance(300);
        f.tapKey(kVkF12);
        f.advance(200);
        ASSERT_TRUE(f.unloadedFlag);  // ended although the box is still open
        const std::size_t calls = f.calls.size();
        f.advance(5000);
        ticksAfterUnload = static_cast<int>(f.calls.size() - calls);
    });
    form.command3Click();
    EXPECT_EQ(ticksAfterUnload, 0);
    EXPECT_EQ(fake.boxes.size(), 2U);        // the first run's reminder and this one
    EXPECT_EQ(fake.minimizeCount, 1);        // only the first run minimized
    EXPECT_EQ(fake.calls.back(), "unload");  // the waiting run touched nothing afterwards
    EXPECT_EQ(fake.timers().interval(TimerId::Timer3), 0);  // paused for the box, never resumed
}

TEST_F(HotkeyTest, F10AndF12TogetherShowTheReminderFirstThenEnd) {
    fake.setText2("1");
    fake.onNextBox([](FakePlatform& f, std::string_view) { f.advance(1000); });
    fake.tapKey(kVkF10);
    fake.tapKey(kVkF12);
    fake.advance(200);
    EXPECT_EQ(fake.boxes, (std::vector<std::string>{kReminder}));
    EXPECT_TRUE(fake.unloadedFlag);
    EXPECT_EQ(fake.minimizeCount, 0);
    EXPECT_EQ(countCalls("unload"), 1);
    // The F12 report was taken by the next poll, inside the box: the outer poll did not query
    // F12 again after its run ended.
    EXPECT_EQ(fake.calls.back(), "unload");
}

TEST_F(HotkeyTest, F12WithTheReminderDismissedAtOnceEndsInTheSamePoll) {
    fake.setText2("1");
    fake.tapKey(kVkF10);
    fake.tapKey(kVkF12);
    fake.advance(200);
    EXPECT_EQ(fake.boxes, (std::vector<std::string>{kReminder}));
    EXPECT_EQ(fake.minimizeCount, 1);
    EXPECT_TRUE(fake.unloadedFlag);
}

TEST_F(HotkeyTest, F7F10F12InOnePollActInThatOrder) {
    fake.moveMouse(1, 2);
    form.command1Click();
    fake.setText2("0.01");
    fake.advance(100);
    fake.tapKey(kVkF7);
    fake.tapKey(kVkF10);
    fake.tapKey(kVkF12);
    fake.advance(100);
    const auto& c = fake.calls;
    const auto at = [&](const std::string& s) { return std::find(c.begin(), c.end(), s); };
    EXPECT_LT(at("Timer1.enabled=false"), at(std::string("messageBox(") + kReminder + ")"));
    EXPECT_LT(at("Timer3.interval=10"), at("unload"));
    EXPECT_TRUE(fake.clicks.empty());
}

}  // namespace
}  // namespace morvane::testing
