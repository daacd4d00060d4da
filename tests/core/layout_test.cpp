#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/layout.h"

namespace morvane {
namespace {

bool inside(const TwipRect& inner, const TwipRect& outer) {
    return inner.left >= 0 && inner.top >= 0 && inner.left + inner.width <= outer.width &&
           inner.top + inner.height <= outer.height;
}

TEST(LayoutTest, NamesAreUniqueAndIdsIndexTheTable) {
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        EXPECT_EQ(static_cast<std::size_t>(kControls.at(i).id), i);
        EXPECT_TRUE(names.insert(kControls.at(i).name).second) << kControls.at(i).name;
    }
}

TEST(LayoutTest, EveryControlLiesInsideItsContainer) {
    const TwipRect client{0, 0, kFormClientWidthTwips, kFormClientHeightTwips};
    for (const ControlSpec& c : kControls) {
        const TwipRect outer = c.container ? controlSpec(*c.container).rect : client;
        EXPECT_TRUE(inside(c.rect, outer)) << c.name;
        EXPECT_GT(c.rect.width, 0) << c.name;
        EXPECT_GT(c.rect.height, 0) << c.name;
        if (c.container) {
            // Containers come before what they hold, so widgets can be built in table order.
            EXPECT_LT(static_cast<int>(*c.container), static_cast<int>(c.id)) << c.name;
            EXPECT_EQ(controlSpec(*c.container).kind, ControlKind::Frame) << c.name;
        }
    }
}

TEST(LayoutTest, TabIndicesAreUniqueAndFocusOrderIsTheButtonsThenTheBox) {
    std::set<int> indices;
    std::vector<std::string_view> focusOrder;
    int last = -1;
    for (const ControlSpec& c : kControls) {
        EXPECT_TRUE(indices.insert(c.tabIndex).second) << c.name;
        EXPECT_GT(c.tabIndex, last) << c.name;
        last = c.tabIndex;
        if (takesFocus(c.kind)) {
            focusOrder.push_back(c.name);
        }
    }
    EXPECT_EQ(focusOrder,
              (std::vector<std::string_view>{"Command1", "Command2", "Text2", "Command3"}));
}

TEST(LayoutTest, PositionsAddUpThroughTheContainers) {
    const TwipRect label1 = absoluteRect(ControlId::Label1);  // Frame1 + Frame2 + own offset
    EXPECT_EQ(label1.left, 240);
    EXPECT_EQ(label1.top, 360);
    const TwipRect text2 = absoluteRect(ControlId::Text2);
    EXPECT_EQ(text2.left, 2880);
    EXPECT_EQ(text2.top, 720);
}

TEST(LayoutTest, TwipsToPixelsRoundsAtEveryDpi) {
    struct Case {
        int twips, dpi, pixels;
    };
    for (const Case& c : {Case{15, 96, 1}, Case{4680, 96, 312}, Case{3075, 96, 205},
                          Case{4680, 144, 468}, Case{255, 96, 17}, Case{7, 96, 0}, Case{8, 96, 1},
                          Case{375, 120, 31}, Case{-15, 96, -1}}) {
        EXPECT_EQ(twipsToPixels(c.twips, c.dpi), c.pixels) << c.twips << " @ " << c.dpi;
    }
}

}  // namespace
}  // namespace morvane
