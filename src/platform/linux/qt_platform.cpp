#include "platform/linux/qt_platform.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QSpacerItem>
#include <QTimer>
#include <QTranslator>
#include <QWindow>
#include <algorithm>
#include <utility>

namespace morvane::qt {

QTranslator* installQtTranslations(QCoreApplication& app, const QLocale& locale) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

// A box is usually opened from the background: F10 pressed in another program, Form1
// minimized, clicks going on. It asks for the keyboard once it is on the screen, and while it is
// open it takes the keyboard back from a window that one of our clicks made the window manager
// activate (click to focus); a window the user activates by other means keeps it.
class BoxFocus final : public QObject {
public:
    BoxFocus(QWidget& box, DesktopInput& input) : box_(box), input_(input) {
        box.winId();  // the native window, to be watched for its first exposure
        box.installEventFilter(this);
        box.windowHandle()->installEventFilter(this);
    }

    void clicked() { clickedSinceActive_ = true; }

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Expose:
            // Exposed: the window manager has mapped it and will take a request for it.
            if (!exposed_ && watched == box_.windowHandle() && box_.windowHandle()->isExposed()) {
                exposed_ = true;
                activate();
                // HACK: openbox does not grant a request that comes with the first exposure of
                // a box whose owner is minimized (seen: the keyboard stayed with the window in
                // front); one a little later it grants.
                for (const int ms : {150, 400}) {
                    QTimer::singleShot(ms, this, [this] {
                        if (!box_.isActiveWindow()) {
                            activate();
                        }
                    });
                }
            }
            break;
        case QEvent::WindowActivate:
            clickedSinceActive_ = false;
            break;
        case QEvent::WindowDeactivate:
            if (clickedSinceActive_ && watched == &box_) {
                activate();
            }
            break;
        default:
            break;
        }
        return false;
    }

private:
    void activate() {
        if (!input_.activate(box_.winId())) {
            box_.activateWindow();
        }
    }

    QWidget& box_;
    DesktopInput& input_;
    bool exposed_ = false;
    bool clickedSinceActive_ = false;
};

int messageBoxMinimumWidth(const QString& title) {
    // The window manager draws the title in its own font, which the desktop's title font
    // stands for; beside it go the window menu and up to three buttons, each about as wide as
    // the title bar is high, and the frame's margins.
    const QFontMetrics metrics(QFontDatabase::systemFont(QFontDatabase::TitleFont));
    const int button = metrics.height() + 10;
    return metrics.horizontalAdvance(title) + 4 * button + 2 * button;
}

QtPlatform::QtPlatform(DesktopInput& input, std::function<void()> quit)
    : input_(input),
      timers_([this](TimerId id) {
          if (form_ != nullptr) {
              form_->timerTick(id);
          }
          input_.flush();
      }),
      quit_(quit ? std::move(quit) : [] { QCoreApplication::exit(0); }) {
    if (const int fd = input_.eventFd(); fd >= 0) {
        keyEvents_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(keyEvents_.get(), &QSocketNotifier::activated,
                         [this] { input_.readEvents(); });
    }
}

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
    for (BoxFocus* focus : boxFocus_) {
        focus->clicked();
    }
}

std::int16_t QtPlatform::GetAsyncKeyState(std::int32_t vk) { return input_.asyncKeyState(vk); }

std::optional<POINT> QtPlatform::keyPressPoint(std::int32_t vk) { return input_.keyPressPoint(vk); }

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
    // A box with one answer: a close button, but nothing to minimize or maximize.
    box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowCloseButtonHint);
    const QString title =
        QString::fromUtf8(kMessageBoxTitle.data(), static_cast<qsizetype>(kMessageBoxTitle.size()));
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromUtf8(prompt.data(), static_cast<qsizetype>(prompt.size())));
    box.setIcon(QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setWindowModality(Qt::WindowModal);
    // QMessageBox sizes itself from its layout, so the width its title needs goes in as a spacer.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(messageBoxMinimumWidth(title), 0, QSizePolicy::Minimum,
                                      QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    BoxFocus focus(box, input_);
    openBoxes_.push_back(&box);
    boxFocus_.push_back(&focus);
    box.exec();
    openBoxes_.erase(std::remove(openBoxes_.begin(), openBoxes_.end(), &box), openBoxes_.end());
    boxFocus_.erase(std::remove(boxFocus_.begin(), boxFocus_.end(), &focus), boxFocus_.end());
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

}  // namespace morvane::qt
