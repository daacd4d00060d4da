#pragma once

#include <cstdint>

#include "clicker/run_action.h"
#include "hotkeys/hotkey_poller.h"
#include "platform/platform_ops.h"

namespace morvane {

// The main window's behaviour. A backend builds the widgets from the layout table, then feeds
// every event of the window to the matching method here; all effects go back out through
// PlatformOps. Command2, the frames and the labels have no handlers.
// NOLINTNEXTLINE(cppcoreguidelines-virtual-class-destructor): final, never deleted via a base
class Form1 final : private HotkeyActions {
public:
    explicit Form1(PlatformOps& ops) : ops_(ops) {}
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;
    Form1(Form1&&) = delete;
    Form1& operator=(Form1&&) = delete;
    ~Form1() = default;

    // Form1 load: start the hotkey poll.
    void load();
    // Command1 click: start following the cursor.
    void command1Click();
    // Command3 click: the Run action.
    void command3Click();
    // Text2 key press: returns the character code to insert, 0 to drop it.
    [[nodiscard]] std::int16_t text2KeyPress(std::int16_t keyAscii);
    // A tick of Timer1 (capture), Timer2 (hotkey poll) or Timer3 (click).
    void timerTick(TimerId timer);
    // F12, or the platform closing the window: destroys the window and ends the program.
    // Safe to call more than once; events after it are ignored.
    void unload() override;

    [[nodiscard]] bool unloaded() const override { return unloaded_; }

    POINT cursorPos{};
    std::int16_t targetX = 0;
    std::int16_t targetY = 0;

private:
    void stopCapture(std::optional<POINT> pressedAt) override;
    void runAction() override;

    PlatformOps& ops_;
    RunAction run_;
    bool capturing_ = false;
    bool unloaded_ = false;
};

}  // namespace morvane
