#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <functional>

class QDBusPendingCall;

namespace morvane::wayland {

class Farewell;

// Every running copy owns a bus name of its own under this one, so that the others hear it
// leave: the desktop files all copies' keys under one component, and a copy giving its keys
// back on the way out takes them from the others too.
inline constexpr const char* kCopyNamespace = "io.github.morvane.Morvane.Copy";

// F7, F10 and F12 as KDE global shortcuts, through the desktop's own shortcut service: the
// GlobalShortcuts portal binds nothing for a program that has no app id. Nothing here waits
// for the service, which may be slow to answer or, on Plasma, be the compositor itself.
class KdeShortcuts final : public QObject {
    Q_OBJECT

public:
    // `key` hears the virtual-key code and whether it went down or up. `copy` is the bus name
    // this copy owns under kCopyNamespace; empty: one made from the process id.
    KdeShortcuts(QDBusConnection bus, std::function<void(int vk, bool down)> key,
                 QString copy = {});
    KdeShortcuts(const KdeShortcuts&) = delete;
    KdeShortcuts& operator=(const KdeShortcuts&) = delete;
    KdeShortcuts(KdeShortcuts&&) = delete;
    KdeShortcuts& operator=(KdeShortcuts&&) = delete;
    ~KdeShortcuts() override;

    // Asks for the three keys and returns at once. `answered` hears, once, whenever the service
    // has answered, the names of the keys it would not give (all three where there is no such
    // service). While the program runs, another copy leaving has the keys asked for again.
    void bind(std::function<void(const QStringList& missing)> answered);
    // Gives the keys back so that they reach other programs again: the calls leave now and are
    // added to `farewell` to be waited for; nothing is asked of the service after them.
    void release(Farewell& farewell);

private:
    // The service's signals for our component's keys.
    Q_SLOT void pressed(const QString& component, const QString& action, qlonglong timestamp,
                        const QDBusMessage& message);
    Q_SLOT void released(const QString& component, const QString& action, qlonglong timestamp,
                         const QDBusMessage& message);
    // A name under kCopyNamespace has left the bus.
    Q_SLOT void copyLeft(const QString& name);

    // doRegister and setShortcut for each key; `answered`, where given, hears which were not.
    void registerKeys(std::function<void(const QStringList&)> answered);
    // Subscribes to the presses and releases of our component's keys.
    void listen();
    // Hands a press or release to `key_` if it is one of ours, from the service.
    void deliver(const QString& component, const QString& action, const QDBusMessage& message,
                 bool down);
    // Calls `method` of the service; `then` hears its answer, however late.
    void send(const QString& method, const QVariantList& args,
              std::function<void(const QDBusMessage& reply)> then);
    // `then` hears the answer to `call` on the event loop.
    void await(const QDBusPendingCall& call, std::function<void(const QDBusMessage& reply)> then);

    QDBusConnection bus_;
    std::function<void(int, bool)> key_;
    QString copy_;
    QString owner_;          // the service's unique name on the bus, once it is known to be there
    bool asked_ = false;     // keys have been asked for: the way out gives them back
    bool released_ = false;  // on the way out: no more keys are asked for
};

// Takes from KDE's shortcut service whatever keys this program's component still holds there,
// left by a copy that used the service and ended without giving them back: where the keys come
// through the GlobalShortcuts portal instead, a component holding them would keep the portal's
// from ever arriving. Sent without waiting; nothing where the service is not running.
void releaseLeftoverKeys(const QDBusConnection& bus);

}  // namespace morvane::wayland
