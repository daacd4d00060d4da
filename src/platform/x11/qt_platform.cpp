#include "platform/x11/qt_platform.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <algorithm>
#include <utility>

namespace morvane::x11 {

QtPlatform::QtPlatform(DesktopInput& input, std::function<void()> quit)
    : input_(input),
      timers_([this](TimerId id) {
          if (form_ != nullptr) {
              form_->timerTick(id);
          }
          input_.flush();
      }),
      quit_(quit ? std::move(quit) : [] { QCoreApplication::exit(0); }) {}

void QtPlatform::attach(FormWindow& window, Form1& form) {
    window_ = &window;
    form_ = &form;
}

std::int32_t QtPlatform::GetCursorPos(POINT& point) { return input_.cursorPos(point) ? 1 : 0; }

std::int32_t QtPlatform::SetCursorPos(std::int32_t x, std::int32_t y) {
    return input_.moveCursor(x, y) ? 1 : 0;
}

void QtPlatform::mouse_event(std::uint32_t flags, std::uint32_t /*dx*/,  // NOLINT
                             std::uint32_t /*dy*/, std::uint32_t /*data*/,
                             std::uint32_t /*extraInfo*/) {
    input_.mouseEvent(flags);
}

std::int16_t QtPlatform::GetAsyncKeyState(std::int32_t vk) { return input_.asyncKeyState(vk); }

void QtPlatform::setTimerEnabled(TimerId timer, bool enabled) {
    timers_.setEnabled(timer, enabled);
}

bool QtPlatform::setTimerInterval(TimerId timer, std::int64_t milliseconds) {
    return timers_.setInterval(timer, milliseconds);
}

void QtPlatform::setLabel1Caption(std::string_view text) {
    if (window_) {
        window_->label1()->setText(
            QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
}

std::string QtPlatform::text2() {
    return window_ ? window_->text2()->text().toUtf8().toStdString() : std::string();
}

void QtPlatform::messageBox(std::string_view prompt) {
    if (unloaded_) {
        return;
    }
    QMessageBox box(window_);
    box.setWindowTitle(QString::fromLatin1(kMessageBoxTitle));
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromUtf8(prompt.data(), static_cast<qsizetype>(prompt.size())));
    box.setIcon(QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setWindowModality(Qt::WindowModal);
    openBoxes_.push_back(&box);
    box.exec();
    openBoxes_.erase(std::remove(openBoxes_.begin(), openBoxes_.end(), &box), openBoxes_.end());
}

void QtPlatform::minimize() {
    if (window_) {
        window_->showMinimized();
    }
}

void QtPlatform::unload() {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    timers_.destroyAll();
    // A box still open returns to the run that opened it, which sees the form unloaded and
    // stops; the widgets stay allocated until main returns, so nothing it touches is gone.
    for (QMessageBox* box : openBoxes_) {
        box->done(QMessageBox::Ok);
    }
    if (window_) {
        window_->hide();
    }
    quit_();
}

}  // namespace morvane::x11
