#include "app/layout.h"

namespace morvane {

const ControlSpec& controlSpec(ControlId id) { return kControls.at(static_cast<std::size_t>(id)); }

TwipRect absoluteRect(ControlId id) {
    const ControlSpec& row = controlSpec(id);
    TwipRect rect = row.rect;
    if (row.container) {
        const TwipRect outer = absoluteRect(*row.container);
        rect.left += outer.left;
        rect.top += outer.top;
    }
    return rect;
}

bool takesFocus(ControlKind kind) {
    return kind == ControlKind::PushButton || kind == ControlKind::TextBox;
}

int twipsToPixels(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    const long long half = kTwipsPerInch / 2;
    const long long rounded =
        scaled >= 0 ? (scaled + half) / kTwipsPerInch : -((-scaled + half) / kTwipsPerInch);
    return static_cast<int>(rounded);
}

}  // namespace morvane
