#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/form1.h"
#include "fake/simulated_wake_timer.h"
#include "platform/key_latch.h"
#include "platform/platform_ops.h"
#include "platform/tick_pump.h"

namespace morvane::testing {

// A headless backend with a virtual clock. Time only moves when a test calls advance(); ticks
// reach the attached Form1 through the same tick pump the real backends use, woken by a
// simulated OS timer (a well-behaved one unless a test says otherwise). Every call the core
// makes is recorded.
class FakePlatform final : public PlatformOps {
public:
    struct Click {
        std::int64_t atMs;
        POINT at;
    };
    // Runs while a message box is open; the box is dismissed when it returns. It may advance
    // the clock, press keys or type; ticks go on meanwhile, as on the real backends.
    using BoxScript = std::function<void(FakePlatform&, std::string_view prompt)>;

    FakePlatform();

    // Delivers the load event and shows the window, as the real backends do at start-up.
    void start(Form1& form);

    // Moves the virtual clock forward by `ms`, delivering every tick due on the way.
    void advance(std::int64_t ms);
    [[nodiscard]] std::int64_t nowMs() const { return os_.now() / kNanosPerMilli; }

    // Desktop input.
    void moveMouse(std::int32_t x, std::int32_t y) { cursor_ = {x, y}; }
    // Presses record the virtual cursor, as a backend that sees key events does; with
    // `keyEvents` false the fake is a backend that only polls the keys and knows no press point.
    void keyDown(std::int32_t vk) { keys_.press(vk, cursor_); }
    void keyUp(std::int32_t vk) { keys_.release(vk); }
    void tapKey(std::int32_t vk) {  // down and up between two queries
        keyDown(vk);
        keyUp(vk);
    }
    bool keyEvents = true;
    // Types `chars` into Text2 through the form's key filter, as the text box would.
    void type(std::u16string_view chars);
    void setText2(std::string text) { text2_ = std::move(text); }  // paste, Delete key, ...
    // GetCursorPos fails, as on a locked screen or a secure desktop, leaving the point alone.
    bool cursorReadFails = false;

    // Message boxes: scripts are used in order, one per box; with none left a box is
    // dismissed at once.
    void onNextBox(BoxScript script) { boxScripts_.push_back(std::move(script)); }
    std::function<void()> onMinimize;       // runs inside minimize()
    std::function<void()> onLabel1Caption;  // runs inside setLabel1Caption()

    // What the core did.
    std::vector<std::string> calls;  // every operation, in order, as text
    std::vector<Click> clicks;       // cursor position at each mouse_event
    std::vector<std::string> boxes;  // message box prompts, in order shown
    std::string label1 = "坐标点：";
    int label1Writes = 0;
    int minimizeCount = 0;
    bool unloadedFlag = false;

    [[nodiscard]] const std::string& text2Value() const { return text2_; }
    [[nodiscard]] const TimerBank& timers() const { return pump_.bank(); }

    // PlatformOps
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
    Form1* form_ = nullptr;
    SimulatedWakeTimer os_{SimulatedWakeTimer::Delivery::Posted};
    TickPump pump_;
    POINT cursor_{};
    KeyLatch keys_;
    std::string text2_;
    std::deque<BoxScript> boxScripts_;
};

}  // namespace morvane::testing
