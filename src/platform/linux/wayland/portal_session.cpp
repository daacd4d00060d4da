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
#include <cstdio>
#include <utility>

#include "platform/linux/wayland/farewell.h"
#include "platform/linux/wayland/portal_names.h"

namespace morvane::wayland {

namespace {

const QString kRemote = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString kCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");

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
    : bus_(std::move(bus)),
      tokenFile_(std::move(tokenFile)),
      screens_(std::move(screens)),
      portalWatcher_(kPortalService, bus_, QDBusServiceWatcher::WatchForUnregistration) {
    connect(&portalWatcher_, &QDBusServiceWatcher::serviceUnregistered, this,
            &PortalSession::portalGone);
}

PortalSession::~PortalSession() {
    if (!session_.isEmpty()) {
        bus_.disconnect(QString(), session_, kSessionInterface, QStringLiteral("Closed"), this,
                        SLOT(sessionClosed()));
    }
}

void PortalSession::readProperty(const QString& interface, const QString& name,
                                 std::function<void(uint)> read) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kPortalService, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << interface << name;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [read = std::move(read)](QDBusPendingCallWatcher* answered) {
                answered->deleteLater();
                const QDBusMessage reply = answered->reply();
                read(reply.arguments().isEmpty()
                         ? 0
                         : reply.arguments().first().value<QDBusVariant>().variant().toUInt());
            });
}

void PortalSession::request(const QString& interface, const QString& method, QVariantList args,
                            QVariantMap options, Next next) {
    pending_ =
        PortalRequest::send(bus_, interface, method, std::move(args), std::move(options),
                            QStringLiteral("morvane%1").arg(++requests_), this,
                            [this, method, next = std::move(next)](
                                Outcome outcome, const QVariantMap& results, const QString& error) {
                                if (outcome != Outcome::Granted) {
                                    finish(outcome, error.isEmpty() ? method : error);
                                    return;
                                }
                                next(results);
                            });
}

void PortalSession::start(std::function<void(Outcome, const QString&)> done) {
    done_ = std::move(done);
    // The bus may have to start the portal first, which takes a second or two.
    readProperty(kRemote, QStringLiteral("version"), [this](uint version) {
        remoteVersion_ = version;
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
            [this](const QVariantMap& results) {
                session_ = results.value(QStringLiteral("session_handle")).toString();
                bus_.connect(QString(), session_, kSessionInterface, QStringLiteral("Closed"), this,
                             SLOT(sessionClosed()));
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
            [this](const QVariantMap&) {
                readProperty(kCast, QStringLiteral("AvailableCursorModes"),
                             [this](uint modes) { selectSources(modes); });
            });
}

void PortalSession::selectSources(uint cursorModes) {
    QVariantMap options{{QStringLiteral("types"), kSourceMonitor},
                        {QStringLiteral("multiple"), true}};
    // Without the cursor as metadata there is no way to read where the pointer is; the clicks
    // still work, so the session goes ahead and 取点 stays where it was.
    if ((cursorModes & kCursorMetadata) != 0) {
        options.insert(QStringLiteral("cursor_mode"), kCursorMetadata);
    }
    request(kCast, QStringLiteral("SelectSources"), {QDBusObjectPath(session_)}, options,
            [this](const QVariantMap&) { startSession(); });
}

void PortalSession::startSession() {
    request(kRemote, QStringLiteral("Start"), {QDBusObjectPath(session_), QString()}, {},
            [this](const QVariantMap& results) {
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
                finish(Outcome::Granted, {});
            });
}

void PortalSession::finish(Outcome outcome, const QString& detail) {
    if (auto done = std::exchange(done_, nullptr)) {
        done(outcome, detail);
    }
}

void PortalSession::sessionClosed() {
    const bool wasActive = std::exchange(active_, false);
    pointerQueue_.clear();
    if (!wasActive) {  // closed while starting: the start failed
        finish(Outcome::Closed, QStringLiteral("closed while starting"));
        return;
    }
    if (closed_) {
        closed_();
    }
}

void PortalSession::portalGone() {
    // Its sessions went with it: as if the desktop had ended ours.
    std::fputs("morvane: the desktop portal left the session bus\n", stderr);
    delete pending_;
    sessionClosed();
}

void PortalSession::close(Farewell& farewell) {
    done_ = nullptr;
    closed_ = nullptr;
    if (pending_) {
        farewell.add(pending_->cancel());
    }
    pointerQueue_.clear();
    if (active_ && buttonDown_) {
        QDBusMessage release = QDBusMessage::createMethodCall(
            kPortalService, kPortalPath, kRemote, QStringLiteral("NotifyPointerButton"));
        release.setArguments({QDBusObjectPath(session_), QVariantMap(), kBtnLeft, 0U});
        farewell.add(bus_.asyncCall(release));
    }
    if (!session_.isEmpty()) {
        farewell.add(bus_.asyncCall(QDBusMessage::createMethodCall(
            kPortalService, session_, kSessionInterface, QStringLiteral("Close"))));
    }
    active_ = false;
}

void PortalSession::openPipeWireRemote(
    std::function<void(const QDBusUnixFileDescriptor&, const QString&)> opened) {
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kCast,
                                                       QStringLiteral("OpenPipeWireRemote"));
    call << QDBusObjectPath(session_) << QVariantMap();
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [opened = std::move(opened)](QDBusPendingCallWatcher* answered) {
                answered->deleteLater();
                const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *answered;
                if (reply.isError()) {
                    opened({}, QStringLiteral("OpenPipeWireRemote: ") + reply.error().message());
                    return;
                }
                opened(reply.value(), {});
            });
}

void PortalSession::queuePointer(const QString& method, const QVariantList& args, bool endsClick) {
    pointerQueue_.push_back({method, args, endsClick});
    sendNext();
}

// NOTE: the portal handles each method call on a thread of its own, so a call sent before the
// one ahead of it was answered can reach the desktop first: a press before the move that was to
// put the pointer on the target (seen on the first click of a run), or a release before its
// press. So a button call goes out only once every call before it has been answered. A move to
// where the last move went changes nothing wherever it lands among the others, so it need not
// wait: the move of the next beat travels with the release of this one.
void PortalSession::sendNext() {
    while (!pointerQueue_.empty()) {
        PointerCall& next = pointerQueue_.front();
        const bool button = next.method == QLatin1String("NotifyPointerButton");
        if (pointerInFlight_ > 0 && (button || next.args != lastMove_)) {
            return;
        }
        QDBusMessage call =
            QDBusMessage::createMethodCall(kPortalService, kPortalPath, kRemote, next.method);
        call.setArguments(next.args);
        if (button) {
            buttonDown_ = !next.endsClick;
        } else {
            lastMove_ = next.args;
        }
        ++pointerInFlight_;
        // A refused call counts as answered: the next one may still go through, and a session
        // that ended says so with its Closed signal.
        if (next.endsClick) {
            bus_.callWithCallback(call, this, SLOT(clickAnswered()), SLOT(clickAnswered()));
        } else {
            bus_.callWithCallback(call, this, SLOT(callAnswered()), SLOT(callAnswered()));
        }
        pointerQueue_.pop_front();
    }
}

void PortalSession::callAnswered() {
    --pointerInFlight_;
    sendNext();
}

void PortalSession::clickAnswered() {
    --clicksPending_;
    callAnswered();
}

bool PortalSession::moveTo(int x, int y) {
    if (!active_ || streams_.empty()) {
        return false;
    }
    if (clicksPending_ >= kMaxClicksPending) {
        beatLost_ = true;
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
    queuePointer(QStringLiteral("NotifyPointerMotionAbsolute"),
                 {QDBusObjectPath(session_), QVariantMap(), target->node, static_cast<double>(sx),
                  static_cast<double>(sy)},
                 false);
    return true;
}

void PortalSession::button(bool pressed) {
    if (!active_) {
        return;
    }
    if (beatLost_) {  // the beat's move was refused: its click goes with it
        beatLost_ = pressed;
        return;
    }
    if (!pressed) {
        ++clicksPending_;
    }
    queuePointer(QStringLiteral("NotifyPointerButton"),
                 {QDBusObjectPath(session_), QVariantMap(), kBtnLeft, pressed ? 1U : 0U}, !pressed);
}

}  // namespace morvane::wayland
