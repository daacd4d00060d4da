#pragma once

#include <set>
#include <vector>

#include "app/form1.h"
#include "platform/linux/desktop_input.h"
#include "platform/linux/form_window.h"
#include "platform/linux/qt_platform.h"

namespace morvane::qt {

// Keys are held by the test; every call is recorded.
class FakeInput final : public DesktopInput {
public:
    bool cursorPos(POINT& point) override {
        point = cursor;
        return true;
    }
    bool moveCursor(std::int32_t x, std::int32_t y) override {
        cursor = {x, y};
        moves.push_back(cursor);
        return true;
    }
    void mouseEvent(std::uint32_t flags) override { mouseFlags.push_back(flags); }
    std::int16_t asyncKeyState(std::int32_t vk) override { return held.count(vk) != 0 ? 1 : 0; }
    void flush() override { flushedAfter.push_back(mouseFlags.size()); }

    POINT cursor{};
    std::set<std::int32_t> held;
    std::vector<POINT> moves;
    std::vector<std::uint32_t> mouseFlags;
    std::vector<std::size_t> flushedAfter;  // how many mouse events had been made at each flush
};

// The Linux front end whole on Qt's offscreen platform, with the desktop input faked.
struct TestApp {
    explicit TestApp(int dpi = 96) : window(form, dpi) { ops.attach(window, form); }

    FakeInput input;
    int quits = 0;  // how often the program asked the event loop to end
    QtPlatform ops{input, [this] { ++quits; }};
    Form1 form{ops};
    FormWindow window;
};

}  // namespace morvane::qt
