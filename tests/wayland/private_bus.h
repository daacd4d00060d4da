#pragma once

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>

namespace morvane::wayland {

// Runs the event loop until `done` holds or `limitMs` have passed; whether it held.
inline bool runUntil(const std::function<bool()>& done, int limitMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

// Runs the event loop for `ms`, for what must not happen to have its chance.
inline void settle(int ms = 150) {
    runUntil([] { return false; }, ms);
}

// A session bus of the test's own, and the connections made to it, closed with it.
class PrivateBus {
public:
    PrivateBus() {
        if (QCoreApplication::instance() == nullptr) {
            // Kept to the end of the process: a Qt application destroyed before the
            // connections' own teardown crashes on the way out.
            static int argc = 1;
            static char name[] = "morvane_wayland_tests";
            static char* argv[] = {name, nullptr};
            static QCoreApplication app(argc, argv);
        }
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (daemon_.waitForReadyRead(10000)) {
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
    PrivateBus(PrivateBus&&) = delete;
    PrivateBus& operator=(PrivateBus&&) = delete;
    ~PrivateBus() {
        for (const QString& name : connections_) {
            QDBusConnection::disconnectFromBus(name);
        }
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }

    [[nodiscard]] bool up() const { return !address_.isEmpty(); }
    // A new connection to the bus.
    QDBusConnection connect() {
        const QString name = QStringLiteral("private%1").arg(++made_);
        connections_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QProcess daemon_;
    QString address_;
    QStringList connections_;
    static inline int made_ = 0;
};

}  // namespace morvane::wayland
