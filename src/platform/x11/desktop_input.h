#pragma once

#include <cstdint>

#include "platform/platform_ops.h"

namespace morvane::x11 {

// The four user32 operations, kept apart from the Qt side so that the window code can be
// exercised without an X server.
class DesktopInput {
public:
    DesktopInput() = default;
    DesktopInput(const DesktopInput&) = delete;
    DesktopInput& operator=(const DesktopInput&) = delete;
    DesktopInput(DesktopInput&&) = delete;
    DesktopInput& operator=(DesktopInput&&) = delete;
    virtual ~DesktopInput() = default;

    virtual bool cursorPos(POINT& point) = 0;
    virtual bool moveCursor(std::int32_t x, std::int32_t y) = 0;
    virtual void mouseEvent(std::uint32_t flags) = 0;
    virtual std::int16_t asyncKeyState(std::int32_t vk) = 0;
    // Sends whatever the operations above left queued. Called after every timer tick, so that
    // a move and the click after it leave in one write.
    virtual void flush() {}
};

}  // namespace morvane::x11
