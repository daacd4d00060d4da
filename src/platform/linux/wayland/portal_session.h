#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QRect>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <vector>

namespace morvane::wayland {

// One monitor as the session shares it: the PipeWire node that carries its cursor, and where it
// sits on the desktop.
struct Stream {
    quint32 node = 0;
    QRect rect;
    bool placed = false;  // the portal gave the position
};

// Where each monitor sits when the portal does not say (xdg-desktop-portal-kde 5.27 gives only
// the size): the desktop's screens, `screens`, in the order their outputs were announced, which
// is the order the portal lists its streams in. Left as they are when the portal gave any
// position, or when the counts differ.
void placeStreams(std::vector<Stream>& streams, const std::vector<QRect>& screens);

// How a session attempt ended, for the words the window shows.
enum class Outcome { Started, NoPortal, Refused, Failed, NoPointer, Closed };

// The RemoteDesktop portal session with the monitors' ScreenCast attached: consent once, then
// pointer events sent without waiting for any reply.
class PortalSession final : public QObject {
    Q_OBJECT

public:
    // `tokenFile` keeps the portal's restore token where the interface is new enough to give one;
    // `screens` gives the desktop's screens for placeStreams.
    PortalSession(QDBusConnection bus, QString tokenFile,
                  std::function<std::vector<QRect>()> screens);

    // CreateSession, SelectDevices, SelectSources, Start; `done` hears how it went once.
    void start(std::function<void(Outcome, const QString& detail)> done);
    // Ended by the desktop or the user after a successful start.
    void onClosed(std::function<void()> closed) { closed_ = std::move(closed); }

    [[nodiscard]] bool active() const { return active_; }
    [[nodiscard]] const std::vector<Stream>& streams() const { return streams_; }
    // The PipeWire connection that carries the streams; invalid on failure.
    [[nodiscard]] QDBusUnixFileDescriptor openPipeWireRemote();

    // A move to (x, y) on the desktop and a left click there. Only queued on the bus: at one
    // click a millisecond, waiting for each reply would halve the rate.
    bool moveTo(int x, int y);
    void button(bool pressed);

private:
    Q_SLOT void response(uint code, const QVariantMap& results);
    Q_SLOT void sessionClosed();

    using Reply = std::function<void(uint code, const QVariantMap& results)>;
    // Calls `method`, its Response subscribed to before the call leaves, so that a fast answer
    // cannot be lost.
    void request(const QString& interface, const QString& method, QVariantList args,
                 QVariantMap options, Reply reply);
    [[nodiscard]] uint property(const QString& interface, const QString& name) const;
    void createSession();
    void selectDevices();
    void selectSources();
    void startSession();
    void finish(Outcome outcome, const QString& detail);
    void send(const QString& method, const QVariantList& args);

    QDBusConnection bus_;
    QString tokenFile_;
    std::function<std::vector<QRect>()> screens_;
    QString session_;
    QString pendingPath_;
    Reply pending_;
    std::function<void(Outcome, const QString&)> done_;
    std::function<void()> closed_;
    std::vector<Stream> streams_;
    uint remoteVersion_ = 0;
    int requests_ = 0;
    bool active_ = false;
};

}  // namespace morvane::wayland
