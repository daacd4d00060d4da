#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace morvane::wayland {

// F7, F10 and F12 as KDE global shortcuts, through the desktop's own shortcut service: the
// GlobalShortcuts portal binds nothing for a program that has no app id.
class KdeShortcuts final : public QObject {
    Q_OBJECT

public:
    // `key` hears the virtual-key code and whether it went down or up.
    KdeShortcuts(QDBusConnection bus, std::function<void(int vk, bool down)> key);
    KdeShortcuts(const KdeShortcuts&) = delete;
    KdeShortcuts& operator=(const KdeShortcuts&) = delete;
    KdeShortcuts(KdeShortcuts&&) = delete;
    KdeShortcuts& operator=(KdeShortcuts&&) = delete;
    // Gives the keys back, so that they reach other programs again.
    ~KdeShortcuts() override;

    // Registers the three keys; returns the names of those the desktop would not give us (all
    // three where there is no such service).
    QStringList bind();

private:
    Q_SLOT void pressed(const QString& component, const QString& action, qlonglong timestamp);
    Q_SLOT void released(const QString& component, const QString& action, qlonglong timestamp);

    QDBusConnection bus_;
    std::function<void(int, bool)> key_;
    QString component_;
    QStringList bound_;
};

}  // namespace morvane::wayland
