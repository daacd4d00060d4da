#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

#include "platform/linux/wayland/pointer_tracker.h"

namespace morvane::wayland {
namespace {

// What one stream's newest frame said: the cursor at (x, y) on its monitor, or none.
struct Frame {
    std::size_t stream;
    std::optional<std::pair<int, int>> at;
};

struct Case {
    const char* what;
    std::vector<Frame> frames;
    std::optional<std::pair<int, int>> expected;  // on the desktop
};

TEST(PointerTracker, ThePositionComesFromTheMonitorThePointerIsOn) {
    // Three monitors side by side, the middle one taller, the last of a size the portal did not
    // give.
    const std::vector<PointerTracker::Monitor> monitors{
        {0, 0, 1280, 800}, {1280, 0, 1920, 1080}, {3200, 0, 0, 0}};
    const auto none = std::nullopt;
    const std::vector<Case> cases = {
        {"nothing said yet", {}, none},
        {"only frames without a cursor", {{0, none}, {1, none}}, none},
        {"a place on the left monitor", {{0, {{5, 7}}}}, {{5, 7}}},
        {"a place on the right monitor is offset by its place", {{1, {{10, 20}}}}, {{1290, 20}}},
        {"the left one then says it has none", {{1, {{10, 20}}}, {0, none}}, {{1290, 20}}},
        {"the holder says it has none: its last place stays",
         {{1, {{10, 20}}}, {1, none}, {0, none}},
         {{1290, 20}}},
        {"a place off its own monitor overwrites nothing",
         {{1, {{10, 20}}}, {0, {{1290, 20}}}, {0, {{-4, 3}}}, {0, {{1280, 5}}}, {0, {{5, 800}}}},
         {{1290, 20}}},
        {"the monitor left repeats its last place",
         {{0, {{100, 100}}}, {1, {{10, 20}}}, {0, {{100, 100}}}},
         {{1290, 20}}},
        {"the pointer back on the left at a new place",
         {{0, {{100, 100}}}, {1, {{10, 20}}}, {0, {{50, 60}}}},
         {{50, 60}}},
        {"back on the left at the same place, after the left one said none",
         {{0, {{100, 100}}}, {1, {{10, 20}}}, {0, none}, {0, {{100, 100}}}},
         {{100, 100}}},
        {"the holder repeating itself keeps its place",
         {{0, {{100, 100}}}, {1, {{10, 20}}}, {1, {{10, 20}}}, {0, {{100, 100}}}},
         {{1290, 20}}},
        {"with no holder, a repeated place is the best there is",
         {{0, {{100, 100}}}, {1, {{10, 20}}}, {1, none}, {0, {{100, 100}}}},
         {{100, 100}}},
        {"the taller monitor's lower part is on it", {{1, {{1919, 1079}}}}, {{3199, 1079}}},
        {"a monitor of unknown size bounds nothing", {{2, {{5000, 3000}}}}, {{8200, 3000}}},
        {"a stream the session does not have", {{3, {{1, 1}}}}, none},
    };
    for (const Case& c : cases) {
        PointerTracker tracker(monitors);
        for (const Frame& frame : c.frames) {
            frame.at ? tracker.cursorAt(frame.stream, frame.at->first, frame.at->second)
                     : tracker.noCursor(frame.stream);
        }
        const std::optional<POINT> got = tracker.position();
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.what;
        if (got) {
            EXPECT_EQ(std::pair(got->x, got->y), *c.expected) << c.what;
        }
    }
}

}  // namespace
}  // namespace morvane::wayland
