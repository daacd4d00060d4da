#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <functional>

#include "platform/linux/wayland/portal_request.h"

namespace morvane::wayland {

class Farewell;

// One shortcut as the portal lists them: its id and its properties, (sa{sv}) on the bus.
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};
QDBusArgument& operator<<(QDBusArgument& arg, const PortalShortcut& shortcut);
const QDBusArgument& operator>>(const QDBusArgument& arg, PortalShortcut& shortcut);

// The program's app id, in the reverse-DNS form the portals want; its desktop entry is named
// after it, which is how a desktop finds the program's name and icon for its dialogs.
inline constexpr const char* kAppId = "io.github.morvane.Morvane";

// Tells the portal which app this connection is (xdg-desktop-portal 1.18 and later); it must
// come before any other portal call of the connection. `done` hears whether the portal knows
// the program by its app id from now on: not where the portal is older.
void registerApp(const QDBusConnection& bus, QObject* context, std::function<void(bool)> done);

// F7, F10 and F12 through the GlobalShortcuts portal: a session of this copy's own, the three
// keys bound once (on some desktops after the user has confirmed them), presses and releases
// as the portal signals them. Each copy of the program binds in its own session.
class GlobalShortcuts final : public QObject {
    Q_OBJECT

public:
    // `key` hears the virtual-key code and whether it went down or up.
    GlobalShortcuts(QDBusConnection bus, std::function<void(int vk, bool down)> key);
    GlobalShortcuts(const GlobalShortcuts&) = delete;
    GlobalShortcuts& operator=(const GlobalShortcuts&) = delete;
    GlobalShortcuts(GlobalShortcuts&&) = delete;
    GlobalShortcuts& operator=(GlobalShortcuts&&) = delete;
    ~GlobalShortcuts() override;

    // Asks for the keys; `answered` hears, once, how the portal answered and the names of the
    // keys it did not bind (all three unless it answered Granted).
    void bind(std::function<void(Outcome, const QStringList& missing)> answered);
    // Ends the session: a request still open is withdrawn; the calls go into `farewell`.
    void close(Farewell& farewell);

private:
    // Activated or Deactivated: a key of some session went down or up.
    Q_SLOT void shortcutSignal(const QDBusMessage& message);
    void createSession();
    void bindKeys();
    void finish(Outcome outcome, const QStringList& bound);

    QDBusConnection bus_;
    std::function<void(int, bool)> key_;
    std::function<void(Outcome, const QStringList&)> answered_;
    QPointer<PortalRequest> pending_;
    QString session_;
    int requests_ = 0;
};

}  // namespace morvane::wayland

Q_DECLARE_METATYPE(morvane::wayland::PortalShortcut)
