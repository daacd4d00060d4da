#include "platform/linux/x11/x11_input.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <array>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

#include "platform/key_latch.h"

namespace morvane::x11 {

namespace {

// GetAsyncKeyState's answer for a key that is down or was pressed: 0x8001 as Windows reports
// it, although callers only test for nonzero.
// Without XInput2 only the keymap is there to read: down now, nothing in between.
constexpr auto kKeyDownNow = static_cast<std::int16_t>(KeyLatch::kDownNow);

// The hotkeys are function keys, whose virtual-key codes run from VK_F1 (0x70) to VK_F24 (0x87)
// as their keysyms run from XK_F1.
std::optional<KeySym> functionKeysym(std::int32_t vk) {
    constexpr std::int32_t kVkF1 = 0x70;
    constexpr std::int32_t kVkF24 = 0x87;
    if (vk < kVkF1 || vk > kVkF24) {
        return std::nullopt;
    }
    return XK_F1 + static_cast<KeySym>(vk - kVkF1);
}

}  // namespace

struct X11Input::Impl {
    Display* display = nullptr;
    Window root = 0;
    int xiOpcode = -1;  // -1: no XInput2, read the key map instead
    bool unflushed = false;
    // The physical button that the pointer mapping makes button 1, the primary one: XTest's
    // buttons go through the mapping, so a left-handed `pointer = 3 2 1` would otherwise turn
    // every click into a right click.
    unsigned int primaryButton = Button1;
    KeyLatch latch;
    std::map<std::int32_t, std::vector<int>> keycodesByVk;

    Impl() = default;
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    Impl(Impl&&) = delete;
    Impl& operator=(Impl&&) = delete;
    ~Impl() {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }

    bool selectRawKeys();
    void seedFromKeymap();
    void readPointerMapping();
    std::optional<POINT> pointer();
    void drain();
    const std::vector<int>& keycodesFor(std::int32_t vk);
    bool keymapHasDown(const std::vector<int>& keycodes);
};

bool X11Input::Impl::selectRawKeys() {
    int event = 0;
    int error = 0;
    if (!XQueryExtension(display, "XInputExtension", &xiOpcode, &event, &error)) {
        xiOpcode = -1;
        return false;
    }
    // 2.1 and later deliver raw events even while another client holds a grab.
    int major = 2;
    int minor = 2;
    if (XIQueryVersion(display, &major, &minor) != Success || major < 2) {
        xiOpcode = -1;
        return false;
    }
    std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> mask{};
    XISetMask(mask.data(), XI_RawKeyPress);
    XISetMask(mask.data(), XI_RawKeyRelease);
    XIEventMask eventMask{};
    eventMask.deviceid = XIAllMasterDevices;
    eventMask.mask_len = static_cast<int>(mask.size());
    eventMask.mask = mask.data();
    XISelectEvents(display, root, &eventMask, 1);
    XSync(display, False);
    return true;
}

void X11Input::Impl::seedFromKeymap() {
    std::array<char, 32> keys{};
    XQueryKeymap(display, keys.data());
    for (int code = 0; code < KeyLatch::kKeys; ++code) {
        const auto byte = static_cast<unsigned char>(keys.at(static_cast<std::size_t>(code / 8)));
        latch.setDown(code, ((byte >> (code % 8)) & 1U) != 0);
    }
}

void X11Input::Impl::readPointerMapping() {
    std::array<unsigned char, 256> map{};
    const int buttons = XGetPointerMapping(display, map.data(), static_cast<int>(map.size()));
    primaryButton = Button1;
    for (int physical = 0; physical < buttons; ++physical) {
        if (map.at(static_cast<std::size_t>(physical)) == Button1) {
            primaryButton = static_cast<unsigned int>(physical) + 1;
            break;
        }
    }
}

std::optional<POINT> X11Input::Impl::pointer() {
    Window rootReturn = 0;
    Window child = 0;
    int rootX = 0;
    int rootY = 0;
    int winX = 0;
    int winY = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(display, root, &rootReturn, &child, &rootX, &rootY, &winX, &winY, &mask)) {
        return std::nullopt;  // the pointer is on another screen
    }
    return POINT{rootX, rootY};
}

void X11Input::Impl::drain() {
    while (XPending(display) > 0) {
        XEvent event{};
        XNextEvent(display, &event);
        if (event.type == MappingNotify) {
            if (event.xmapping.request == MappingPointer) {
                readPointerMapping();
            } else {
                XRefreshKeyboardMapping(&event.xmapping);
                keycodesByVk.clear();
            }
            continue;
        }
        XGenericEventCookie* cookie = &event.xcookie;
        if (event.type != GenericEvent || cookie->extension != xiOpcode ||
            !XGetEventData(display, cookie)) {
            continue;
        }
        const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
        if (cookie->evtype == XI_RawKeyPress) {
            // The event carries no position; read now, it is at most one event-loop wake-up
            // behind the press.
            latch.press(raw->detail, pointer());
        } else if (cookie->evtype == XI_RawKeyRelease) {
            latch.release(raw->detail);
        }
        XFreeEventData(display, cookie);
    }
}

const std::vector<int>& X11Input::Impl::keycodesFor(std::int32_t vk) {
    auto found = keycodesByVk.find(vk);
    if (found != keycodesByVk.end()) {
        return found->second;
    }
    std::vector<int> codes;
    if (const auto keysym = functionKeysym(vk)) {
        int minCode = 0;
        int maxCode = 0;
        XDisplayKeycodes(display, &minCode, &maxCode);
        int perCode = 0;
        KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(minCode),
                                          maxCode - minCode + 1, &perCode);
        if (map != nullptr) {
            // Every keycode that carries the keysym at any level: Windows reports the key
            // whatever the modifiers.
            for (int code = minCode; code <= maxCode; ++code) {
                for (int level = 0; level < perCode; ++level) {
                    if (map[(code - minCode) * perCode + level] == *keysym) {
                        codes.push_back(code);
                        break;
                    }
                }
            }
            XFree(map);
        }
    }
    return keycodesByVk.emplace(vk, std::move(codes)).first->second;
}

bool X11Input::Impl::keymapHasDown(const std::vector<int>& keycodes) {
    std::array<char, 32> keys{};
    XQueryKeymap(display, keys.data());
    for (const int code : keycodes) {
        const auto byte = static_cast<unsigned char>(keys.at(static_cast<std::size_t>(code / 8)));
        if (((byte >> (code % 8)) & 1U) != 0) {
            return true;
        }
    }
    return false;
}

bool ignoreXkbPointerButtons(_XDisplay* windowDisplay) {
    if (windowDisplay == nullptr) {
        return false;
    }
    int opcode = 0;
    int event = 0;
    int error = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (!XkbQueryExtension(windowDisplay, &opcode, &event, &error, &major, &minor)) {
        return false;
    }
    constexpr unsigned long kAllButButtons = XkbAllStateComponentsMask & ~XkbPointerButtonMask;
    const bool selected = XkbSelectEventDetails(windowDisplay, XkbUseCoreKbd, XkbStateNotify,
                                                XkbAllStateComponentsMask, kAllButButtons);
    XFlush(windowDisplay);
    return selected;
}

std::unique_ptr<X11Input> X11Input::open(const char* displayName, std::string& error) {
    auto impl = std::make_unique<Impl>();
    impl->display = XOpenDisplay(displayName);
    if (impl->display == nullptr) {
        const char* shown = XDisplayName(displayName);
        error = std::string("cannot open X display \"") + (shown != nullptr ? shown : "") + "\"";
        return nullptr;
    }
    int event = 0;
    int xerror = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(impl->display, &event, &xerror, &major, &minor)) {
        error = "the X server has no XTEST extension, which is needed to move and click the mouse";
        return nullptr;
    }
    // Fake input must not be dropped while another client grabs the server.
    XTestGrabControl(impl->display, True);
    impl->root = XDefaultRootWindow(impl->display);
    impl->readPointerMapping();
    if (impl->selectRawKeys()) {
        impl->seedFromKeymap();
    } else {
        std::fputs(
            "morvane: warning: the X server has no XInput2; F7, F10 and F12 are read from the key "
            "map at each poll, so a very short tap may be missed\n",
            stderr);
    }
    return std::unique_ptr<X11Input>(new X11Input(std::move(impl)));
}

X11Input::X11Input(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

X11Input::~X11Input() = default;

bool X11Input::hasRawKeys() const { return impl_->xiOpcode >= 0; }

bool X11Input::cursorPos(POINT& point) {
    const std::optional<POINT> at = impl_->pointer();
    if (at) {
        point = *at;
    }
    return at.has_value();
}

bool X11Input::moveCursor(std::int32_t x, std::int32_t y) {
    // XTest rather than a warp: applications see the same motion a real mouse would make.
    XTestFakeMotionEvent(impl_->display, -1, x, y, CurrentTime);
    // Left queued: a click usually follows at once, and each flush is a write plus two reads
    // of the socket, which at 1000 clicks a second is most of the program's CPU time.
    impl_->unflushed = true;
    return true;
}

void X11Input::mouseEvent(std::uint32_t flags) {
    // Only the primary button is ever used; down before up, as Windows applies the two bits.
    if ((flags & kMouseLeftDown) != 0) {
        XTestFakeButtonEvent(impl_->display, impl_->primaryButton, True, CurrentTime);
    }
    if ((flags & kMouseLeftUp) != 0) {
        XTestFakeButtonEvent(impl_->display, impl_->primaryButton, False, CurrentTime);
    }
    XFlush(impl_->display);
    impl_->unflushed = false;
}

void X11Input::flush() {
    if (impl_->unflushed) {
        XFlush(impl_->display);
        impl_->unflushed = false;
    }
    // A reply read during the tick (XQueryPointer) also reads the events that came before it
    // into Xlib's queue, where the descriptor no longer shows them.
    if (hasRawKeys() && XEventsQueued(impl_->display, QueuedAlready) > 0) {
        impl_->drain();
    }
}

int X11Input::eventFd() const { return hasRawKeys() ? ConnectionNumber(impl_->display) : -1; }

void X11Input::readEvents() {
    if (hasRawKeys()) {
        impl_->drain();
    }
}

bool X11Input::activate(std::uint64_t window) {
    // Source 2, a pager: focus-stealing prevention refuses an application's own request (source
    // 1) once the user has worked in another window since the application's last input, which
    // for a box opened by a global F10 is always so, and after each click of ours.
    constexpr long kFromPager = 2;
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.window = static_cast<Window>(window);
    message.xclient.message_type = XInternAtom(impl_->display, "_NET_ACTIVE_WINDOW", False);
    message.xclient.format = 32;
    message.xclient.data.l[0] = kFromPager;
    message.xclient.data.l[1] = CurrentTime;
    XSendEvent(impl_->display, impl_->root, False,
               SubstructureRedirectMask | SubstructureNotifyMask, &message);
    XFlush(impl_->display);
    return true;
}

std::optional<POINT> X11Input::keyPressPoint(std::int32_t vk) {
    for (const int code : impl_->keycodesFor(vk)) {
        if (auto at = impl_->latch.pressPoint(code)) {
            return at;
        }
    }
    return std::nullopt;
}

std::int16_t X11Input::asyncKeyState(std::int32_t vk) {
    const std::vector<int>& codes = impl_->keycodesFor(vk);
    if (codes.empty()) {
        return 0;
    }
    if (!hasRawKeys()) {
        return impl_->keymapHasDown(codes) ? kKeyDownNow : 0;
    }
    impl_->drain();
    // keycodesFor may have been invalidated by a mapping change seen while draining.
    return impl_->latch.query(impl_->keycodesFor(vk));
}

}  // namespace morvane::x11
