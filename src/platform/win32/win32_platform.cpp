#include "platform/win32/win32_platform.h"

#include <windows.h>

#include <array>

#include "platform/win32/wide.h"

namespace morvane::win32 {

std::int32_t readCursorPos(BOOL(WINAPI* getCursorPos)(LPPOINT), POINT& point) {
    ::POINT p{point.x, point.y};
    const BOOL ok = getCursorPos(&p);
    if (ok != FALSE) {
        point.x = p.x;
        point.y = p.y;
    }
    return ok;
}

std::int32_t Win32Platform::GetCursorPos(POINT& point) {
    return readCursorPos(&::GetCursorPos, point);
}

std::int32_t Win32Platform::SetCursorPos(std::int32_t x, std::int32_t y) {
    return ::SetCursorPos(x, y);
}

void Win32Platform::mouse_event(std::uint32_t flags, std::uint32_t dx, std::uint32_t dy,
                                std::uint32_t data, std::uint32_t extraInfo) {
    api_.mouseEvent(primaryButtonFlags(api_, flags), dx, dy, data, extraInfo);
}

std::int16_t Win32Platform::GetAsyncKeyState(std::int32_t vk) {
    // The raw key events say what happened even when another program took the system's
    // "pressed since" bit first; the system's answer stays for whatever raw input missed (Wine
    // delivers it only while one of its own windows has the focus).
    const std::array<int, 1> key{vk};
    const std::int16_t raw = window_.keys().query(key);
    return static_cast<std::int16_t>(raw | api_.getAsyncKeyState(vk));
}

std::optional<POINT> Win32Platform::keyPressPoint(std::int32_t vk) {
    return window_.keys().pressPoint(vk);
}

void Win32Platform::setTimerEnabled(TimerId timer, bool enabled) {
    ticks_.pump().setEnabled(timer, enabled);
}

bool Win32Platform::setTimerInterval(TimerId timer, std::int64_t milliseconds) {
    return ticks_.pump().setInterval(timer, milliseconds);
}

void Win32Platform::setLabel1Caption(std::string_view text) {
    window_.setText(ControlId::Label1, wide(text));
}

std::string Win32Platform::text2() { return utf8(window_.text(ControlId::Text2)); }

void Win32Platform::messageBox(std::string_view prompt) { window_.messageBox(wide(prompt)); }

void Win32Platform::minimize() { window_.minimize(); }

void Win32Platform::unload() {
    ticks_.pump().destroyAll();
    window_.destroy();
}

}  // namespace morvane::win32
