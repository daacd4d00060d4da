#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QLocale>
#include <QScreen>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "app/form1.h"
#include "platform/x11/form_window.h"
#include "platform/x11/qt_platform.h"
#include "platform/x11/timer_source.h"
#include "platform/x11/x11_input.h"

namespace {

bool hasValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

void fail(const std::string& message) { std::fprintf(stderr, "morvane: %s\n", message.c_str()); }

}  // namespace

int main(int argc, char* argv[]) {
    using namespace morvane;

    // Everything here is X11: the pointer, the fake clicks and the global keys. Qt must talk to
    // the same X server rather than pick a Wayland backend of its own.
    if (!hasValue("DISPLAY")) {
        fail(hasValue("WAYLAND_DISPLAY")
                 ? "this Wayland session has no X server (Xwayland) and DISPLAY is not set; "
                   "Morvane needs X11"
                 : "no X display: DISPLAY is not set");
        return EXIT_FAILURE;
    }
    std::string error;
    std::unique_ptr<x11::X11Input> input = x11::X11Input::open(nullptr, error);
    if (!input) {
        fail(error);
        return EXIT_FAILURE;
    }
    if (hasValue("WAYLAND_DISPLAY")) {
        std::fputs(
            "morvane: warning: under Wayland the clicks and F7/F10/F12 only reach X11 "
            "(Xwayland) windows\n",
            stderr);
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

    try {
        // Destroyed in reverse order after the loop has returned: nothing that a late event
        // could still reach goes away while the loop runs.
        x11::QtPlatform ops(*input);
        Form1 form(ops);
        x11::FormWindow window(form, dpi);
        ops.attach(window, form);
        form.load();
        x11::TimerSource::requestPromptWakeups();
        window.show();
        return QApplication::exec();
    } catch (const std::exception& e) {  // the timers' timerfd could not be created
        fail(e.what());
        return EXIT_FAILURE;
    }
}
