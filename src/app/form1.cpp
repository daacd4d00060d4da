#include "app/form1.h"

#include "clicker/click_tick.h"
#include "clicker/key_filter.h"
#include "clicker/target_capture.h"

namespace morvane {

void Form1::load() { ops_.setTimerInterval(TimerId::Timer2, kHotkeyPollIntervalMs); }

void Form1::command1Click() {
    if (!unloaded_) {
        startCapture(ops_);
        capturing_ = true;
    }
}

void Form1::command3Click() { runAction(); }

std::int16_t Form1::text2KeyPress(std::int16_t keyAscii) {
    return filterIntervalKey(keyAscii, ops_.text2());
}

void Form1::timerTick(TimerId timer) {
    if (unloaded_) {
        return;
    }
    switch (timer) {
    case TimerId::Timer1:
        captureTick(ops_, cursorPos, targetX, targetY);
        break;
    case TimerId::Timer2:
        pollHotkeys(ops_, *this);
        break;
    case TimerId::Timer3:
        clickTick(ops_, targetX, targetY);
        break;
    }
}

void Form1::unload() {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    ops_.unload();
}

void Form1::stopCapture(std::optional<POINT> pressedAt) {
    morvane::stopCapture(ops_);
    // The capture ticks between the press and this poll wrote where the pointer went after it.
    if (capturing_ && pressedAt) {
        takePoint(ops_, *pressedAt, cursorPos, targetX, targetY);
    }
    capturing_ = false;
}

void Form1::runAction() { run_.run(ops_, unloaded_); }

}  // namespace morvane
