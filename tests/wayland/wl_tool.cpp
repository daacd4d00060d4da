// The Wayland end-to-end tests' own client: a Wayland-native click recorder, and real input
// through the compositor's fake-input protocol (KWin's org_kde_kwin_fake_input, which the
// compositor lets any client use when it runs with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1).
//
//   wl_tool record LOG X Y WIDTH HEIGHT   a white window placed at X, Y (KDE's plasma-shell),
//                                         titled morvane-recorder; logs as the X11 recorder:
//                                           click X Y US MS BUTTON   (desktop coordinates)
//                                           key KEYCODE US MS
//                                           focus 1|0 US   (the keyboard came or went)
//   wl_tool move X Y                      the pointer to X, Y on the desktop
//   wl_tool click                         the left button down and up
//   wl_tool key NAME...                   each key down and up, printing when each went down:
//   F1-F12, 0-9, period, minus,
//                                         BackSpace, End, Return, KP_Enter, Tab, a-z
//   wl_tool keydown NAME | keyup NAME
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "e2e/recorder_clock.h"
#include "fake-input-client-protocol.h"
#include "plasma-shell-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace {

using morvane::e2e::monotonicMicros;
using morvane::e2e::toInt;

struct Globals {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    wl_seat* seat = nullptr;
    xdg_wm_base* wmBase = nullptr;
    org_kde_plasma_shell* plasmaShell = nullptr;
    org_kde_kwin_fake_input* fakeInput = nullptr;
};

void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
            uint32_t version) {
    auto* g = static_cast<Globals*>(data);
    auto bind = [&](const wl_interface* wanted, uint32_t most) {
        return wl_registry_bind(registry, name, wanted, version < most ? version : most);
    };
    if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
        g->compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        g->shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0) {
        g->seat = static_cast<wl_seat*>(bind(&wl_seat_interface, 5));
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
        g->wmBase = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 1));
    } else if (std::strcmp(interface, org_kde_plasma_shell_interface.name) == 0) {
        g->plasmaShell =
            static_cast<org_kde_plasma_shell*>(bind(&org_kde_plasma_shell_interface, 1));
    } else if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0) {
        g->fakeInput =
            static_cast<org_kde_kwin_fake_input*>(bind(&org_kde_kwin_fake_input_interface, 4));
    }
}

void globalRemove(void*, wl_registry*, uint32_t) {}

int keyCode(const std::string& name) {
    if (name.size() > 1 && name[0] == 'F') {
        const int n = std::atoi(name.c_str() + 1);
        if (n >= 1 && n <= 10) {
            return KEY_F1 + n - 1;
        }
        if (n == 11 || n == 12) {
            return KEY_F11 + n - 11;
        }
    }
    if (name.size() == 1 && name[0] >= '1' && name[0] <= '9') {
        return KEY_1 + name[0] - '1';
    }
    if (name == "0") {
        return KEY_0;
    }
    if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'z') {
        static const char* const kRows =
            "qwertyuiop"
            "asdfghjkl"
            "zxcvbnm";
        static const int kCodes[] = {KEY_Q, KEY_W, KEY_E, KEY_R, KEY_T, KEY_Y, KEY_U, KEY_I, KEY_O,
                                     KEY_P, KEY_A, KEY_S, KEY_D, KEY_F, KEY_G, KEY_H, KEY_J, KEY_K,
                                     KEY_L, KEY_Z, KEY_X, KEY_C, KEY_V, KEY_B, KEY_N, KEY_M};
        return kCodes[std::strchr(kRows, name[0]) - kRows];
    }
    if (name == "period" || name == ".") {
        return KEY_DOT;
    }
    if (name == "minus" || name == "-") {
        return KEY_MINUS;
    }
    if (name == "BackSpace") {
        return KEY_BACKSPACE;
    }
    if (name == "End") {
        return KEY_END;
    }
    if (name == "Return") {
        return KEY_ENTER;
    }
    if (name == "KP_Enter") {
        return KEY_KPENTER;
    }
    if (name == "Tab") {
        return KEY_TAB;
    }
    return -1;
}

// --- the recorder ------------------------------------------------------------------------------

struct Recorder {
    FILE* log = nullptr;
    int x = 0;
    int y = 0;
    double pointerX = 0;
    double pointerY = 0;
    bool configured = false;
};

void pointerEnter(void* data, wl_pointer*, uint32_t, wl_surface*, wl_fixed_t sx, wl_fixed_t sy) {
    auto* r = static_cast<Recorder*>(data);
    r->pointerX = wl_fixed_to_double(sx);
    r->pointerY = wl_fixed_to_double(sy);
}
void pointerLeave(void*, wl_pointer*, uint32_t, wl_surface*) {}
void pointerMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t sx, wl_fixed_t sy) {
    auto* r = static_cast<Recorder*>(data);
    r->pointerX = wl_fixed_to_double(sx);
    r->pointerY = wl_fixed_to_double(sy);
}
void pointerButton(void* data, wl_pointer*, uint32_t, uint32_t time, uint32_t button,
                   uint32_t state) {
    auto* r = static_cast<Recorder*>(data);
    if (state != WL_POINTER_BUTTON_STATE_PRESSED) {
        return;
    }
    // X11's numbering, as the other recorders log it.
    const unsigned number = button == BTN_LEFT     ? 1
                            : button == BTN_MIDDLE ? 2
                            : button == BTN_RIGHT  ? 3
                                                   : button;
    std::fprintf(r->log, "click %d %d %lld %u %u\n", r->x + static_cast<int>(r->pointerX),
                 r->y + static_cast<int>(r->pointerY), monotonicMicros(), time, number);
    std::fflush(r->log);
}
void pointerAxis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}
void pointerFrame(void*, wl_pointer*) {}
void pointerAxisSource(void*, wl_pointer*, uint32_t) {}
void pointerAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
void pointerAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}
const wl_pointer_listener kPointer = {
    pointerEnter,        pointerLeave, pointerMotion,     pointerButton,
    pointerAxis,         pointerFrame, pointerAxisSource, pointerAxisStop,
    pointerAxisDiscrete, nullptr};  // newer than the version bound

void keymap(void*, wl_keyboard*, uint32_t, int fd, uint32_t) { close(fd); }
void logFocus(void* data, int in) {
    auto* r = static_cast<Recorder*>(data);
    std::fprintf(r->log, "focus %d %lld\n", in, monotonicMicros());
    std::fflush(r->log);
}
void keyEnter(void* data, wl_keyboard*, uint32_t, wl_surface*, wl_array*) { logFocus(data, 1); }
void keyLeave(void* data, wl_keyboard*, uint32_t, wl_surface*) { logFocus(data, 0); }
void key(void* data, wl_keyboard*, uint32_t, uint32_t time, uint32_t code, uint32_t state) {
    auto* r = static_cast<Recorder*>(data);
    if (state == WL_KEYBOARD_KEY_STATE_PRESSED) {
        // X11's keycode, evdev's plus 8, as the X11 recorder logs it.
        std::fprintf(r->log, "key %u %lld %u\n", code + 8, monotonicMicros(), time);
        std::fflush(r->log);
    }
}
void modifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void repeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}
const wl_keyboard_listener kKeyboard = {keymap, keyEnter, keyLeave, key, modifiers, repeatInfo};

void ping(void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }
const xdg_wm_base_listener kWmBase = {ping};

void surfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
    static_cast<Recorder*>(data)->configured = true;
}
const xdg_surface_listener kXdgSurface = {surfaceConfigure};

void toplevelConfigure(void*, xdg_toplevel*, int32_t, int32_t, wl_array*) {}
void toplevelClose(void*, xdg_toplevel*) {}
// The two newer events are not sent at the version bound.
const xdg_toplevel_listener kToplevel = {toplevelConfigure, toplevelClose, nullptr, nullptr};

wl_buffer* whiteBuffer(wl_shm* shm, int width, int height) {
    const int stride = width * 4;
    const int size = stride * height;
    const int fd = memfd_create("morvane-recorder", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0) {
        return nullptr;
    }
    void* pixels =
        mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) {
        return nullptr;
    }
    std::memset(pixels, 0xff, static_cast<size_t>(size));
    munmap(pixels, static_cast<size_t>(size));
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, size);
    wl_buffer* buffer =
        wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

int record(wl_display* display, Globals& g, char** argv) {
    if (g.compositor == nullptr || g.shm == nullptr || g.seat == nullptr || g.wmBase == nullptr ||
        g.plasmaShell == nullptr) {
        std::fputs("wl_tool: the compositor lacks xdg-shell or KDE's plasma-shell\n", stderr);
        return 1;
    }
    Recorder r;
    r.log = std::fopen(argv[2], "w");
    if (r.log == nullptr) {
        std::perror(argv[2]);
        return 1;
    }
    r.x = toInt(argv[3]);
    r.y = toInt(argv[4]);
    const int width = toInt(argv[5]);
    const int height = toInt(argv[6]);
    xdg_wm_base_add_listener(g.wmBase, &kWmBase, nullptr);
    wl_pointer_add_listener(wl_seat_get_pointer(g.seat), &kPointer, &r);
    wl_keyboard_add_listener(wl_seat_get_keyboard(g.seat), &kKeyboard, &r);
    wl_surface* surface = wl_compositor_create_surface(g.compositor);
    xdg_surface* xdgSurface = xdg_wm_base_get_xdg_surface(g.wmBase, surface);
    xdg_surface_add_listener(xdgSurface, &kXdgSurface, &r);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(xdgSurface);
    xdg_toplevel_add_listener(toplevel, &kToplevel, &r);
    xdg_toplevel_set_title(toplevel, "morvane-recorder");
    xdg_toplevel_set_app_id(toplevel, "morvane-recorder");
    // Where the window is, so that the surface's own coordinates become the desktop's.
    org_kde_plasma_surface* placed = org_kde_plasma_shell_get_surface(g.plasmaShell, surface);
    org_kde_plasma_surface_set_position(placed, r.x, r.y);
    wl_surface_commit(surface);
    while (!r.configured && wl_display_dispatch(display) >= 0) {
    }
    wl_surface_attach(surface, whiteBuffer(g.shm, width, height), 0, 0);
    wl_surface_commit(surface);
    while (wl_display_dispatch(display) >= 0) {
    }
    return 0;
}

// --- fake input --------------------------------------------------------------------------------

int input(wl_display* display, Globals& g, int argc, char** argv) {
    if (g.fakeInput == nullptr) {
        std::fputs("wl_tool: the compositor offers no org_kde_kwin_fake_input\n", stderr);
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(g.fakeInput, "morvane tests", "end-to-end tests");
    const std::string command = argv[1];
    if (command == "move" && argc == 4) {
        org_kde_kwin_fake_input_pointer_motion_absolute(
            g.fakeInput, wl_fixed_from_int(toInt(argv[2])), wl_fixed_from_int(toInt(argv[3])));
    } else if (command == "click" && argc == 2) {
        org_kde_kwin_fake_input_button(g.fakeInput, BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
        org_kde_kwin_fake_input_button(g.fakeInput, BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
    } else if ((command == "key" && argc >= 3) ||
               ((command == "keydown" || command == "keyup") && argc == 3)) {
        for (int i = 2; i < argc; ++i) {
            const int code = keyCode(argv[i]);
            if (code < 0) {
                std::fprintf(stderr, "wl_tool: unknown key %s\n", argv[i]);
                return 2;
            }
            const auto c = static_cast<uint32_t>(code);
            if (command != "keyup") {
                org_kde_kwin_fake_input_keyboard_key(g.fakeInput, c, WL_KEYBOARD_KEY_STATE_PRESSED);
                wl_display_flush(display);
                // When the press left, on the recorders' clock, for the tests' key timings.
                std::printf("%lld\n", monotonicMicros());
            }
            if (command != "keydown") {
                org_kde_kwin_fake_input_keyboard_key(g.fakeInput, c,
                                                     WL_KEYBOARD_KEY_STATE_RELEASED);
            }
            wl_display_roundtrip(display);
        }
    } else {
        return 2;
    }
    wl_display_roundtrip(display);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const bool recording = argc == 7 && std::strcmp(argv[1], "record") == 0;
    if (!recording && argc < 2) {
        std::fputs("usage: wl_tool record LOG X Y W H | move X Y | click | key NAME...\n", stderr);
        return 2;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::fputs("wl_tool: cannot connect to the Wayland display\n", stderr);
        return 1;
    }
    Globals g;
    static const wl_registry_listener kRegistry = {global, globalRemove};
    wl_registry_add_listener(wl_display_get_registry(display), &kRegistry, &g);
    wl_display_roundtrip(display);
    const int rc = recording ? record(display, g, argv) : input(display, g, argc, argv);
    if (rc == 2) {
        std::fputs("usage: wl_tool record LOG X Y W H | move X Y | click | key NAME...\n", stderr);
    }
    wl_display_disconnect(display);
    return rc;
}
