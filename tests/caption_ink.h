// What both front ends' caption tests demand of the ink each line of a label leaves, drawn
// unclipped on its baseline by the toolkit itself: inside the label, and a blank row at least
// between it and the line above.
#pragma once

#include <algorithm>
#include <string>

namespace morvane::testing {

// Rows [top, bottom) of a line's ink relative to the label, and whether any of it (a row or a
// column) falls outside the label.
struct LineInk {
    int top = 0;
    int bottom = 0;
    bool outside = false;
};

// Why the line does not stand whole, or "" when it does; `floor` is the first row it may ink,
// which it moves on past this line.
inline std::string lineFault(const LineInk& ink, int width, int height, int& floor) {
    std::string fault;
    if (ink.bottom <= ink.top) {
        fault = "draws nothing";
    } else if (ink.outside) {
        fault = "ink rows " + std::to_string(ink.top) + ".." + std::to_string(ink.bottom) +
                " leave the " + std::to_string(width) + "x" + std::to_string(height) + " label";
    } else if (ink.top < floor) {
        fault = "ink row " + std::to_string(ink.top) + " runs into the line above (row " +
                std::to_string(floor - 1) + " must stay blank)";
    }
    floor = std::max(floor, ink.bottom + 1);
    return fault;
}

}  // namespace morvane::testing
