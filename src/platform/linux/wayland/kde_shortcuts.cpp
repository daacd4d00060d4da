#include "platform/linux/wayland/kde_shortcuts.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <array>
#include <utility>

namespace morvane::wayland {

namespace {

const QString kService = QStringLiteral("org.kde.kglobalaccel");
const QString kComponent = QStringLiteral("morvane");
const QString kComponentInterface = QStringLiteral("org.kde.kglobalaccel.Component");

struct Hotkey {
    const char* action;
    int vk;
    int qtKey;
};
constexpr std::array<Hotkey, 3> kHotkeys{{
    {"capture-f7", 0x76, Qt::Key_F7},
    {"run-f10", 0x79, Qt::Key_F10},
    {"quit-f12", 0x7B, Qt::Key_F12},
}};

QDBusMessage call(const QString& method, const QVariantList& args) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        kService, QStringLiteral("/kglobalaccel"), QStringLiteral("org.kde.KGlobalAccel"), method);
    message.setArguments(args);
    return message;
}

QStringList actionId(const Hotkey& key) {
    // component, action, and the names the desktop's settings show for them
    return {kComponent, QString::fromLatin1(key.action), QStringLiteral("Morvane"),
            QString::fromLatin1(key.action)};
}

}  // namespace

KdeShortcuts::KdeShortcuts(QDBusConnection bus, std::function<void(int, bool)> key)
    : bus_(std::move(bus)), key_(std::move(key)) {
    qDBusRegisterMetaType<QList<int>>();
}

KdeShortcuts::~KdeShortcuts() {
    for (const Hotkey& key : kHotkeys) {
        if (bound_.contains(QString::fromLatin1(key.action))) {
            bus_.call(
                call(QStringLiteral("unregister"), {kComponent, QString::fromLatin1(key.action)}),
                QDBus::Block, 2000);
        }
    }
}

QStringList KdeShortcuts::bind() {
    QStringList missing;
    // Only a running service: on another desktop, starting KDE's would take the keys and never
    // deliver them.
    if (!bus_.interface()->isServiceRegistered(kService)) {
        for (const Hotkey& key : kHotkeys) {
            missing << QStringLiteral("F%1").arg(key.qtKey - Qt::Key_F1 + 1);
        }
        return missing;
    }
    constexpr uint kSetPresent = 2;
    constexpr uint kNoAutoloading = 4;
    for (const Hotkey& key : kHotkeys) {
        const QString name = QString::fromLatin1(key.action);
        const QString shown = QStringLiteral("F%1").arg(key.qtKey - Qt::Key_F1 + 1);
        if (bus_.call(call(QStringLiteral("doRegister"), {actionId(key)}), QDBus::Block, 2000)
                .type() != QDBusMessage::ReplyMessage) {
            missing << shown;
            continue;
        }
        const QDBusMessage reply =
            bus_.call(call(QStringLiteral("setShortcut"),
                           {actionId(key), QVariant::fromValue(QList<int>{key.qtKey}),
                            kSetPresent | kNoAutoloading}),
                      QDBus::Block, 2000);
        // The keys actually given: another program's shortcut keeps its key.
        const auto given = reply.arguments().isEmpty()
                               ? QList<int>()
                               : qdbus_cast<QList<int>>(reply.arguments().first());
        if (reply.type() != QDBusMessage::ReplyMessage || !given.contains(key.qtKey)) {
            missing << shown;
            continue;
        }
        bound_ << name;
    }
    if (!bound_.isEmpty()) {
        const QDBusMessage reply =
            bus_.call(call(QStringLiteral("getComponent"), {kComponent}), QDBus::Block, 2000);
        component_ = reply.arguments().isEmpty()
                         ? QString()
                         : qdbus_cast<QDBusObjectPath>(reply.arguments().first()).path();
        bus_.connect(kService, component_, kComponentInterface,
                     QStringLiteral("globalShortcutPressed"), this,
                     SLOT(pressed(QString, QString, qlonglong)));
        bus_.connect(kService, component_, kComponentInterface,
                     QStringLiteral("globalShortcutReleased"), this,
                     SLOT(released(QString, QString, qlonglong)));
    }
    return missing;
}

void KdeShortcuts::pressed(const QString& component, const QString& action, qlonglong) {
    for (const Hotkey& key : kHotkeys) {
        if (component == kComponent && action == QLatin1String(key.action)) {
            key_(key.vk, true);
        }
    }
}

void KdeShortcuts::released(const QString& component, const QString& action, qlonglong) {
    for (const Hotkey& key : kHotkeys) {
        if (component == kComponent && action == QLatin1String(key.action)) {
            key_(key.vk, false);
        }
    }
}

}  // namespace morvane::wayland
