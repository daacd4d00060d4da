#include <QApplication>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QIcon>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QStandardPaths>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include "app/form1.h"
#include "platform/linux/form_window.h"
#include "platform/linux/qt_platform.h"
#include "platform/linux/timer_source.h"
#include "platform/linux/x11_input.h"
#include "platform/portal/portal_input.h"

namespace {

bool hasValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// The desktop's session, not the display the window uses: a Wayland desktop runs X11 programs on
// Xwayland, where X11's fake input reaches only other X11 programs.
bool waylandSession() {
    const char* type = std::getenv("XDG_SESSION_TYPE");
    if (type != nullptr && *type != '\0') {
        return std::string_view(type) == "wayland";
    }
    return hasValue("WAYLAND_DISPLAY");
}

void fail(const std::string& message) { std::fprintf(stderr, "morvane: %s\n", message.c_str()); }

}  // namespace

int main(int argc, char* argv[]) {
    using namespace morvane;

    // The window is X11 (Xwayland on a Wayland desktop). Qt must talk to that X server rather
    // than pick a Wayland backend of its own.
    if (!hasValue("DISPLAY")) {
        fail(hasValue("WAYLAND_DISPLAY")
                 ? "this Wayland session has no X server (Xwayland) and DISPLAY is not set; "
                   "Morvane's window needs Xwayland"
                 : "no X display: DISPLAY is not set");
        return EXIT_FAILURE;
    }
    const bool wayland = waylandSession();
    std::unique_ptr<x11::X11Input> x11Input;
    if (!wayland) {
        std::string error;
        x11Input = x11::X11Input::open(nullptr, error);
        if (!x11Input) {
            fail(error);
            return EXIT_FAILURE;
        }
    }
    qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("morvane"));
    QApplication::setQuitOnLastWindowClosed(false);  // only Form1's unload ends the program
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/morvane/morvane.png")));
    x11::installQtTranslations(app, QLocale::system());
    const QScreen* screen = QApplication::primaryScreen();
    if (screen == nullptr) {
        fail("the X display has no screen");
        return EXIT_FAILURE;
    }
    const int dpi = static_cast<int>(std::lround(screen->logicalDotsPerInch()));
    if (const auto* x11App = app.nativeInterface<QNativeInterface::QX11Application>()) {
        x11::ignoreXkbPointerButtons(x11App->display());
    }

    // On Wayland the desktop's own answers (a refused session, keys it will not give) are shown
    // in the window: started from a menu, nobody reads stderr.
    QPointer<QWidget> boxOwner;
    std::unique_ptr<portal::PortalInput> portalInput;
    if (wayland) {
        const QString tokenFile =
            QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
            QStringLiteral("/portal-restore-token");
        portalInput = std::make_unique<portal::PortalInput>(
            QDBusConnection::sessionBus(), tokenFile, [&boxOwner](const QString& text) {
                auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Morvane"), text,
                                            QMessageBox::Ok, boxOwner);
                box->setAttribute(Qt::WA_DeleteOnClose);
                box->open();
            });
    }
    x11::DesktopInput& input = wayland ? static_cast<x11::DesktopInput&>(*portalInput) : *x11Input;

    try {
        // Destroyed in reverse order after the loop has returned: nothing that a late event
        // could still reach goes away while the loop runs.
        x11::QtPlatform ops(input);
        Form1 form(ops);
        x11::FormWindow window(form, dpi);
        ops.attach(window, form);
        form.load();
        x11::TimerSource::requestPromptWakeups();
        window.show();
        boxOwner = &window;
        if (portalInput) {
            portalInput->start();
        }
        return QApplication::exec();
    } catch (const std::exception& e) {  // the timers' timerfd could not be created
        fail(e.what());
        return EXIT_FAILURE;
    }
}
