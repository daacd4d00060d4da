#include "platform/linux/wayland/portal_input.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <utility>

#include <unistd.h>

#include "platform/linux/wayland/farewell.h"
#include "platform/linux/wayland/global_shortcuts.h"
#include "platform/linux/wayland/shortcut_keys.h"

namespace morvane::wayland {

namespace {

// How long the way out waits for the desktop to take its last calls: the program must end
// within half a second of F12 even when a service does not answer.
constexpr std::chrono::milliseconds kFarewellLimit{250};
// How long a desktop may take to bind the keys before the window says that it is asking.
constexpr std::chrono::milliseconds kAskingAfter{1500};

// The window's X server (Xwayland) numbers its outputs XWAYLAND0, 1, ... as the compositor
// announced them; Qt lists the primary screen first, so they are put back in that order.
std::vector<QRect> desktopScreens() {
    QList<QScreen*> screens = QGuiApplication::screens();
    std::sort(screens.begin(), screens.end(), [](const QScreen* a, const QScreen* b) {
        return std::pair(a->name().size(), a->name()) < std::pair(b->name().size(), b->name());
    });
    std::vector<QRect> rects;
    for (const QScreen* screen : screens) {
        rects.push_back(screen->geometry());
    }
    return rects;
}

}  // namespace

PortalInput::PortalInput() = default;

PortalInput::~PortalInput() = default;

void PortalInput::start(const qt::InputContext& context) {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    session_ = std::make_unique<PortalSession>(
        bus, QString::fromStdString(context.configDir) + QStringLiteral("/portal-restore-token"),
        desktopScreens);
    report_ = [report = context.report](const QString& text) { report(text.toStdString()); };
    // The keys the window receives count too: where the desktop has no global shortcuts for
    // us, they are the only way out of a run.
    QCoreApplication::instance()->installEventFilter(this);
    session_->onClosed([this] {
        std::fputs("morvane: the desktop ended the remote control session\n", stderr);
        // Ended as F12 ends it: the next poll sees the key and unloads the form.
        latch_.press(kVkF12);
        latch_.release(kVkF12);
    });
    // The portal must know the program by its app id before anything else is asked of it.
    registerApp(bus, this, [this, bus](bool registered) {
        session_->start([this](Outcome outcome, const QString& detail) {
            sessionFailed_ = outcome != Outcome::Granted;
            started(outcome, detail);
        });
        // Asked after the session, so that a desktop with no portal says that first: where the
        // program cannot click at all, which keys it has does not matter.
        bindKeys(bus, registered);
    });
}

void PortalInput::bindKeys(const QDBusConnection& bus, bool registered) {
    const auto key = [this](int vk, bool down) { down ? latch_.press(vk) : latch_.release(vk); };
    const auto answered = [this](const QStringList& missing) {
        if (!missing.isEmpty() && !sessionFailed_) {
            report_(QStringLiteral(
                        "这个桌面没有为本程序提供全局快捷键 %1：只有本程序的窗口在前面时，"
                        "按这些键才有用。点击运行时，可用桌面上结束远程控制（或停止共享）的按钮"
                        "停止点击并退出本程序。")
                        .arg(missing.join(QStringLiteral("、"))));
        }
    };
    const auto fromKdeService = [this, bus, key, answered] {
        hotkeys_ = std::make_unique<KdeShortcuts>(bus, key);
        hotkeys_->bind(answered);
    };
    // A portal that knows the program's app id binds the keys itself (xdg-desktop-portal 1.18
    // and later); an older one binds nothing for a program without one, and there KDE's own
    // shortcut service gives them.
    if (registered) {
        releaseLeftoverKeys(bus);
        portalKeys_ = std::make_unique<GlobalShortcuts>(bus, key);
        portalKeys_->bind(
            [this, answered, fromKdeService](Outcome outcome, const QStringList& missing) {
                keysAnswered_ = true;
                if (outcome != Outcome::NoPortal) {
                    answered(missing);
                    return;
                }
                fromKdeService();
            });
        // A desktop that asks the user first (GNOME opens a dialog listing the keys) answers
        // only when the user has: meanwhile the window says what the question is for.
        QTimer::singleShot(kAskingAfter, this, [this] {
            if (!keysAnswered_) {
                report_(QStringLiteral(
                    "桌面在询问是否允许本程序使用全局快捷键 F7、F10、F12：请选择“添加”。"
                    "这样本程序的窗口不在前面时，这些键也有用：F7 选定点击位置，F10 运行，F12 "
                    "停止点击并退出。"));
            }
        });
        return;
    }
    fromKdeService();
}

QString PortalInput::explain(Outcome outcome, const QString& detail) {
    switch (outcome) {
    case Outcome::Granted:
        return {};
    case Outcome::NoPortal:
        return QStringLiteral(
            "找不到桌面的远程控制服务（xdg-desktop-portal），在这个 Wayland "
            "桌面上无法点击和取点。请安装 xdg-desktop-portal 和桌面对应的"
            "后端（KDE：xdg-desktop-portal-kde，GNOME：xdg-desktop-portal-gnome），"
            "然后重新打开本程序。");
    case Outcome::Refused:
        return QStringLiteral(
            "远程控制的请求被拒绝了，本程序无法点击和取点。请重新打开本程序，"
            "在桌面询问时选择“允许”。");
    case Outcome::NoPointer:
        return QStringLiteral(
            "桌面没有允许本程序控制鼠标，无法点击。请重新打开本程序，在桌面"
            "询问时打开“允许远程交互”再选择“共享”。");
    case Outcome::Closed:
    case Outcome::Failed:
        break;
    }
    return QStringLiteral(
               "桌面没能开始远程控制（%1），本程序无法点击和取点。请重新打开本程序；"
               "如果还不行，请重新登录桌面。")
        .arg(detail);
}

void PortalInput::started(Outcome outcome, const QString& detail) {
    if (outcome != Outcome::Granted) {
        std::fprintf(stderr, "morvane: remote control session: %s\n",
                     detail.toLocal8Bit().constData());
        report_(explain(outcome, detail));
        return;
    }
    session_->openPipeWireRemote([this](const QDBusUnixFileDescriptor& fd, const QString& why) {
        std::vector<CursorStream::Source> sources;
        for (const Stream& stream : session_->streams()) {
            sources.push_back({stream.node, stream.rect.x(), stream.rect.y(), stream.rect.width(),
                               stream.rect.height()});
        }
        std::string error = why.toStdString();
        if (fd.isValid()) {
            // The stream owns the descriptor it is handed; QDBusUnixFileDescriptor closes its own.
            cursor_ = CursorStream::open(::dup(fd.fileDescriptor()), sources, error);
        }
        if (!cursor_) {
            std::fprintf(stderr, "morvane: cursor stream: %s\n", error.c_str());
            report_(
                QStringLiteral("桌面没有提供鼠标位置（%1）：取点时坐标不会跟着鼠标变化，点击仍然"
                               "可用。")
                    .arg(QString::fromStdString(error)));
        }
    });
}

void PortalInput::stop() {
    if (!session_) {
        return;
    }
    Farewell farewell;
    session_->close(farewell);
    if (portalKeys_) {
        portalKeys_->close(farewell);
    }
    if (hotkeys_) {
        hotkeys_->release(farewell);
    }
    farewell.wait(kFarewellLimit);
}

bool PortalInput::cursorPos(POINT& point) {
    if (cursor_ && cursor_->position(last_)) {
        point = last_;
        return true;
    }
    point = last_;
    return false;
}

bool PortalInput::moveCursor(std::int32_t x, std::int32_t y) {
    return session_ && session_->moveTo(x, y);
}

void PortalInput::mouseEvent(std::uint32_t flags) {
    if (!session_) {
        return;
    }
    if ((flags & kMouseLeftDown) != 0) {
        session_->button(true);
    }
    if ((flags & kMouseLeftUp) != 0) {
        session_->button(false);
    }
}

std::int16_t PortalInput::asyncKeyState(std::int32_t vk) {
    const std::array<int, 1> keys{vk};
    return latch_.query(keys);
}

bool PortalInput::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        const auto* key = dynamic_cast<QKeyEvent*>(event);
        const ShortcutKey* hotkey = key != nullptr ? shortcutForQtKey(key->key()) : nullptr;
        // A key passes the filter once for each object it is offered to; pressing a key that is
        // already down changes nothing.
        if (hotkey != nullptr && !key->isAutoRepeat()) {
            event->type() == QEvent::KeyPress ? latch_.press(hotkey->vk)
                                              : latch_.release(hotkey->vk);
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace morvane::wayland
