#include "platform/utf.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(UtfTest, TextRoundTripsThroughBothForms) {
    for (const std::u16string_view text :
         {std::u16string_view(), std::u16string_view(u"F12是退出哦！"),
          std::u16string_view(u"横坐标:-7680"), std::u16string_view(u"\U0001F5B1x")}) {
        EXPECT_EQ(toUtf16(toUtf8(text)), text);
    }
    EXPECT_EQ(toUtf8(u"\U0001F5B1"), "\xF0\x9F\x96\xB1");  // beyond the BMP: one code point
    EXPECT_EQ(toUtf8(u"取点"), "\xE5\x8F\x96\xE7\x82\xB9");
}

TEST(UtfTest, MalformedTextBecomesReplacementCharacters) {
    struct Case {
        std::string_view utf8;
        std::u16string_view utf16;
    };
    for (const Case& c :
         {Case{"\x80", u"\uFFFD"}, Case{"a\xC3", u"a\uFFFD"}, Case{"\xC0\xAF", u"\uFFFD\uFFFD"},
          Case{"\xE0\x80\x80", u"\uFFFD"}, Case{"\xED\xA0\x80", u"\uFFFD"},
          Case{"\xF4\x90\x80\x80", u"\uFFFD"}, Case{"\xE4\xB8x", u"\uFFFDx"},
          Case{"\xFF"
               "5",
               u"\uFFFD5"}}) {
        EXPECT_EQ(toUtf16(c.utf8), c.utf16);
    }
    EXPECT_EQ(toUtf8(u"\xD800x"), "\xEF\xBF\xBDx");  // a lone high surrogate
    EXPECT_EQ(toUtf8(u"\xDC00"), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace morvane
