#include "platform/linux/wayland/portal_session.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <utility>

namespace morvane::wayland {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kRemote = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString kCast = QStringLiteral("org.freedesktop.portal.ScreenCast");

// Bits of the portal's enumerations.
constexpr uint kDevicePointer = 2;
constexpr uint kSourceMonitor = 1;
constexpr uint kCursorMetadata = 4;
constexpr uint kPersistUntilRevoked = 2;
constexpr int kBtnLeft = 0x110;  // linux/input-event-codes.h

QPoint readPair(const QVariant& value) {
    int first = 0;
    int second = 0;
    if (value.canConvert<QDBusArgument>()) {
        const auto arg = value.value<QDBusArgument>();
        arg.beginStructure();
        arg >> first >> second;
        arg.endStructure();
    }
    return {first, second};
}

std::vector<Stream> readStreams(const QVariant& value) {
    std::vector<Stream> streams;
    if (!value.canConvert<QDBusArgument>()) {
        return streams;
    }
    const auto arg = value.value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        Stream stream;
        QVariantMap props;
        arg.beginStructure();
        arg >> stream.node >> props;
        arg.endStructure();
        const QPoint size = readPair(props.value(QStringLiteral("size")));
        stream.placed = props.contains(QStringLiteral("position"));
        stream.rect =
            QRect(readPair(props.value(QStringLiteral("position"))), QSize(size.x(), size.y()));
        streams.push_back(stream);
    }
    arg.endArray();
    return streams;
}

}  // namespace

void placeStreams(std::vector<Stream>& streams, const std::vector<QRect>& screens) {
    if (streams.size() != screens.size() ||
        std::any_of(streams.begin(), streams.end(), [](const Stream& s) { return s.placed; })) {
        return;
    }
    for (std::size_t i = 0; i < streams.size(); ++i) {
        streams[i].rect.moveTopLeft(screens[i].topLeft());
    }
}

PortalSession::PortalSession(QDBusConnection bus, QString tokenFile,
                             std::function<std::vector<QRect>()> screens)
    : bus_(std::move(bus)), tokenFile_(std::move(tokenFile)), screens_(std::move(screens)) {}

uint PortalSession::property(const QString& interface, const QString& name) const {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << interface << name;
    const QDBusMessage reply = bus_.call(get, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return 0;
    }
    return reply.arguments().first().value<QDBusVariant>().variant().toUInt();
}

void PortalSession::request(const QString& interface, const QString& method, QVariantList args,
                            QVariantMap options, Reply reply) {
    const QString token = QStringLiteral("morvane%1").arg(++requests_);
    QString sender = bus_.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    pendingPath_ =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    pending_ = std::move(reply);
    bus_.connect(kService, pendingPath_, QStringLiteral("org.freedesktop.portal.Request"),
                 QStringLiteral("Response"), this, SLOT(response(uint, QVariantMap)));
    options.insert(QStringLiteral("handle_token"), token);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, interface, method);
    args.append(options);
    call.setArguments(args);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, method](QDBusPendingCallWatcher* answered) {
                answered->deleteLater();
                const QDBusError error = answered->error();
                if (answered->isError() && pending_) {
                    finish(error.type() == QDBusError::ServiceUnknown ||
                                   error.type() == QDBusError::UnknownInterface ||
                                   error.type() == QDBusError::UnknownMethod
                               ? Outcome::NoPortal
                               : Outcome::Failed,
                           method + QStringLiteral(": ") + error.message());
                }
            });
}

void PortalSession::response(uint code, const QVariantMap& results) {
    bus_.disconnect(kService, pendingPath_, QStringLiteral("org.freedesktop.portal.Request"),
                    QStringLiteral("Response"), this, SLOT(response(uint, QVariantMap)));
    Reply reply = std::exchange(pending_, nullptr);
    if (reply) {
        reply(code, results);
    }
}

void PortalSession::start(std::function<void(Outcome, const QString&)> done) {
    done_ = std::move(done);
    // Asked without blocking: the bus may have to start the portal first, which takes a second
    // or two, and the window must not freeze meanwhile.
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kRemote << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* answered) {
                answered->deleteLater();
                const QDBusMessage reply = answered->reply();
                remoteVersion_ =
                    reply.arguments().isEmpty()
                        ? 0
                        : reply.arguments().first().value<QDBusVariant>().variant().toUInt();
                if (remoteVersion_ == 0) {
                    finish(Outcome::NoPortal, QStringLiteral("no RemoteDesktop interface"));
                    return;
                }
                createSession();
            });
}

void PortalSession::createSession() {
    request(kRemote, QStringLiteral("CreateSession"), {},
            {{QStringLiteral("session_handle_token"), QStringLiteral("morvane")}},
            [this](uint code, const QVariantMap& results) {
                if (code != 0) {
                    finish(code == 1 ? Outcome::Refused : Outcome::Failed,
                           QStringLiteral("CreateSession"));
                    return;
                }
                session_ = results.value(QStringLiteral("session_handle")).toString();
                bus_.connect(kService, session_, QStringLiteral("org.freedesktop.portal.Session"),
                             QStringLiteral("Closed"), this, SLOT(sessionClosed()));
                selectDevices();
            });
}

void PortalSession::selectDevices() {
    QVariantMap options{{QStringLiteral("types"), kDevicePointer}};
    if (remoteVersion_ >= 2) {
        options.insert(QStringLiteral("persist_mode"), kPersistUntilRevoked);
        QFile file(tokenFile_);
        if (file.open(QIODevice::ReadOnly)) {
            const QString token = QString::fromUtf8(file.readAll()).trimmed();
            if (!token.isEmpty()) {
                options.insert(QStringLiteral("restore_token"), token);
            }
        }
    }
    request(kRemote, QStringLiteral("SelectDevices"), {QDBusObjectPath(session_)}, options,
            [this](uint code, const QVariantMap&) {
                if (code != 0) {
                    finish(code == 1 ? Outcome::Refused : Outcome::Failed,
                           QStringLiteral("SelectDevices"));
                    return;
                }
                selectSources();
            });
}

void PortalSession::selectSources() {
    QVariantMap options{{QStringLiteral("types"), kSourceMonitor},
                        {QStringLiteral("multiple"), true}};
    // Without the cursor as metadata there is no way to read where the pointer is; the clicks
    // still work, so the session goes ahead and 取点 stays where it was.
    if ((property(kCast, QStringLiteral("AvailableCursorModes")) & kCursorMetadata) != 0) {
        options.insert(QStringLiteral("cursor_mode"), kCursorMetadata);
    }
    request(kCast, QStringLiteral("SelectSources"), {QDBusObjectPath(session_)}, options,
            [this](uint code, const QVariantMap&) {
                if (code != 0) {
                    finish(code == 1 ? Outcome::Refused : Outcome::Failed,
                           QStringLiteral("SelectSources"));
                    return;
                }
                startSession();
            });
}

void PortalSession::startSession() {
    request(kRemote, QStringLiteral("Start"), {QDBusObjectPath(session_), QString()}, {},
            [this](uint code, const QVariantMap& results) {
                if (code != 0) {
                    finish(code == 1 ? Outcome::Refused : Outcome::Failed, QStringLiteral("Start"));
                    return;
                }
                if ((results.value(QStringLiteral("devices")).toUInt() & kDevicePointer) == 0) {
                    finish(Outcome::NoPointer, QStringLiteral("Start granted no pointer"));
                    return;
                }
                streams_ = readStreams(results.value(QStringLiteral("streams")));
                if (screens_) {
                    placeStreams(streams_, screens_());
                }
                const QString token = results.value(QStringLiteral("restore_token")).toString();
                if (!token.isEmpty()) {
                    QDir().mkpath(QFileInfo(tokenFile_).absolutePath());
                    QSaveFile file(tokenFile_);
                    if (file.open(QIODevice::WriteOnly)) {
                        file.write(token.toUtf8());
                        file.commit();
                    }
                }
                active_ = true;
                finish(Outcome::Started, {});
            });
}

void PortalSession::finish(Outcome outcome, const QString& detail) {
    pending_ = nullptr;
    if (auto done = std::exchange(done_, nullptr)) {
        done(outcome, detail);
    }
}

void PortalSession::sessionClosed() {
    const bool wasActive = std::exchange(active_, false);
    if (!wasActive) {  // closed while starting: the start failed
        finish(Outcome::Closed, QStringLiteral("closed while starting"));
        return;
    }
    if (closed_) {
        closed_();
    }
}

QDBusUnixFileDescriptor PortalSession::openPipeWireRemote() {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kCast,
                                                       QStringLiteral("OpenPipeWireRemote"));
    call << QDBusObjectPath(session_) << QVariantMap();
    const QDBusMessage reply = bus_.call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {};
    }
    return reply.arguments().first().value<QDBusUnixFileDescriptor>();
}

void PortalSession::send(const QString& method, const QVariantList& args) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kRemote, method);
    call.setArguments(args);
    bus_.send(call);
}

bool PortalSession::moveTo(int x, int y) {
    if (!active_ || streams_.empty()) {
        return false;
    }
    // The monitor that holds the point; off every monitor, the nearest point of the first.
    const Stream* target = &streams_.front();
    for (const Stream& stream : streams_) {
        if (stream.rect.contains(x, y)) {
            target = &stream;
            break;
        }
    }
    const QRect& r = target->rect;
    const int sx = std::clamp(x, r.left(), std::max(r.left(), r.right())) - r.left();
    const int sy = std::clamp(y, r.top(), std::max(r.top(), r.bottom())) - r.top();
    send(QStringLiteral("NotifyPointerMotionAbsolute"),
         {QDBusObjectPath(session_), QVariantMap(), target->node, static_cast<double>(sx),
          static_cast<double>(sy)});
    return true;
}

void PortalSession::button(bool pressed) {
    if (active_) {
        send(QStringLiteral("NotifyPointerButton"),
             {QDBusObjectPath(session_), QVariantMap(), kBtnLeft, pressed ? 1U : 0U});
    }
}

}  // namespace morvane::wayland
