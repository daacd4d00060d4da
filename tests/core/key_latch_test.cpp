#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "platform/key_latch.h"

namespace morvane {
namespace {

constexpr std::int16_t kNothing = 0;
constexpr auto kDown = static_cast<std::int16_t>(KeyLatch::kDownNow);
constexpr auto kTapped = static_cast<std::int16_t>(KeyLatch::kPressedSinceQuery);
constexpr int kF7 = 73;
constexpr int kF12 = 96;

TEST(KeyLatchTest, AQueryClearsOnlyTheKeysAskedAbout) {
    KeyLatch keys;
    for (const int key : {kF7, kF12}) {
        keys.press(key);
        keys.release(key);
    }
    EXPECT_EQ(keys.query(std::array{kF12}), kTapped);
    EXPECT_EQ(keys.query(std::array{kF7}), kTapped);
    EXPECT_EQ(keys.query(std::array{kF12}), kNothing);
}

TEST(KeyLatchTest, AnyOfSeveralKeysCountsAndOutOfRangeOnesAreIgnored) {
    KeyLatch keys;
    keys.setDown(200, true);  // already held when the stream started: no tap to report
    EXPECT_EQ(keys.query(std::array{kF7, 200}), kDown);
    keys.setDown(200, false);
    EXPECT_EQ(keys.query(std::array{kF7, 200}), kNothing);
    keys.press(-1);
    keys.press(KeyLatch::kKeys);
    EXPECT_EQ(keys.query(std::array{-1, KeyLatch::kKeys}), kNothing);
}

// Which press a poll's F7 stands for. Auto-repeat and a second tap before the poll keep the
// first press; a key only held reports no press.
TEST(KeyLatchTest, APressPointBelongsToThePressTheQueryReported) {
    enum class Op { Press, Release, Query };
    struct Step {
        Op op;
        POINT at{};
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
        std::optional<POINT> expected;
    };
    constexpr POINT kA{1, 2};
    constexpr POINT kB{3, 4};
    const Case cases[] = {
        {"tap", {{Op::Press, kA}, {Op::Release}, {Op::Query}}, kA},
        {"auto-repeat", {{Op::Press, kA}, {Op::Press, kB}, {Op::Query}}, kA},
        {"two taps", {{Op::Press, kA}, {Op::Release}, {Op::Press, kB}, {Op::Query}}, kA},
        {"held over a query", {{Op::Press, kA}, {Op::Query}, {Op::Query}}, std::nullopt},
        {"repeat after a query", {{Op::Press, kA}, {Op::Query}, {Op::Press, kB}, {Op::Query}}, kA},
        {"the next press",
         {{Op::Press, kA}, {Op::Query}, {Op::Release}, {Op::Press, kB}, {Op::Query}},
         kB},
        {"nothing pressed", {{Op::Query}}, std::nullopt},
    };
    for (const Case& c : cases) {
        KeyLatch keys;
        for (const Step& step : c.steps) {
            switch (step.op) {
            case Op::Press:
                keys.press(kF7, step.at);
                break;
            case Op::Release:
                keys.release(kF7);
                break;
            case Op::Query:
                (void)keys.query(std::array{kF7});
                break;
            }
        }
        const auto got = keys.pressPoint(kF7);
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.what;
        if (got) {
            EXPECT_EQ(std::pair(got->x, got->y), std::pair(c.expected->x, c.expected->y)) << c.what;
        }
    }
    KeyLatch keys;
    keys.press(kF7);  // a backend that gives no point
    (void)keys.query(std::array{kF7});
    EXPECT_FALSE(keys.pressPoint(kF7).has_value());
    EXPECT_FALSE(keys.pressPoint(KeyLatch::kKeys).has_value());
}

}  // namespace
}  // namespace morvane
