#pragma once

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusServiceWatcher>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QVariantMap>
#include <deque>
#include <functional>
#include <vector>

#include "platform/linux/wayland/portal_request.h"

namespace morvane::wayland {

class Farewell;

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

// Clicks that may wait for the portal at once; a beat that finds this many is lost, so that a
// portal that stalls never holds a backlog that lands after the program has been told to stop.
inline constexpr int kMaxClicksPending = 4;

// The RemoteDesktop portal session with the monitors' ScreenCast attached: consent once, then
// pointer events. Nothing here waits on the bus: every answer comes back on the event loop.
class PortalSession final : public QObject {
    Q_OBJECT

public:
    // `tokenFile` keeps the portal's restore token where the interface is new enough to give one;
    // `screens` gives the desktop's screens for placeStreams.
    PortalSession(QDBusConnection bus, QString tokenFile,
                  std::function<std::vector<QRect>()> screens);
    PortalSession(const PortalSession&) = delete;
    PortalSession& operator=(const PortalSession&) = delete;
    PortalSession(PortalSession&&) = delete;
    PortalSession& operator=(PortalSession&&) = delete;
    ~PortalSession() override;

    // CreateSession, SelectDevices, SelectSources, Start; `done` hears how it went once.
    void start(std::function<void(Outcome, const QString& detail)> done);
    // Ended by the desktop or the user after a successful start, or the portal gone.
    void onClosed(std::function<void()> closed) { closed_ = std::move(closed); }
    // Ends the session from our side: a request still open is withdrawn, a button still down
    // let go, and the session closed; the calls go into `farewell` unwaited.
    void close(Farewell& farewell);

    [[nodiscard]] bool active() const { return active_; }
    [[nodiscard]] const std::vector<Stream>& streams() const { return streams_; }
    // The PipeWire connection that carries the streams; `opened` hears it, or an invalid one
    // with the reason.
    void openPipeWireRemote(
        std::function<void(const QDBusUnixFileDescriptor&, const QString& error)> opened);

    // A move to (x, y) on the desktop, then a left button press or release there. Each call
    // waits for the one before it to be answered (see sendNext); a move while kMaxClicksPending
    // clicks are unanswered is refused, and the button calls of that beat are dropped with it.
    bool moveTo(int x, int y);
    void button(bool pressed);

private:
    Q_SLOT void sessionClosed();
    // A pointer call answered, or refused; the second the release that ends a click.
    Q_SLOT void callAnswered();
    Q_SLOT void clickAnswered();

    using Next = std::function<void(const QVariantMap& results)>;
    // One step of the start: `next` runs on a granted answer; anything else ends the start.
    void request(const QString& interface, const QString& method, QVariantList args,
                 QVariantMap options, Next next);
    void readProperty(const QString& interface, const QString& name,
                      std::function<void(uint)> read);
    void createSession();
    void selectDevices();
    void selectSources(uint cursorModes);
    void startSession();
    void finish(Outcome outcome, const QString& detail);
    void portalGone();
    void queuePointer(const QString& method, const QVariantList& args, bool endsClick);
    void sendNext();

    QDBusConnection bus_;
    QString tokenFile_;
    std::function<std::vector<QRect>()> screens_;
    QDBusServiceWatcher portalWatcher_;
    QString session_;
    QPointer<PortalRequest> pending_;
    std::function<void(Outcome, const QString&)> done_;
    std::function<void()> closed_;
    std::vector<Stream> streams_;
    uint remoteVersion_ = 0;
    int requests_ = 0;
    bool active_ = false;

    struct PointerCall {
        QString method;
        QVariantList args;
        bool endsClick = false;
    };
    std::deque<PointerCall> pointerQueue_;
    int pointerInFlight_ = 0;
    QVariantList lastMove_;    // the arguments of the last move sent
    bool buttonDown_ = false;  // a press has gone out without its release
    bool beatLost_ = false;
    int clicksPending_ = 0;
};

}  // namespace morvane::wayland
