#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "platform/platform_ops.h"

namespace morvane::wayland {

// Where the pointer is on a desktop of several monitors, from what each monitor's screen-cast
// stream says of the cursor with its frames. Every stream keeps sending frames whether the
// pointer is on its monitor or not, and what it says of a cursor that has left differs between
// desktops (none, a place off the monitor, the last place on it again), so the position is
// taken only from the stream whose monitor the pointer is on.
class PointerTracker {
public:
    // A monitor's place on the desktop and its size, as the portal gives them; a size of 0 is
    // one the portal did not give, which bounds nothing.
    struct Monitor {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };

    // One monitor per stream, in the streams' order.
    explicit PointerTracker(std::vector<Monitor> monitors);

    // Stream `stream`'s newest frame carries valid cursor metadata at (x, y) on its monitor.
    void cursorAt(std::size_t stream, int x, int y);
    // Stream `stream`'s newest frame carries no valid cursor.
    void noCursor(std::size_t stream);

    // The pointer's place on the desktop; empty until a stream has shown it on its monitor.
    [[nodiscard]] std::optional<POINT> position() const { return position_; }

private:
    struct Place {
        int x = 0;
        int y = 0;
    };

    std::vector<Monitor> monitors_;
    // Where each stream last showed the cursor on its monitor; empty where its newest frame
    // showed none there.
    std::vector<std::optional<Place>> said_;
    std::optional<std::size_t> holder_;  // the stream whose monitor has the pointer
    std::optional<POINT> position_;
};

}  // namespace morvane::wayland
