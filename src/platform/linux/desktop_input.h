#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/platform_ops.h"

namespace morvane::qt {

// What a desktop input is given once the window is up.
struct InputContext {
    std::string configDir;  // where the program may keep what it must remember (UTF-8)
    // Says something to the user in the window (UTF-8): how a desktop answered, what to do.
    std::function<void(const std::string&)> report;
};

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

    // Once the window is shown: a desktop that must be asked first is asked now, without
    // waiting for its answer.
    virtual void start(const InputContext& /*context*/) {}
    // After the event loop has ended: gives back what start() took, waiting for the desktop's
    // answers only briefly.
    virtual void stop() {}

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

}  // namespace morvane::qt
