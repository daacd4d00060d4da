#include "form_fixture.h"

namespace morvane::testing {
namespace {

// The whole of one session, driven only through window events, keys and the clock.
TEST(WholeRunTest, PickTypeRunClickAndQuit) {
    FakePlatform fake;
    Form1 form{fake};
    fake.start(form);
    EXPECT_EQ(fake.label1, "坐标点：");

    form.command1Click();  // the cursor is on the button itself at first
    fake.moveMouse(40, 300);
    fake.advance(200);
    EXPECT_EQ(fake.label1, "横坐标:40 纵坐标:300");
    fake.moveMouse(512, 384);
    fake.advance(200);
    EXPECT_EQ(fake.label1, "横坐标:512 纵坐标:384");

    fake.tapKey(kVkF7);  // the poll at 600 fixes the point
    fake.advance(200);
    fake.moveMouse(900, 20);
    fake.advance(600);
    EXPECT_EQ(fake.label1, "横坐标:512 纵坐标:384");

    fake.type(u"2");
    EXPECT_EQ(fake.text2Value(), "2");
    fake.onNextBox([](FakePlatform& f, std::string_view prompt) {
        EXPECT_EQ(prompt, kReminder);
        f.advance(700);  // the user reads the reminder, then presses OK
    });
    form.command3Click();  // at 1200 ms, dismissed at 1900 ms
    EXPECT_EQ(fake.minimizeCount, 1);
    EXPECT_EQ(fake.timers().interval(TimerId::Timer3), 2000);

    fake.advance(6000);  // clicks at 3900, 5900, 7900
    ASSERT_EQ(fake.clicks.size(), 3U);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(fake.clicks[i].atMs, 3900 + 2000 * static_cast<std::int64_t>(i));
        EXPECT_EQ(fake.clicks[i].at.x, 512);
        EXPECT_EQ(fake.clicks[i].at.y, 384);
    }
    EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), "SetCursorPos(512,384)"), 3);

    fake.tapKey(kVkF12);
    fake.advance(200);
    EXPECT_TRUE(fake.unloadedFlag);
    fake.advance(10000);
    EXPECT_EQ(fake.clicks.size(), 3U);
    EXPECT_EQ(fake.boxes, (std::vector<std::string>{kReminder}));
}

}  // namespace
}  // namespace morvane::testing
