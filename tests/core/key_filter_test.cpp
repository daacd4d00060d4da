#include <gtest/gtest.h>

#include <string>

#include "clicker/key_filter.h"
#include "form_fixture.h"

namespace morvane::testing {
namespace {

TEST(KeyFilterTest, SingleKeysAgainstTheCurrentText) {
    struct Case {
        char16_t key;
        const char* text;
        bool accepted;
    };
    for (const Case& c : {
             Case{u'0', "", true},     Case{u'9', "12.5", true}, Case{u'7', "", true},
             Case{u'\b', "", true},    Case{u'\b', "5.", true},  Case{u'.', "", false},
             Case{u'.', "5", true},    Case{u'.', "5.", false},  Case{u'.', ".", false},
             Case{u'.', "1.2", false}, Case{u'-', "5", false},   Case{u'+', "", false},
             Case{u'e', "1", false},   Case{u'E', "1", false},   Case{u' ', "1", false},
             Case{u',', "1", false},   Case{u'\r', "1", false},  Case{3, "1", false},
             Case{22, "1", false},     Case{24, "1", false},     Case{u'/', "1", false},
             Case{u':', "1", false},   Case{u'０', "1", false},  Case{u'。', "1", false},
             Case{0x7F, "1", false},
         }) {
        const auto code = static_cast<std::int16_t>(c.key);
        EXPECT_EQ(filterIntervalKey(code, c.text), c.accepted ? code : 0)
            << "key " << static_cast<int>(c.key) << " into \"" << c.text << "\"";
    }
}

TEST(KeyFilterTest, NegativeSixteenBitCodesAreDropped) {
    for (const int code : {-1, -32768, -32722}) {
        EXPECT_EQ(filterIntervalKey(static_cast<std::int16_t>(code), "1"), 0) << code;
    }
}

using TypingTest = FormTest;

TEST_F(TypingTest, TypedSequencesKeepOnlyAPlainDecimal) {
    struct Case {
        std::u16string typed;
        std::string result;
    };
    for (const Case& c : {
             Case{u".7", "7"},
             Case{u"12.5", "12.5"},
             Case{u"12.5.", "12.5"},
             Case{u"1..2", "1.2"},
             Case{u"-3e+5 x", "35"},
             Case{u"0.0016", "0.0016"},
             Case{u"5.\b.", "5."},
             Case{u"5.\b\b.", ""},
             Case{u"61\r", "61"},
         }) {
        fake.setText2("");
        fake.type(c.typed);
        EXPECT_EQ(fake.text2Value(), c.result);
    }
}

TEST_F(TypingTest, BackspaceMayLeaveALonePointWhichTheFilterDoesNotRepair) {
    fake.type(u"5.");
    fake.setText2(".");  // the 5 deleted with the caret before the point
    fake.type(u".3");
    EXPECT_EQ(fake.text2Value(), ".3");
}

}  // namespace
}  // namespace morvane::testing
