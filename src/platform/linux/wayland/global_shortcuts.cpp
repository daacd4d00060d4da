#include "platform/linux/wayland/global_shortcuts.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <utility>

#include "platform/linux/wayland/farewell.h"
#include "platform/linux/wayland/portal_names.h"
#include "platform/linux/wayland/shortcut_keys.h"

namespace morvane::wayland {

namespace {

const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

}  // namespace

QDBusArgument& operator<<(QDBusArgument& arg, const PortalShortcut& shortcut) {
    arg.beginStructure();
    arg << shortcut.id << shortcut.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, PortalShortcut& shortcut) {
    arg.beginStructure();
    arg >> shortcut.id >> shortcut.properties;
    arg.endStructure();
    return arg;
}

void registerApp(const QDBusConnection& bus, QObject* context, std::function<void(bool)> done) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        kPortalService, kPortalPath, QStringLiteral("org.freedesktop.host.portal.Registry"),
        QStringLiteral("Register"));
    call << QString::fromLatin1(kAppId) << QVariantMap();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [done = std::move(done)](QDBusPendingCallWatcher* answered) {
                         answered->deleteLater();
                         done(!answered->isError());
                     });
}

GlobalShortcuts::GlobalShortcuts(QDBusConnection bus, std::function<void(int, bool)> key)
    : bus_(std::move(bus)), key_(std::move(key)) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    // NOTE: subscribed without the portal's name, which Qt would resolve with a call that
    // waits; the session in each signal says whether it is ours.
    for (const QString& name : {QStringLiteral("Activated"), QStringLiteral("Deactivated")}) {
        bus_.connect(QString(), kPortalPath, kInterface, name, this,
                     SLOT(shortcutSignal(QDBusMessage)));
    }
}

GlobalShortcuts::~GlobalShortcuts() {
    for (const QString& name : {QStringLiteral("Activated"), QStringLiteral("Deactivated")}) {
        bus_.disconnect(QString(), kPortalPath, kInterface, name, this,
                        SLOT(shortcutSignal(QDBusMessage)));
    }
}

void GlobalShortcuts::bind(std::function<void(Outcome, const QStringList&)> answered) {
    answered_ = std::move(answered);
    QDBusMessage get = QDBusMessage::createMethodCall(
        kPortalService, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kInterface << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusMessage reply = call->reply();
                const uint version =
                    reply.arguments().isEmpty()
                        ? 0
                        : reply.arguments().first().value<QDBusVariant>().variant().toUInt();
                if (version == 0) {
                    finish(Outcome::NoPortal, {});
                    return;
                }
                createSession();
            });
}

void GlobalShortcuts::createSession() {
    pending_ = PortalRequest::send(
        bus_, kInterface, QStringLiteral("CreateSession"), {},
        {{QStringLiteral("session_handle_token"), QStringLiteral("morvanekeys")}},
        QStringLiteral("morvanekeys%1").arg(++requests_), this,
        [this](Outcome outcome, const QVariantMap& results, const QString&) {
            if (outcome != Outcome::Granted) {
                finish(outcome, {});
                return;
            }
            session_ = results.value(QStringLiteral("session_handle")).toString();
            bindKeys();
        });
}

void GlobalShortcuts::bindKeys() {
    QList<PortalShortcut> shortcuts;
    for (const ShortcutKey& key : kShortcutKeys) {
        shortcuts.push_back(
            {QString::fromLatin1(key.id),
             {{QStringLiteral("description"), QString::fromUtf8(key.description)},
              {QStringLiteral("preferred_trigger"), QString::fromLatin1(key.name)}}});
    }
    pending_ = PortalRequest::send(
        bus_, kInterface, QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts), QString()},
        {}, QStringLiteral("morvanekeys%1").arg(++requests_), this,
        [this](Outcome outcome, const QVariantMap& results, const QString&) {
            QStringList bound;
            for (const PortalShortcut& shortcut :
                 qdbus_cast<QList<PortalShortcut>>(results.value(QStringLiteral("shortcuts")))) {
                bound << shortcut.id;
            }
            // NOTE: GNOME 48 answers code 2 once the user has added the keys, with the keys in
            // the answer (and signals ShortcutsChanged): keys the answer lists are bound,
            // whatever its code.
            finish(bound.isEmpty() ? outcome : Outcome::Granted, bound);
        });
}

void GlobalShortcuts::finish(Outcome outcome, const QStringList& bound) {
    QStringList missing;
    for (const ShortcutKey& key : kShortcutKeys) {
        if (outcome != Outcome::Granted || !bound.contains(QString::fromLatin1(key.id))) {
            missing << QString::fromLatin1(key.name);
        }
    }
    if (auto answered = std::exchange(answered_, nullptr)) {
        answered(outcome, missing);
    }
}

void GlobalShortcuts::close(Farewell& farewell) {
    answered_ = nullptr;
    if (pending_) {
        farewell.add(pending_->cancel());
    }
    if (!session_.isEmpty()) {
        farewell.add(bus_.asyncCall(QDBusMessage::createMethodCall(
            kPortalService, session_, QStringLiteral("org.freedesktop.portal.Session"),
            QStringLiteral("Close"))));
        session_.clear();
    }
}

void GlobalShortcuts::shortcutSignal(const QDBusMessage& message) {
    const QVariantList args = message.arguments();
    // Another copy's session, or none of ours yet, is not for us.
    if (args.size() < 2 || args.at(0).value<QDBusObjectPath>().path() != session_) {
        return;
    }
    const QString id = args.at(1).toString();
    for (const ShortcutKey& key : kShortcutKeys) {
        if (id == QLatin1String(key.id)) {
            key_(key.vk, message.member() == QLatin1String("Activated"));
        }
    }
}

}  // namespace morvane::wayland
