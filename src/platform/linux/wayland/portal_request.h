#pragma once

#include <QDBusConnection>
#include <QDBusError>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <functional>

namespace morvane::wayland {

// How a portal call or a whole session attempt ended, for the words the window shows.
enum class Outcome { Granted, NoPortal, Refused, Failed, NoPointer, Closed };

// The one reading of a portal's response code: 0 granted, 1 the user said no, 2 anything else.
[[nodiscard]] Outcome responseOutcome(uint code);
// The outcome of a call the bus refused: no portal (or not this interface) on the bus, or a
// failure of the portal's own.
[[nodiscard]] Outcome errorOutcome(const QDBusError& error);

// One portal method that answers through a Request object. It subscribes to the Response on
// the request's path before the call leaves, so that a fast answer cannot be lost; it hears the
// answer once, then deletes itself, and so it does on an error; deleted with its parent first,
// it hears nothing. cancel() asks the portal to drop the request (Request.Close).
class PortalRequest final : public QObject {
    Q_OBJECT

public:
    using Done = std::function<void(Outcome, const QVariantMap& results, const QString& error)>;

    // Calls `interface`.`method` of the desktop portal with `args` and `options` (to which the
    // handle token is added); `token` must be unique among this connection's requests.
    static PortalRequest* send(const QDBusConnection& bus, const QString& interface,
                               const QString& method, QVariantList args, QVariantMap options,
                               const QString& token, QObject* parent, Done done);

    // Sends Request.Close without waiting for it, and deletes the request unheard. The pending
    // call, for a caller that wants to see it leave.
    QDBusPendingCall cancel();

    PortalRequest(const PortalRequest&) = delete;
    PortalRequest& operator=(const PortalRequest&) = delete;
    PortalRequest(PortalRequest&&) = delete;
    PortalRequest& operator=(PortalRequest&&) = delete;
    ~PortalRequest() override;

private:
    PortalRequest(QDBusConnection bus, QString path, QObject* parent, Done done);
    Q_SLOT void response(uint code, const QVariantMap& results);
    void finish(Outcome outcome, const QVariantMap& results, const QString& error);

    QDBusConnection bus_;
    QString path_;
    Done done_;
};

}  // namespace morvane::wayland
