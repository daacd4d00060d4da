// Asks a window to close the way a window manager's close button does (WM_DELETE_WINDOW), and
// prints the X server's time in ms at which it asked, so that a test can compare it with the
// time stamps of later events.
//
//   wm_close WINDOW
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fputs("usage: wm_close WINDOW\n", stderr);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fputs("wm_close: cannot open display\n", stderr);
        return 1;
    }
    const Window target = std::strtoul(argv[1], nullptr, 0);
    const Window root = XDefaultRootWindow(display);

    // A property change on a window of our own is the usual way to learn the server's time.
    const Window probe = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(display, probe, PropertyChangeMask);
    const Atom stamp = XInternAtom(display, "MORVANE_TEST_STAMP", False);
    unsigned char none = 0;
    XChangeProperty(display, probe, stamp, XA_STRING, 8, PropModeReplace, &none, 0);
    XEvent event{};
    do {
        XNextEvent(display, &event);
    } while (event.type != PropertyNotify);
    const Time now = event.xproperty.time;

    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.window = target;
    message.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    message.xclient.format = 32;
    message.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    message.xclient.data.l[1] = static_cast<long>(now);
    XSendEvent(display, target, False, NoEventMask, &message);
    XSync(display, False);
    std::printf("%lu\n", now);
    XCloseDisplay(display);
    return 0;
}
