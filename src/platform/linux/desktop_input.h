#pragma once

#include <cstdint>
#include <optional>

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
    // Where the pointer was when `vk` went down, for the press the last asyncKeyState(vk)
    // reported as new; empty where keys are only polled.
    virtual std::optional<POINT> keyPressPoint(std::int32_t /*vk*/) { return std::nullopt; }
    // A descriptor that turns readable when key events wait, and the call that reads them, so
    // that a press is seen as it happens rather than at the next poll; -1 where there is none.
    [[nodiscard]] virtual int eventFd() const { return -1; }
    virtual void readEvents() {}
    // Asks the window manager to activate the top-level X window `window` as a pager does, on
    // the user's behalf; false where this input cannot, and the toolkit must ask instead.
    virtual bool activate(std::uint64_t /*window*/) { return false; }
    // Sends whatever the operations above left queued. Called after every timer tick, so that
    // a move and the click after it leave in one write.
    virtual void flush() {}
};

}  // namespace morvane::x11
