#include "form_fixture.h"

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
        EXPECT_EQ(made,
                  (std::vector<std::string>{std::string("messageBox(") + kReminder + ")", "Text2?",
                                            std::string("messageBox(") + kRejected + ")"}))
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

}  // namespace
}  // namespace morvane::testing
