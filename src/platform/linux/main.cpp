#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QStandardPaths>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "app/form1.h"
#include "platform/linux/form_window.h"
#include "platform/linux/qt_platform.h"
#include "platform/linux/timer_source.h"
#include "platform/linux/wayland/global_shortcuts.h"
#include "platform/linux/wayland/portal_input.h"
#include "platform/linux/x11/x11_input.h"

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

// The desktop inputs, the first that runs here wins: a Wayland desktop runs X11 programs on
// Xwayland, where X11's fake input reaches only other X11 programs, so it is asked first.
struct InputConnector {
    const char* name;
    bool (*runsHere)();
    std::unique_ptr<morvane::qt::DesktopInput> (*open)(std::string& error);
};
constexpr std::array kInputs{
    InputConnector{"wayland", &waylandSession,
                   [](std::string&) -> std::unique_ptr<morvane::qt::DesktopInput> {
                       return std::make_unique<morvane::wayland::PortalInput>();
                   }},
    InputConnector{"x11", [] { return true; },
                   [](std::string& error) -> std::unique_ptr<morvane::qt::DesktopInput> {
                       return morvane::x11::X11Input::open(nullptr, error);
                   }},
};

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
    // Opened before the application, so that a display that cannot serve stops the program
    // with one line and no window.
    std::unique_ptr<qt::DesktopInput> input;
    for (const InputConnector& connector : kInputs) {
        if (connector.runsHere()) {
            std::string error;
            input = connector.open(error);
            if (!input) {
                fail(error);
                return EXIT_FAILURE;
            }
            break;
        }
    }
    qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("morvane"));
    // How a desktop finds the program's name and icon: its entry is named by the app id.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(wayland::kAppId));
    QApplication::setQuitOnLastWindowClosed(false);  // only Form1's unload ends the program
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/morvane/morvane.png")));
    qt::installQtTranslations(app, QLocale::system());
    const QScreen* screen = QApplication::primaryScreen();
    if (screen == nullptr) {
        fail("the X display has no screen");
        return EXIT_FAILURE;
    }
    const int dpi = static_cast<int>(std::lround(screen->logicalDotsPerInch()));
    if (const auto* x11App = app.nativeInterface<QNativeInterface::QX11Application>()) {
        x11::ignoreXkbPointerButtons(x11App->display());
    }

    try {
        // Destroyed in reverse order after the loop has returned: nothing that a late event
        // could still reach goes away while the loop runs.
        qt::QtPlatform ops(*input);
        Form1 form(ops);
        qt::FormWindow window(form, dpi);
        ops.attach(window, form);
        form.load();
        qt::TimerSource::requestPromptWakeups();
        window.show();
        // What the desktop answers (a refused session, keys it will not give) is said in the
        // window: started from a menu, nobody reads stderr.
        QPointer<QWidget> boxOwner = &window;
        input->start(
            {QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toStdString(),
             [boxOwner](const std::string& text) {
                 auto* box =
                     new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Morvane"),
                                     QString::fromStdString(text), QMessageBox::Ok, boxOwner);
                 box->setAttribute(Qt::WA_DeleteOnClose);
                 box->open();
             }});
        const int code = QApplication::exec();
        input->stop();
        return code;
    } catch (const std::exception& e) {  // the timers' timerfd could not be created
        fail(e.what());
        return EXIT_FAILURE;
    }
}
