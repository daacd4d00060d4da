#pragma once

#include <QPointer>
#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <vector>

#include "app/form1.h"
#include "platform/linux/desktop_input.h"
#include "platform/linux/form_window.h"
#include "platform/linux/timer_source.h"
#include "platform/platform_ops.h"

class QCoreApplication;
class QLocale;
class QMessageBox;
class QString;
class QTranslator;

namespace morvane::qt {

class BoxFocus;

// Loads Qt's own translations (the boxes' buttons, the text box's context menu) for `locale`;
// returns the installed translator, owned by `app`, or null where Qt has none for it.
QTranslator* installQtTranslations(QCoreApplication& app, const QLocale& locale);

// How wide a message box must be for the window manager to show `title` whole.
[[nodiscard]] int messageBoxMinimumWidth(const QString& title);

// PlatformOps for the Qt front end: desktop input goes to `input`, everything else to the
// window. Must outlive the window and Form1 and stay alive until the event loop has returned.
class QtPlatform final : public PlatformOps {
public:
    // `quit` ends the application's event loop; by default QCoreApplication::exit(0).
    explicit QtPlatform(DesktopInput& input, std::function<void()> quit = {});

    // Connects the window and the form; timer ticks reach the form from then on.
    void attach(FormWindow& window, Form1& form);

    std::int32_t GetCursorPos(POINT& point) override;
    std::int32_t SetCursorPos(std::int32_t x, std::int32_t y) override;
    void mouse_event(std::uint32_t flags, std::uint32_t dx, std::uint32_t dy,  // NOLINT
                     std::uint32_t data, std::uint32_t extraInfo) override;
    std::int16_t GetAsyncKeyState(std::int32_t vk) override;
    std::optional<POINT> keyPressPoint(std::int32_t vk) override;

    void setTimerEnabled(TimerId timer, bool enabled) override;
    bool setTimerInterval(TimerId timer, std::int64_t milliseconds) override;

    void setLabel1Caption(std::string_view text) override;
    std::string text2() override;
    void messageBox(std::string_view prompt) override;
    void minimize() override;
    void unload() override;

    [[nodiscard]] const TimerSource& timers() const { return timers_; }
    [[nodiscard]] bool unloaded() const { return unloaded_; }
    // The message boxes open right now, innermost last.
    [[nodiscard]] const std::vector<QMessageBox*>& openBoxes() const { return openBoxes_; }

private:
    DesktopInput& input_;
    // Key events are read as they come, also inside a message box's nested loop.
    std::unique_ptr<QSocketNotifier> keyEvents_;
    TimerSource timers_;
    QPointer<FormWindow> window_;
    Form1* form_ = nullptr;
    std::function<void()> quit_;
    std::vector<QMessageBox*> openBoxes_;
    std::vector<BoxFocus*> boxFocus_;
    bool unloaded_ = false;
};

}  // namespace morvane::qt
