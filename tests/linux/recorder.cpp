// The end-to-end tests' click target: a plain Xlib window that logs every button press it
// receives, and every request to iconify a window (the WM_CHANGE_STATE message a client sends
// to the root window; with no window manager in the test, nothing else would show it).
//
//   recorder LOG X Y WIDTH HEIGHT
//   recorder close WINDOW        asks WINDOW to close as a window manager's close button does
//                                (WM_DELETE_WINDOW) and prints the X server time it asked at
//   recorder layout DPI         prints the layout table at DPI as JSON (tests/e2e/layout_json.h)
//
// Log lines, flushed one by one, in the format the Win32 recorder writes too (US: the raw
// monotonic clock in us, which is also what QueryPerformanceCounter reads under Wine; MS: the
// event's X server time):
//   click ROOT_X ROOT_Y US MS BUTTON
//   key KEYCODE US MS              a key pressed while the recorder has the focus
//   iconify WINDOW
//   map WINDOW US                  another top-level window was mapped (start-up timing)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "e2e/layout_json.h"
#include "e2e/recorder_clock.h"

namespace {

using morvane::e2e::monotonicMicros;
using morvane::e2e::toInt;

int closeWindow(Display* display, Window target) {
    // A property change on a window of our own is the usual way to learn the server's time.
    const Window probe =
        XCreateSimpleWindow(display, XDefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(display, probe, PropertyChangeMask);
    unsigned char none = 0;
    XChangeProperty(display, probe, XInternAtom(display, "MORVANE_TEST_STAMP", False), XA_STRING, 8,
                    PropModeReplace, &none, 0);
    XEvent event{};
    do {
        XNextEvent(display, &event);
    } while (event.type != PropertyNotify);
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.window = target;
    message.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    message.xclient.format = 32;
    message.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    message.xclient.data.l[1] = static_cast<long>(event.xproperty.time);
    XSendEvent(display, target, False, NoEventMask, &message);
    XSync(display, False);
    std::printf("%lu\n", event.xproperty.time);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 3 && std::strcmp(argv[1], "layout") == 0) {
        std::fputs(morvane::e2e::layoutJson(toInt(argv[2])).c_str(), stdout);
        return 0;
    }
    const bool close = argc == 3 && std::strcmp(argv[1], "close") == 0;
    if (argc != 6 && !close) {
        std::fputs(
            "usage: recorder LOG X Y WIDTH HEIGHT | recorder layout DPI | recorder close "
            "WINDOW\n",
            stderr);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fputs("recorder: cannot open display\n", stderr);
        return 1;
    }
    if (close) {
        return closeWindow(display, std::strtoul(argv[2], nullptr, 0));
    }
    FILE* log = std::fopen(argv[1], "w");
    if (log == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const Window root = XDefaultRootWindow(display);
    const int screen = XDefaultScreen(display);
    const Window window = XCreateSimpleWindow(
        display, root, toInt(argv[2]), toInt(argv[3]), static_cast<unsigned>(toInt(argv[4])),
        static_cast<unsigned>(toInt(argv[5])), 0, XBlackPixel(display, screen),
        XWhitePixel(display, screen));
    XStoreName(display, window, "morvane-recorder");
    XSizeHints hints{};
    hints.flags = USPosition | USSize;
    hints.x = toInt(argv[2]);
    hints.y = toInt(argv[3]);
    XSetWMNormalHints(display, window, &hints);
    XSelectInput(display, window, ButtonPressMask | KeyPressMask | StructureNotifyMask);
    // Clients send WM_CHANGE_STATE with one of these two masks.
    XSelectInput(display, root, SubstructureNotifyMask | StructureNotifyMask);
    const Atom changeState = XInternAtom(display, "WM_CHANGE_STATE", False);
    XMapWindow(display, window);

    constexpr long kIconicState = 3;
    for (;;) {
        XEvent event{};
        XNextEvent(display, &event);
        switch (event.type) {
        case MapNotify:
            if (event.xmap.event == root && event.xmap.window != window) {
                std::fprintf(log, "map %lu %lld\n", event.xmap.window, monotonicMicros());
            }
            break;
        case KeyPress:
            std::fprintf(log, "key %u %lld %lu\n", event.xkey.keycode, monotonicMicros(),
                         event.xkey.time);
            break;
        case ButtonPress:
            std::fprintf(log, "click %d %d %lld %lu %u\n", event.xbutton.x_root,
                         event.xbutton.y_root, monotonicMicros(), event.xbutton.time,
                         event.xbutton.button);
            break;
        case ClientMessage:
            if (event.xclient.message_type == changeState &&
                event.xclient.data.l[0] == kIconicState) {
                std::fprintf(log, "iconify %lu\n", event.xclient.window);
            }
            break;
        default:
            break;
        }
        std::fflush(log);
    }
}
