#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvane {

// The platform's point record: screen pixels, origin at the top-left of the primary screen.
struct POINT {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

enum class TimerId : std::uint8_t { Timer1, Timer2, Timer3 };
inline constexpr int kTimerCount = 3;

// Virtual-key codes of the three hotkeys.
inline constexpr std::int32_t kVkF7 = 0x76;
inline constexpr std::int32_t kVkF10 = 0x79;
inline constexpr std::int32_t kVkF12 = 0x7B;

// mouse_event flags: left button down plus left button up, one complete click.
inline constexpr std::uint32_t kMouseLeftDown = 0x0002;
inline constexpr std::uint32_t kMouseLeftUp = 0x0004;
inline constexpr std::uint32_t kMouseLeftClick = kMouseLeftDown | kMouseLeftUp;

// Largest timer interval a backend accepts, in milliseconds.
inline constexpr std::int64_t kMaxTimerIntervalMs = 0x7FFFFFFF;

// Everything the program does to the desktop goes through this table. Backends translate each
// operation to their platform; the core never sees a platform header. Texts are UTF-8.
//
// The four user32 operations keep the Windows names and argument shapes so that the values the
// program passes (key codes, flags, coordinates) are the same on every backend.
class PlatformOps {
public:
    PlatformOps() = default;
    PlatformOps(const PlatformOps&) = delete;
    PlatformOps& operator=(const PlatformOps&) = delete;
    PlatformOps(PlatformOps&&) = delete;
    PlatformOps& operator=(PlatformOps&&) = delete;
    virtual ~PlatformOps() = default;

    // Fills `point` with the cursor position; returns nonzero on success (callers ignore it).
    virtual std::int32_t GetCursorPos(POINT& point) = 0;  // NOLINT(readability-identifier-naming)
    // Moves the cursor; returns nonzero on success (callers ignore it).
    virtual std::int32_t SetCursorPos(std::int32_t x,  // NOLINT(readability-identifier-naming)
                                      std::int32_t y) = 0;
    // Synthesises mouse input; flags 6 is one left click at the current cursor position.
    virtual void mouse_event(std::uint32_t flags, std::uint32_t dx,  // NOLINT
                             std::uint32_t dy, std::uint32_t data, std::uint32_t extraInfo) = 0;
    // Nonzero when the key is down now or was pressed since the previous query of that key,
    // whichever window has the keyboard focus.
    virtual std::int16_t GetAsyncKeyState(std::int32_t vk) = 0;  // NOLINT
    // Where the cursor was when `vk` went down, for the press that the last GetAsyncKeyState(vk)
    // reported as new; empty when it reported none, and on a backend that only polls the keys
    // and so never sees the moment of a press.
    virtual std::optional<POINT> keyPressPoint(std::int32_t /*vk*/) { return std::nullopt; }

    // Timers: a timer ticks while it is enabled and its interval is above 0. A new interval on an
    // enabled timer restarts its count. A value outside 0..kMaxTimerIntervalMs is rejected
    // (returns false) and leaves the interval unchanged. Ticks arrive one at a time on the
    // window's thread, also while a message box is open, and never pile up.
    virtual void setTimerEnabled(TimerId timer, bool enabled) = 0;
    virtual bool setTimerInterval(TimerId timer, std::int64_t milliseconds) = 0;

    // Writes the caption of Label1 (the only label the program changes).
    virtual void setLabel1Caption(std::string_view text) = 0;
    // Reads the text of the interval box Text2.
    virtual std::string text2() = 0;
    // Modal message box owned by Form1: one OK button, no icon, the application's title.
    // Returns when the user dismisses it, or when Form1 is unloaded while it is open.
    virtual void messageBox(std::string_view prompt) = 0;
    // Sets Form1's window state to minimized.
    virtual void minimize() = 0;
    // Destroys Form1 with its controls and timers and ends the program once control returns
    // to the event loop. Called at most once.
    virtual void unload() = 0;
};

}  // namespace morvane
