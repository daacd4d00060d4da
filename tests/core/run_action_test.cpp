#include "form_fixture.h"

#include <algorithm>

namespace morvane::testing {
namespace {

using RunActionTest = FormTest;

TEST_F(RunActionTest, AcceptedTextsMinimizeAndSetTheClickInterval) {
    struct Case {
        const char* text;
        std::int64_t ms;
    };
    for (const Case& c : {Case{"2", 2000}, Case{"61", 61000}, Case{"61.0", 61000}, Case{"0.5", 500},
                          Case{"5.", 5000}, Case{".5", 500}, Case{"0.0016", 2}, Case{"0.0015", 2},
                          Case{"0.0025", 2}, Case{"0.001", 1}, Case{"0.0004", 0}, Case{"0", 0},
                          Case{"60.9999", 61000}, Case{"0000000002", 2000}}) {
        const std::size_t boxesBefore = fake.boxes.size();
        const int minimizedBefore = fake.minimizeCount;
        runWith(c.text);
        ASSERT_EQ(fake.boxes.size(), boxesBefore + 1) << c.text;
        EXPECT_EQ(fake.boxes.back(), kReminder) << c.text;
        EXPECT_EQ(fake.minimizeCount, minimizedBefore + 1) << c.text;
        EXPECT_EQ(fake.timers().interval(TimerId::Timer3), c.ms) << c.text;
        EXPECT_EQ(fake.calls.back(), "Timer3.interval=" + std::to_string(c.ms)) << c.text;
    }
}

TEST_F(RunActionTest, RejectedTextsShowTheLimitAndChangeNothing) {
    runWith("1");
    ASSERT_EQ(fake.timers().interval(TimerId::Timer3), 1000);
    for (const char* text : {"61.5", "62", "61.0000001", "100000", "", ".", "-1", "+5", "1e1", " 5",
                             "5 ", "1,5", "inf", "nan", "abc", "5..",
                             "99999999999999999999999999999999999999999999999999999999999"}) {
        const std::size_t callsBefore = fake.calls.size();
        runWith(text);
        const std::vector<std::string> made(
            fake.calls.begin() + static_cast<std::ptrdiff_t>(callsBefore), fake.calls.end());
        // The clicks pause for the boxes, then go on at the old interval.
        EXPECT_EQ(made,
                  (std::vector<std::string>{
                      "Timer3.interval=0", std::string("messageBox(") + kReminder + ")", "Text2?",
                      std::string("messageBox(") + kRejected + ")", "Timer3.interval=1000"}))
            << '"' << text << '"';
    }
    EXPECT_EQ(fake.minimizeCount, 1);
    EXPECT_EQ(fake.timers().interval(TimerId::Timer3), 1000);
}

// The user reads the reminder for a while, and types meanwhile; what counts is the box as it
// stands once the reminder is gone, and the clicks' beat starts from then.
TEST_F(RunActionTest, TextIsReadOnlyAfterTheReminderIsDismissed) {
    fake.setText2("");
    fake.onNextBox([](FakePlatform& f, std::string_view) {
        f.setText2("3");
        f.advance(700);
    });
    form.command3Click();
    EXPECT_EQ(fake.boxes, (std::vector<std::string>{kReminder}));
    EXPECT_EQ(fake.timers().interval(TimerId::Timer3), 3000);
    fake.advance(6100);
    ASSERT_EQ(fake.clicks.size(), 2U);
    EXPECT_EQ(fake.clicks[0].atMs, 3700);
    EXPECT_EQ(fake.clicks[1].atMs, 6700);
}

TEST_F(RunActionTest, IntervalComesFromASecondReadAfterMinimizing) {
    fake.onMinimize = [&] { fake.setText2("0.25"); };
    runWith("2");
    EXPECT_EQ(fake.timers().interval(TimerId::Timer3), 250);
    EXPECT_EQ(countCalls("Text2?"), 2);

    // A text that stopped being a number by then leaves the interval as it was.
    fake.onMinimize = [&] { fake.setText2("."); };
    runWith("3");
    EXPECT_EQ(fake.timers().interval(TimerId::Timer3), 250);
    EXPECT_EQ(fake.minimizeCount, 2);
}

TEST_F(RunActionTest, RunningAgainRestartsTheClicksWithTheNewPeriod) {
    runWith("1");
    fake.advance(2500);
    EXPECT_EQ(fake.clicks.size(), 2U);
    runWith("0.1");  // at 2.5 s: next clicks at 2.6, 2.7, ...
    fake.advance(1000);
    ASSERT_EQ(fake.clicks.size(), 12U);
    EXPECT_EQ(fake.clicks[2].atMs, 2600);
    runWith("0");
    fake.advance(5000);
    EXPECT_EQ(fake.clicks.size(), 12U);
}

// A run re-timed while clicking: no click and no move while either box is open, then the
// interval the run leaves, its first click one interval after the last box closed.
TEST_F(RunActionTest, ClicksPauseWhileABoxIsOpen) {
    struct Case {
        const char* text;
        std::vector<std::int64_t> boxOpenMs;  // how long each box stays open
        std::int64_t afterMs;                 // Timer3 once the boxes have closed
    };
    for (const Case& c : {Case{"0.25", {1000}, 250}, Case{"62", {500, 700}, 100},
                          Case{"", {300, 300}, 100}, Case{"0", {400}, 0}}) {
        runWith("0.1");
        fake.advance(1050);
        for (const std::int64_t ms : c.boxOpenMs) {
            fake.onNextBox([ms](FakePlatform& f, std::string_view) { f.advance(ms); });
        }
        const std::size_t callsBefore = fake.calls.size();
        const std::size_t clicksBefore = fake.clicks.size();
        runWith(c.text);
        const std::vector<std::string> made(
            fake.calls.begin() + static_cast<std::ptrdiff_t>(callsBefore), fake.calls.end());
        EXPECT_EQ(std::count_if(made.begin(), made.end(),
                                [](const std::string& call) {
                                    return call.rfind("SetCursorPos", 0) == 0 ||
                                           call.rfind("mouse_event", 0) == 0;
                                }),
                  0)
            << '"' << c.text << "\" moved or clicked while a box was open";
        EXPECT_EQ(fake.clicks.size(), clicksBefore) << c.text;
        EXPECT_EQ(fake.timers().interval(TimerId::Timer3), c.afterMs) << c.text;
        const std::int64_t closedAt = fake.nowMs();
        fake.advance(1000);
        if (c.afterMs == 0) {
            EXPECT_EQ(fake.clicks.size(), clicksBefore) << c.text;
            continue;
        }
        ASSERT_GT(fake.clicks.size(), clicksBefore) << c.text;
        EXPECT_EQ(fake.clicks[clicksBefore].atMs, closedAt + c.afterMs) << c.text;
    }
}

}  // namespace
}  // namespace morvane::testing
