#include "fake/fake_platform.h"

#include <algorithm>
#include <array>

#include "platform/utf.h"

namespace morvane::testing {

namespace {

std::string timerName(TimerId timer) {
    return "Timer" + std::to_string(static_cast<int>(timer) + 1);
}

}  // namespace

FakePlatform::FakePlatform()
    : pump_(os_, [this](TimerId id) {
          if (form_ != nullptr) {
              form_->timerTick(id);
          }
      }) {
    os_.attach(pump_);
}

void FakePlatform::start(Form1& form) {
    form_ = &form;
    form.load();
    calls.emplace_back("show");
}

void FakePlatform::advance(std::int64_t ms) { os_.runUntil(os_.now() + ms * kNanosPerMilli); }

void FakePlatform::type(std::u16string_view chars) {
    for (const char16_t ch : chars) {
        const std::int16_t code = form_->text2KeyPress(static_cast<std::int16_t>(ch));
        std::u16string text = toUtf16(text2_);
        if (code == 8 && !text.empty()) {
            text.pop_back();
        } else if (code != 0 && code != 8) {
            text.push_back(static_cast<char16_t>(code));
        }
        text2_ = toUtf8(text);
    }
}

std::int32_t FakePlatform::GetCursorPos(POINT& point) {
    calls.emplace_back("GetCursorPos");
    if (cursorReadFails) {
        return 0;
    }
    point = cursor_;
    return 1;
}

std::int32_t FakePlatform::SetCursorPos(std::int32_t x, std::int32_t y) {
    calls.push_back("SetCursorPos(" + std::to_string(x) + "," + std::to_string(y) + ")");
    cursor_ = {x, y};
    return 1;
}

void FakePlatform::mouse_event(std::uint32_t flags, std::uint32_t dx, std::uint32_t dy,
                               std::uint32_t data, std::uint32_t extraInfo) {
    calls.push_back("mouse_event(" + std::to_string(flags) + "," + std::to_string(dx) + "," +
                    std::to_string(dy) + "," + std::to_string(data) + "," +
                    std::to_string(extraInfo) + ")");
    if (flags == kMouseLeftClick) {
        clicks.push_back({nowMs(), cursor_});
    }
}

std::int16_t FakePlatform::GetAsyncKeyState(std::int32_t vk) {
    calls.push_back("GetAsyncKeyState(" + std::to_string(vk) + ")");
    return keys_.query(std::array{static_cast<int>(vk)});
}

std::optional<POINT> FakePlatform::keyPressPoint(std::int32_t vk) {
    return keyEvents ? keys_.pressPoint(vk) : std::nullopt;
}

void FakePlatform::setTimerEnabled(TimerId timer, bool enabled) {
    calls.push_back(timerName(timer) + ".enabled=" + (enabled ? "true" : "false"));
    if (!unloadedFlag) {
        pump_.setEnabled(timer, enabled);
    }
}

bool FakePlatform::setTimerInterval(TimerId timer, std::int64_t milliseconds) {
    calls.push_back(timerName(timer) + ".interval=" + std::to_string(milliseconds));
    return !unloadedFlag && pump_.setInterval(timer, milliseconds);
}

void FakePlatform::setLabel1Caption(std::string_view text) {
    calls.push_back("Label1=" + std::string(text));
    label1 = text;
    ++label1Writes;
    if (onLabel1Caption) {
        onLabel1Caption();
    }
}

std::string FakePlatform::text2() {
    calls.emplace_back("Text2?");
    return text2_;
}

void FakePlatform::messageBox(std::string_view prompt) {
    calls.push_back("messageBox(" + std::string(prompt) + ")");
    boxes.emplace_back(prompt);
    if (boxScripts_.empty()) {
        return;
    }
    BoxScript script = std::move(boxScripts_.front());
    boxScripts_.pop_front();
    script(*this, prompt);
}

void FakePlatform::minimize() {
    calls.emplace_back("minimize");
    ++minimizeCount;
    if (onMinimize) {
        onMinimize();
    }
}

void FakePlatform::unload() {
    calls.emplace_back("unload");
    unloadedFlag = true;
    pump_.destroyAll();
}

}  // namespace morvane::testing
