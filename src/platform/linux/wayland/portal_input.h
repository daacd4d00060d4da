#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "platform/key_latch.h"
#include "platform/linux/desktop_input.h"
#include "platform/linux/wayland/cursor_stream.h"
#include "platform/linux/wayland/global_shortcuts.h"
#include "platform/linux/wayland/kde_shortcuts.h"
#include "platform/linux/wayland/portal_session.h"

namespace morvane::wayland {

// The user32 operations on a Wayland desktop, through its portals: clicks and the pointer's
// position from one RemoteDesktop session, F7/F10/F12 from the desktop's global shortcuts or,
// where it has none for us, from the keys the window itself receives.
class PortalInput final : public QObject, public qt::DesktopInput {
public:
    PortalInput();
    PortalInput(const PortalInput&) = delete;
    PortalInput& operator=(const PortalInput&) = delete;
    PortalInput(PortalInput&&) = delete;
    PortalInput& operator=(PortalInput&&) = delete;
    ~PortalInput() override;

    // Asks for the session once; the answer comes back on the event loop.
    void start(const qt::InputContext& context) override;
    // Closes the session and gives the keys back.
    void stop() override;

    bool cursorPos(POINT& point) override;
    bool moveCursor(std::int32_t x, std::int32_t y) override;
    void mouseEvent(std::uint32_t flags) override;
    std::int16_t asyncKeyState(std::int32_t vk) override;

    // The words shown for each way a session can fail.
    [[nodiscard]] static QString explain(Outcome outcome, const QString& detail);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void started(Outcome outcome, const QString& detail);
    // F7, F10 and F12 from the portal where it knows the program (`registered`), else from
    // KDE's shortcut service.
    void bindKeys(const QDBusConnection& bus, bool registered);

    std::unique_ptr<PortalSession> session_;
    std::unique_ptr<GlobalShortcuts> portalKeys_;
    std::unique_ptr<KdeShortcuts> hotkeys_;
    std::unique_ptr<CursorStream> cursor_;
    std::function<void(const QString&)> report_;
    KeyLatch latch_;
    POINT last_{};
    bool sessionFailed_ = false;  // the window has said the program cannot click
    bool keysAnswered_ = false;   // the portal has answered for the keys
};

}  // namespace morvane::wayland
