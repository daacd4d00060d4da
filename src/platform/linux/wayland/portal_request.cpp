#include "platform/linux/wayland/portal_request.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <utility>

#include "platform/linux/wayland/portal_names.h"

namespace morvane::wayland {

namespace {

const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");

}  // namespace

Outcome responseOutcome(uint code) {
    switch (code) {
    case 0:
        return Outcome::Granted;
    case 1:
        return Outcome::Refused;
    default:
        return Outcome::Failed;
    }
}

Outcome errorOutcome(const QDBusError& error) {
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownObject:
        return Outcome::NoPortal;
    default:
        return Outcome::Failed;
    }
}

PortalRequest::PortalRequest(QDBusConnection bus, QString path, QObject* parent, Done done)
    : QObject(parent), bus_(std::move(bus)), path_(std::move(path)), done_(std::move(done)) {}

PortalRequest::~PortalRequest() {
    bus_.disconnect(QString(), path_, kRequestInterface, QStringLiteral("Response"), this,
                    SLOT(response(uint, QVariantMap)));
}

PortalRequest* PortalRequest::send(const QDBusConnection& bus, const QString& interface,
                                   const QString& method, QVariantList args, QVariantMap options,
                                   const QString& token, QObject* parent, Done done) {
    // The path the portal will give the request: the caller's unique name without its colon,
    // dots as underscores, then the token.
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    auto* request = new PortalRequest(
        bus, QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token),
        parent, std::move(done));
    // NOTE: subscribed by the path alone, which names this connection and this request: with the
    // portal's name Qt would first ask the bus who owns it, with a call that waits.
    request->bus_.connect(QString(), request->path_, kRequestInterface, QStringLiteral("Response"),
                          request, SLOT(response(uint, QVariantMap)));
    options.insert(QStringLiteral("handle_token"), token);
    args.append(options);
    QDBusMessage call =
        QDBusMessage::createMethodCall(kPortalService, kPortalPath, interface, method);
    call.setArguments(args);
    auto* watcher = new QDBusPendingCallWatcher(request->bus_.asyncCall(call), request);
    connect(watcher, &QDBusPendingCallWatcher::finished, request,
            [request, method](QDBusPendingCallWatcher* answered) {
                answered->deleteLater();
                if (answered->isError()) {
                    request->finish(errorOutcome(answered->error()), {},
                                    method + QStringLiteral(": ") + answered->error().message());
                }
            });
    return request;
}

void PortalRequest::response(uint code, const QVariantMap& results) {
    finish(responseOutcome(code), results, {});
}

void PortalRequest::finish(Outcome outcome, const QVariantMap& results, const QString& error) {
    // Heard once: the answer may run code that deletes the parent, and with it this request.
    Done done = std::exchange(done_, nullptr);
    deleteLater();
    if (done) {
        done(outcome, results, error);
    }
}

QDBusPendingCall PortalRequest::cancel() {
    done_ = nullptr;
    deleteLater();
    return bus_.asyncCall(QDBusMessage::createMethodCall(kPortalService, path_, kRequestInterface,
                                                         QStringLiteral("Close")));
}

}  // namespace morvane::wayland
