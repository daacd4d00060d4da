#pragma once

#include <windows.h>

#include "platform/platform_ops.h"
#include "platform/win32/form_window.h"
#include "platform/win32/system_api.h"
#include "platform/win32/tick_source.h"

namespace morvane::win32 {

// ::GetCursorPos (or a stand-in with its signature) into the core's point, which is written
// only when the call succeeds: a failed read (a locked screen, a secure desktop in front) must
// not turn the click target into the top-left corner.
std::int32_t readCursorPos(BOOL(WINAPI* getCursorPos)(LPPOINT), POINT& point);

class Win32Platform final : public PlatformOps {
public:
    Win32Platform(FormWindow& window, TickSource& ticks, const SystemApi& api)
        : window_(window), ticks_(ticks), api_(api) {}

    std::int32_t GetCursorPos(POINT& point) override;
    std::int32_t SetCursorPos(std::int32_t x, std::int32_t y) override;
    void mouse_event(std::uint32_t flags, std::uint32_t dx, std::uint32_t dy, std::uint32_t data,
                     std::uint32_t extraInfo) override;
    std::int16_t GetAsyncKeyState(std::int32_t vk) override;
    std::optional<POINT> keyPressPoint(std::int32_t vk) override;

    void setTimerEnabled(TimerId timer, bool enabled) override;
    bool setTimerInterval(TimerId timer, std::int64_t milliseconds) override;

    void setLabel1Caption(std::string_view text) override;
    std::string text2() override;
    void messageBox(std::string_view prompt) override;
    void minimize() override;
    void unload() override;

private:
    FormWindow& window_;
    TickSource& ticks_;
    const SystemApi& api_;
};

}  // namespace morvane::win32
