#include "platform/linux/wayland/kde_shortcuts.h"

#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QList>
#include <array>
#include <cstddef>
#include <cstdio>
#include <limits>
#include <memory>
#include <utility>

#include <unistd.h>

#include "platform/linux/wayland/farewell.h"
#include "platform/linux/wayland/shortcut_keys.h"

namespace morvane::wayland {

namespace {

const QString kService = QStringLiteral("org.kde.kglobalaccel");
const QString kComponent = QStringLiteral("morvane");
const QString kComponentInterface = QStringLiteral("org.kde.kglobalaccel.Component");
const QString kBus = QStringLiteral("org.freedesktop.DBus");

// libdbus's "never": a service that answers late still gives the keys, and they are taken
// whenever its answer comes. The way out does not wait on these.
constexpr int kNoTimeout = std::numeric_limits<int>::max();
constexpr uint kDoNotQueue = 4;  // RequestName: fail rather than wait for the name
constexpr uint kSetPresent = 2;
constexpr uint kNoAutoloading = 4;

QDBusMessage busCall(const QString& method, const QVariantList& args) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(kBus, QStringLiteral("/org/freedesktop/DBus"), kBus, method);
    message.setArguments(args);
    return message;
}

QDBusMessage serviceCall(const QString& method, const QVariantList& args) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        kService, QStringLiteral("/kglobalaccel"), QStringLiteral("org.kde.KGlobalAccel"), method);
    message.setArguments(args);
    // A service that has gone is not started again: on another desktop, KDE's would take the
    // keys and never deliver them.
    message.setAutoStartService(false);
    return message;
}

QStringList actionId(const ShortcutKey& key) {
    // component, action, and the names the desktop's settings show for them
    return {kComponent, QString::fromLatin1(key.id), QStringLiteral("Morvane"),
            QString::fromUtf8(key.description)};
}

QStringList allNames() {
    QStringList names;
    for (const ShortcutKey& key : kShortcutKeys) {
        names << QString::fromLatin1(key.name);
    }
    return names;
}

}  // namespace

KdeShortcuts::KdeShortcuts(QDBusConnection bus, std::function<void(int, bool)> key, QString copy)
    : bus_(std::move(bus)),
      key_(std::move(key)),
      copy_(copy.isEmpty()
                ? QStringLiteral("%1.p%2").arg(QLatin1String(kCopyNamespace)).arg(::getpid())
                : std::move(copy)) {
    qDBusRegisterMetaType<QList<int>>();
}

KdeShortcuts::~KdeShortcuts() = default;

void KdeShortcuts::bind(std::function<void(const QStringList&)> answered) {
    // Our own name for the other copies to hear us leave, and theirs for us to hear them.
    await(bus_.asyncCall(busCall(QStringLiteral("RequestName"), {copy_, kDoNotQueue})),
          [this](const QDBusMessage& reply) {
              if (reply.type() != QDBusMessage::ReplyMessage) {
                  std::fprintf(stderr, "morvane: bus name %s: %s\n", qPrintable(copy_),
                               qPrintable(reply.errorMessage()));
              }
          });
    auto* copies = new QDBusServiceWatcher(QLatin1String(kCopyNamespace) + QLatin1Char('*'), bus_,
                                           QDBusServiceWatcher::WatchForUnregistration, this);
    connect(copies, &QDBusServiceWatcher::serviceUnregistered, this, &KdeShortcuts::copyLeft);
    // Only a running service: on another desktop, starting KDE's would take the keys and never
    // deliver them. The owner's unique name tells its signals from anyone else's.
    await(bus_.asyncCall(busCall(QStringLiteral("GetNameOwner"), {kService})),
          [this, answered = std::move(answered)](const QDBusMessage& reply) {
              if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                  answered(allNames());
                  return;
              }
              owner_ = reply.arguments().first().toString();
              // Listening before the keys are asked for, a press cannot come before the match.
              listen();
              registerKeys(answered);
          });
}

void KdeShortcuts::registerKeys(std::function<void(const QStringList&)> answered) {
    struct Round {
        std::function<void(const QStringList&)> answered;  // the first round's only
        std::array<int, kShortcutKeys.size()> steps{};     // doRegister and setShortcut done
        int waiting = 0;
    };
    auto round = std::make_shared<Round>();
    round->answered = std::move(answered);
    const auto done = [this, round] {
        if (--round->waiting > 0 || released_) {
            return;
        }
        QStringList missing;
        for (std::size_t i = 0; i < kShortcutKeys.size(); ++i) {
            if (round->steps.at(i) != 2) {
                missing << QString::fromLatin1(kShortcutKeys.at(i).name);
            }
        }
        if (round->answered) {
            round->answered(missing);
        } else if (!missing.isEmpty()) {
            std::fprintf(stderr, "morvane: the desktop did not give %s back\n",
                         qPrintable(missing.join(QStringLiteral(", "))));
        }
    };
    asked_ = true;
    // Sent one after the other without waiting: the service takes them in the order sent.
    for (std::size_t i = 0; i < kShortcutKeys.size(); ++i) {
        const ShortcutKey& key = kShortcutKeys.at(i);
        round->waiting += 2;
        send(QStringLiteral("doRegister"), {actionId(key)},
             [round, i, done](const QDBusMessage& reply) {
                 round->steps.at(i) += reply.type() == QDBusMessage::ReplyMessage ? 1 : 0;
                 done();
             });
        send(QStringLiteral("setShortcut"),
             {actionId(key), QVariant::fromValue(QList<int>{key.qtKey}),
              kSetPresent | kNoAutoloading},
             [round, i, qtKey = key.qtKey, done](const QDBusMessage& reply) {
                 // The keys actually given: another program's shortcut keeps its key.
                 const bool given =
                     reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
                     qdbus_cast<QList<int>>(reply.arguments().first()).contains(qtKey);
                 round->steps.at(i) += given ? 1 : 0;
                 done();
             });
    }
}

void KdeShortcuts::listen() {
    // Our component's presses whatever object the service gives it. No service is named in
    // the match: Qt would look its owner up with a call that waits; the sender is checked
    // against the owner instead.
    const QStringList ours{kComponent};
    bus_.connect(QString(), QString(), kComponentInterface, QStringLiteral("globalShortcutPressed"),
                 ours, QString(), this, SLOT(pressed(QString, QString, qlonglong, QDBusMessage)));
    bus_.connect(QString(), QString(), kComponentInterface,
                 QStringLiteral("globalShortcutReleased"), ours, QString(), this,
                 SLOT(released(QString, QString, qlonglong, QDBusMessage)));
}

void releaseLeftoverKeys(const QDBusConnection& bus) {
    for (const ShortcutKey& key : kShortcutKeys) {
        bus.asyncCall(
            serviceCall(QStringLiteral("unregister"), {kComponent, QString::fromLatin1(key.id)}));
    }
}

void KdeShortcuts::release(Farewell& farewell) {
    released_ = true;
    if (!asked_) {
        return;
    }
    // Each copy gives its keys back, so that none is left held for a program that has gone
    // when all of them end together; a copy still running takes them again on hearing this
    // one leave, which the bus announces only after these calls have reached the service.
    for (const ShortcutKey& key : kShortcutKeys) {
        farewell.add(bus_.asyncCall(
            serviceCall(QStringLiteral("unregister"), {kComponent, QString::fromLatin1(key.id)})));
    }
}

void KdeShortcuts::copyLeft(const QString& name) {
    if (released_ || owner_.isEmpty() || name == copy_) {
        return;
    }
    registerKeys({});
}

void KdeShortcuts::pressed(const QString& component, const QString& action, qlonglong,
                           const QDBusMessage& message) {
    deliver(component, action, message, true);
}

void KdeShortcuts::released(const QString& component, const QString& action, qlonglong,
                            const QDBusMessage& message) {
    deliver(component, action, message, false);
}

void KdeShortcuts::deliver(const QString& component, const QString& action,
                           const QDBusMessage& message, bool down) {
    if (message.service() != owner_ || component != kComponent) {
        return;
    }
    for (const ShortcutKey& key : kShortcutKeys) {
        if (action == QLatin1String(key.id)) {
            key_(key.vk, down);
        }
    }
}

void KdeShortcuts::send(const QString& method, const QVariantList& args,
                        std::function<void(const QDBusMessage&)> then) {
    await(bus_.asyncCall(serviceCall(method, args), kNoTimeout), std::move(then));
}

void KdeShortcuts::await(const QDBusPendingCall& call,
                         std::function<void(const QDBusMessage&)> then) {
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [then = std::move(then)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                then(finished->reply());
            });
}

}  // namespace morvane::wayland
