#include "platform/linux/wayland/pointer_tracker.h"

#include <utility>

namespace morvane::wayland {

PointerTracker::PointerTracker(std::vector<Monitor> monitors)
    : monitors_(std::move(monitors)), said_(monitors_.size()) {}

void PointerTracker::cursorAt(std::size_t stream, int x, int y) {
    if (stream >= monitors_.size()) {
        return;
    }
    const Monitor& monitor = monitors_[stream];
    if (x < 0 || y < 0 || (monitor.width > 0 && x >= monitor.width) ||
        (monitor.height > 0 && y >= monitor.height)) {
        noCursor(stream);  // a place off its monitor: the pointer is on another one
        return;
    }
    const std::optional<Place> before = std::exchange(said_[stream], Place{x, y});
    // A stream whose monitor the pointer has left may go on repeating the last place it had
    // there; only a change in what it says shows the pointer back on it.
    if (holder_ && holder_ != stream && before && before->x == x && before->y == y) {
        return;
    }
    holder_ = stream;
    position_ = POINT{monitor.x + x, monitor.y + y};
}

void PointerTracker::noCursor(std::size_t stream) {
    if (stream >= monitors_.size()) {
        return;
    }
    said_[stream].reset();
    // The last place stays the pointer's until another monitor shows it.
    if (holder_ == stream) {
        holder_.reset();
    }
}

}  // namespace morvane::wayland
