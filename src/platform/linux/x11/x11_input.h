#pragma once

#include <memory>
#include <string>

#include "platform/linux/desktop_input.h"

// Xlib's Display, kept out of the Qt side's includes; the name is Xlib's.
struct _XDisplay;  // NOLINT(bugprone-reserved-identifier)

namespace morvane::x11 {

// Every fake click changes the pointer-button part of the XKB state, and by default the server
// reports that to each client that follows the keyboard state: for the window's own connection
// that is a reader-thread wake-up and a main-loop wake-up per click, doubling the program's work
// at 1 ms. Qt only needs the modifiers and the group, so the button part is deselected on
// `windowDisplay` (the window toolkit's connection). False when it has no XKB.
bool ignoreXkbPointerButtons(_XDisplay* windowDisplay);

// The user32 operations on X11, over a connection of its own so that Qt's event handling never
// sees the raw key stream and the fake input is flushed on our schedule.
//
// Pointer: XQueryPointer on the root window, XTest motion and button events. Keys: XInput2 raw
// key events selected on the root window, which arrive whichever window has the focus and need
// no grab; they are read as they come (eventFd, readEvents) so that each press is stamped with
// where the pointer was then. Without XInput2 the key map is read at each query instead, which
// only sees keys held at that moment.
class X11Input final : public qt::DesktopInput {
public:
    // Null with `error` set when the display cannot be opened or has no XTest.
    static std::unique_ptr<X11Input> open(const char* displayName, std::string& error);

    X11Input(const X11Input&) = delete;
    X11Input& operator=(const X11Input&) = delete;
    X11Input(X11Input&&) = delete;
    X11Input& operator=(X11Input&&) = delete;
    ~X11Input() override;

    bool cursorPos(POINT& point) override;
    bool moveCursor(std::int32_t x, std::int32_t y) override;
    void mouseEvent(std::uint32_t flags) override;
    std::int16_t asyncKeyState(std::int32_t vk) override;
    std::optional<POINT> keyPressPoint(std::int32_t vk) override;
    [[nodiscard]] int eventFd() const override;
    void readEvents() override;
    bool activate(std::uint64_t window) override;
    void flush() override;

    [[nodiscard]] bool hasRawKeys() const;

private:
    struct Impl;
    explicit X11Input(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace morvane::x11
