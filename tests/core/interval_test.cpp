#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "clicker/interval.h"

namespace morvane {
namespace {

TEST(IntervalTest, PlainDecimalsAreNumbers) {
    struct Case {
        const char* text;
        double value;
    };
    for (const Case& c : {Case{"2", 2.0}, Case{"61", 61.0}, Case{"61.0", 61.0}, Case{"5.", 5.0},
                          Case{".5", 0.5}, Case{"0", 0.0}, Case{"000.250", 0.25},
                          Case{"0.0016", 0.0016}, Case{"61.000000000000001", 61.0}}) {
        const std::optional<double> parsed = parseSeconds(c.text);
        ASSERT_TRUE(parsed) << c.text;
        EXPECT_EQ(*parsed, c.value) << c.text;
    }
}

TEST(IntervalTest, EverythingElseIsNotANumber) {
    for (const char* text :
         {"",      ".",   "..",  "1.2.3",    "-1",   "+1", "1e3", "1E3", " 1",  "1 ",  "1,5",
          "1,000", "inf", "nan", "infinity", "0x10", "١",  "５",  "1\t", "1\n", "六十"}) {
        EXPECT_FALSE(parseSeconds(text)) << '"' << text << '"';
    }
}

TEST(IntervalTest, DigitStringsBeyondADoubleStillCompareRight) {
    const std::string huge(400, '9');
    const std::optional<double> big = parseSeconds(huge);
    ASSERT_TRUE(big);
    EXPECT_GT(*big, 61.0);

    const std::string tiny = "0." + std::string(400, '0') + "1";
    const std::optional<double> small = parseSeconds(tiny);
    ASSERT_TRUE(small);
    EXPECT_LE(*small, 61.0);
    EXPECT_GE(*small, 0.0);
}

TEST(IntervalTest, MillisecondsRoundHalfToEven) {
    struct Case {
        double seconds;
        std::int64_t ms;
    };
    for (const Case& c :
         {Case{2.0, 2000}, Case{0.5, 500}, Case{0.0016, 2}, Case{0.0004, 0}, Case{0.0005, 0},
          Case{0.0015, 2}, Case{0.0025, 2}, Case{0.0035, 4}, Case{2.5005, 2500}, Case{1.0005, 1000},
          Case{61.0, 61000}, Case{0.001, 1}, Case{0.0, 0}, Case{-0.0015, -2}}) {
        EXPECT_EQ(secondsToMilliseconds(c.seconds), c.ms) << c.seconds;
    }
}

TEST(IntervalTest, NonFiniteOrHugeValuesHaveNoMilliseconds) {
    for (const double v :
         {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
          std::numeric_limits<double>::quiet_NaN(), 1e300}) {
        EXPECT_FALSE(secondsToMilliseconds(v)) << v;
    }
}

}  // namespace
}  // namespace morvane
