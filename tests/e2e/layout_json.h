// The layout table at one DPI, as the end-to-end harness reads it: both recorders print it, so
// the tests find the controls where the program put them without copying the table.
#pragma once

#include <array>
#include <string>

#include "app/layout.h"

namespace morvane::e2e {

// Client-area pixels; edges are converted, not sizes, as the window does it.
inline std::string layoutJson(int dpi) {
    const auto px = [dpi](int twips) { return std::to_string(twipsToPixels(twips, dpi)); };
    const auto extent = [dpi](int start, int length) {
        return std::to_string(twipsToPixels(start + length, dpi) - twipsToPixels(start, dpi));
    };
    constexpr std::array<const char*, 4> kKinds{"frame", "label", "button", "text"};
    std::string json = "{\"dpi\": " + std::to_string(dpi) + ", \"client\": [" +
                       px(kFormClientWidthTwips) + ", " + px(kFormClientHeightTwips) +
                       "], \"controls\": {";
    const char* separator = "";
    for (const ControlSpec& row : kControls) {
        const TwipRect r = absoluteRect(row.id);
        json += std::string(separator) + "\"" + std::string(row.name) + "\": {\"kind\": \"" +
                kKinds.at(static_cast<std::size_t>(row.kind)) + "\", \"rect\": [" + px(r.left) +
                ", " + px(r.top) + ", " + extent(r.left, r.width) + ", " + extent(r.top, r.height) +
                "]}";
        separator = ", ";
    }
    return json + "}}\n";
}

}  // namespace morvane::e2e
