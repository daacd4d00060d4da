#include "app/caption_layout.h"
#include "platform/utf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace morvane {
namespace {

// A face where a Chinese character is one em wide and anything below U+0100 half an em, with
// ascent, descent and the glyphs' ink (by default most of the em, a little of it below the
// baseline, never past what the face declares) given in hundredths of an em.
class SyntheticFace final : public TextMeasure {
public:
    SyntheticFace(int em, int ascentPercent, int descentPercent, std::u16string missing = {},
                  int inkAbovePercent = 88, int inkBelowPercent = 12)
        : em_(em),
          ascent_(percent(ascentPercent)),
          descent_(percent(descentPercent)),
          ink_{std::min(ascent_, percent(inkAbovePercent)),
               std::min(descent_, percent(inkBelowPercent))},
          missing_(std::move(missing)) {}

    [[nodiscard]] bool covers(std::u16string_view text) const override {
        return std::none_of(text.begin(), text.end(), [this](char16_t c) {
            return missing_.find(c) != std::u16string::npos;
        });
    }
    [[nodiscard]] int width(std::u16string_view text) const override {
        int w = 0;
        for (const char16_t c : text) {
            w += c < 0x100 ? em_ / 2 : em_;
        }
        return w;
    }
    [[nodiscard]] int ascent() const override { return ascent_; }
    [[nodiscard]] int descent() const override { return descent_; }
    [[nodiscard]] Ink ink(std::u16string_view /*text*/) const override { return ink_; }

private:
    [[nodiscard]] int percent(int hundredths) const { return (em_ * hundredths + 50) / 100; }

    int em_;
    int ascent_;
    int descent_;
    Ink ink_;
    std::u16string missing_;
};

// Every character one unit wide: widths count characters.
class CharacterCells final : public TextMeasure {
public:
    [[nodiscard]] bool covers(std::u16string_view /*text*/) const override { return true; }
    [[nodiscard]] int width(std::u16string_view text) const override {
        return static_cast<int>(text.size());
    }
    [[nodiscard]] int ascent() const override { return 1; }
    [[nodiscard]] int descent() const override { return 0; }
    [[nodiscard]] Ink ink(std::u16string_view /*text*/) const override { return {1, 0}; }
};

std::vector<std::u16string> wrapped(std::u16string_view text, int width) {
    std::vector<std::u16string> out;
    for (const CaptionLine& line : wrapCaption(text, width, CharacterCells{})) {
        out.emplace_back(text.substr(line.begin, line.length));
    }
    return out;
}

struct WrapCase {
    const char* name;
    std::u16string_view text;
    int width;
    std::vector<std::u16string> lines;
};

TEST(CaptionLayout, LinesBreakWhereChineseAllows) {
    const WrapCase cases[] = {
        {"fits on one line", u"秒/次", 5, {u"秒/次"}},
        {"empty caption", u"", 5, {}},
        {"breaks between Chinese characters",
         u"此版本只开放了鼠标左键功能！",
         8,
         {u"此版本只开放了鼠", u"标左键功能！"}},
        {"closing punctuation never starts a line",
         u"一二三，四五",
         3,
         {u"一二", u"三，四", u"五"}},
        {"runs of closing punctuation move together",
         u"一二三！！四",
         3,
         {u"一二", u"三！！", u"四"}},
        {"a key name is not split", u"按F7将", 2, {u"按", u"F7", u"将"}},
        {"a word longer than the line is split", u"ABCDEFG", 3, {u"ABC", u"DEF", u"G"}},
        {"spaces at a break are dropped", u"横坐标:10 纵坐标:20", 7, {u"横坐标:10", u"纵坐标:20"}},
        {"nothing fits: one character per line", u"取点", 0, {u"取", u"点"}},
        {"only punctuation still advances", u"！！", 1, {u"！", u"！"}},
        // Label5 at 96 DPI holds eleven 12-pixel characters per line: two lines, as laid out.
        {"Label5",
         u"移动到点击处，这里显示坐标点，按F7将选中！",
         11,
         {u"移动到点击处，这里显示", u"坐标点，按F7将选中！"}},
    };
    for (const WrapCase& c : cases) {
        EXPECT_EQ(wrapped(c.text, c.width), c.lines) << c.name;
    }
}

TEST(CaptionLayout, LinesAreSetByTheirInkABlankRowApart) {
    struct Case {
        const char* name;
        int ascentPercent;
        int descentPercent;
        int inkPercent;  // of the ink of Chinese characters: 11 rows above, 1 below at 12 px
        LineBox box;
    };
    for (const Case& c :
         {Case{"a line box half as tall again as the ink", 116, 29, 100, {11, 1, 1}},
          Case{"a line box of one em", 80, 20, 100, {10, 1, 1}},
          Case{"no ink measured: the face's line box", 80, 20, 0, {10, 2, 0}}}) {
        const SyntheticFace face(12, c.ascentPercent, c.descentPercent, u"",
                                 88 * c.inkPercent / 100, 12 * c.inkPercent / 100);
        const LineBox box = lineBox(face);
        EXPECT_EQ(std::tie(box.above, box.below, box.gap),
                  std::tie(c.box.above, c.box.below, c.box.gap))
            << c.name;
        const std::u16string text = toUtf16(controlSpec(ControlId::Label5).caption);
        const std::vector<CaptionLine> lines = layoutLabel(text, 137, face, box);
        ASSERT_EQ(lines.size(), 2U) << c.name;
        EXPECT_EQ(lines[0].baseline, box.above) << c.name;
        EXPECT_EQ(lines[1].baseline, box.above + box.pitch()) << c.name;
        std::u16string rejoined;
        for (const CaptionLine& line : lines) {
            EXPECT_LE(line.width, 137) << c.name;
            rejoined += text.substr(line.begin, line.length);
        }
        EXPECT_EQ(rejoined, text) << c.name;
    }
}

// The room each control gives its caption at `dpi` when it has its whole table rect.
std::vector<CaptionBox> tableCaptions(int dpi) {
    return formCaptions([dpi](ControlId id) {
        const TwipRect r = controlSpec(id).rect;
        return PixelSize{twipsToPixels(r.width, dpi), twipsToPixels(r.height, dpi)};
    });
}

// Every label's lines lie inside its box, the tallest ink of each whole and a blank row between
// two lines' ink.
bool everyLineWhole(const std::vector<CaptionBox>& boxes, const TextMeasure& face) {
    const TextMeasure::Ink ink = face.ink(allCaptionCharacters());
    return std::all_of(boxes.begin(), boxes.end(), [&](const CaptionBox& box) {
        if (box.kind != ControlKind::Label) {
            return face.width(box.text) <= box.width;
        }
        int inkAbove = 0;  // the first row the next line's ink may take
        for (const CaptionLine& l : layoutLabel(box.text, box.width, face, lineBox(face))) {
            if (l.width > box.width || l.baseline - ink.above < inkAbove ||
                l.baseline + ink.below > box.height) {
                return false;
            }
            inkAbove = l.baseline + ink.below + 1;
        }
        return true;
    });
}

struct FaceShape {
    const char* name;
    int ascentPercent;
    int descentPercent;
};

// Line boxes of common Chinese faces, from one em (bitmap-style faces) to nearly one and a half.
constexpr FaceShape kShapes[] = {
    {"one em", 80, 20}, {"tall", 100, 27}, {"taller", 116, 29}, {"tallest", 120, 30}};

TEST(CaptionLayout, ChosenSizeIsTheLargestAtWhichEveryLineIsWhole) {
    for (const int dpi : {96, 120, 144}) {
        const std::vector<CaptionBox> boxes = tableCaptions(dpi);
        for (const FaceShape& shape : kShapes) {
            SCOPED_TRACE(std::string(shape.name) + " at " + std::to_string(dpi) + " DPI");
            const auto at = [&](std::size_t /*face*/, int px) {
                return std::make_unique<SyntheticFace>(px, shape.ascentPercent,
                                                       shape.descentPercent);
            };
            const FaceChoice choice =
                chooseFace(boxes, 1, at, designPixelSize(dpi), smallestPixelSize(dpi));
            ASSERT_TRUE(choice.fits);
            EXPECT_TRUE(everyLineWhole(boxes, *at(0, choice.pixelSize)));
            if (choice.pixelSize < designPixelSize(dpi)) {
                EXPECT_FALSE(everyLineWhole(boxes, *at(0, choice.pixelSize + 1)));
            }
        }
    }
}

TEST(CaptionLayout, FaceChoiceSkipsFacesWithoutTheGlyphsAndPrefersTheLargerFit) {
    const std::vector<CaptionBox> boxes = tableCaptions(96);
    struct Candidate {
        int ascentPercent;
        int descentPercent;
        std::u16string missing;
        int inkAbovePercent = 88;
        int inkBelowPercent = 12;
    };
    struct ChoiceCase {
        const char* name;
        std::vector<Candidate> faces;
        std::size_t face;
        bool fits;
        std::size_t facesLoaded;
    };
    const ChoiceCase cases[] = {
        {"a Western face without Chinese glyphs is passed over",
         {{90, 20, u"坐"}, {116, 29, u""}},
         1,
         true,
         2},
        {"the face that fits larger wins", {{130, 30, u"", 125, 25}, {116, 29, u""}}, 1, true, 2},
        {"on a tie the earlier face wins, and a fit at the design size ends the search",
         {{80, 20, u""}, {80, 20, u""}, {70, 10, u""}},
         0,
         true,
         1},
        {"no face covers: the first stays", {{80, 20, u"点"}, {80, 20, u"击"}}, 0, false, 2},
        {"nothing fits: the first covering face at the smallest size",
         {{80, 20, u"点"}, {300, 100, u"", 300, 100}, {300, 100, u"", 300, 100}},
         1,
         false,
         3},
    };
    for (const ChoiceCase& c : cases) {
        std::size_t loaded = 0;
        const auto at = [&c, &loaded](std::size_t face, int px) {
            loaded = std::max(loaded, face + 1);
            const Candidate& f = c.faces.at(face);
            return std::make_unique<SyntheticFace>(px, f.ascentPercent, f.descentPercent, f.missing,
                                                   f.inkAbovePercent, f.inkBelowPercent);
        };
        const FaceChoice choice = chooseFace(boxes, c.faces.size(), at, 12, 8);
        EXPECT_EQ(choice.face, c.face) << c.name;
        EXPECT_EQ(choice.fits, c.fits) << c.name;
        EXPECT_EQ(loaded, c.facesLoaded) << c.name;
        if (!c.fits) {
            EXPECT_EQ(choice.pixelSize, 8) << c.name;
        }
    }
}

}  // namespace
}  // namespace morvane
