#include <gtest/gtest.h>

#include <vector>

#include "platform/linux/wayland/portal_session.h"

namespace morvane::wayland {
namespace {

struct Case {
    const char* what;
    std::vector<Stream> streams;
    std::vector<QRect> screens;
    std::vector<QPoint> expected;  // each stream's top left afterwards
};

TEST(PlaceStreams, FromTheScreensOnlyWhereThePortalGaveNoPosition) {
    const QRect left(0, 0, 1280, 800);
    const QRect right(1280, 0, 1920, 1080);
    const std::vector<Case> cases = {
        {"no positions: the screens' in order",
         {{37, QRect(0, 0, 1280, 800)}, {39, QRect(0, 0, 1920, 1080)}},
         {left, right},
         {{0, 0}, {1280, 0}}},
        {"a position given: the portal's kept",
         {{37, QRect(0, 0, 1280, 800), true}, {39, QRect(0, 0, 1920, 1080)}},
         {left, right},
         {{0, 0}, {0, 0}}},
        {"another number of screens: nothing to pair them by",
         {{37, QRect(0, 0, 1280, 800)}, {39, QRect(0, 0, 1920, 1080)}},
         {right},
         {{0, 0}, {0, 0}}},
    };
    for (Case c : cases) {
        placeStreams(c.streams, c.screens);
        std::vector<QPoint> got;
        for (const Stream& s : c.streams) {
            got.push_back(s.rect.topLeft());
        }
        EXPECT_EQ(got, c.expected) << c.what;
        EXPECT_EQ(c.streams.back().rect.size(), QSize(1920, 1080)) << c.what;
    }
}

}  // namespace
}  // namespace morvane::wayland
