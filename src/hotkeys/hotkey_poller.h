#pragma once

#include <optional>

#include "platform/platform_ops.h"

namespace morvane {

// What the three hotkeys act on.
class HotkeyActions {
public:
    HotkeyActions() = default;
    HotkeyActions(const HotkeyActions&) = delete;
    HotkeyActions& operator=(const HotkeyActions&) = delete;
    HotkeyActions(HotkeyActions&&) = delete;
    HotkeyActions& operator=(HotkeyActions&&) = delete;

    // F7; `pressedAt`: where the pointer was when F7 went down, where the platform knows it.
    virtual void stopCapture(std::optional<POINT> pressedAt) = 0;
    virtual void runAction() = 0;  // F10
    virtual void unload() = 0;     // F12
    [[nodiscard]] virtual bool unloaded() const = 0;

protected:
    ~HotkeyActions() = default;
};

inline constexpr std::int64_t kHotkeyPollIntervalMs = 200;

// One Timer2 tick: query F7, F10 and F12 in that order and act on each one reported.
void pollHotkeys(PlatformOps& ops, HotkeyActions& actions);

}  // namespace morvane
