"""The products under the harness: the Linux program on X11 and on Wayland desktops (KDE,
GNOME), and Morvane.exe under Wine.

Each adapter starts its program and the recorder that belongs with it, and reads the window the
way its platform exposes it: the Linux program over AT-SPI (Qt's accessibility bridge, on a
session bus of the test's own), Morvane.exe through Win32 (the recorder's probe mode). Both hand
the scenarios the same State; where the controls are comes from the layout table itself, which
each recorder prints at the program's DPI.
"""

import copy
import json
import os
import re
import shutil
import signal
import subprocess
import time
from typing import NamedTuple

from harness import (ELSEWHERE, RECORDER, TARGET, Desktop, Failure, GnomeDesktop, WaylandDesktop,
                     check, now_us, read_line, wait)

BOX_TITLE = "Morvane"


class Box(NamedTuple):
    title: str
    items: list  # (kind, text) of each visible control: "label", "button", "icon"


class State(NamedTuple):
    title: str
    iconic: bool
    client: tuple
    controls: list  # (kind, (x, y, w, h) in client pixels, text)
    boxes: list


def accessibility_bus(env):
    """The AT-SPI bus of the session whose bus `env` names."""
    import dbus  # noqa: only Debian's python3 has it; scenarios.py restarts under that one
    session = dbus.bus.BusConnection(env["DBUS_SESSION_BUS_ADDRESS"])
    return dbus.bus.BusConnection(str(session.get_object("org.a11y.Bus", "/org/a11y/bus")
                                      .GetAddress(dbus_interface="org.a11y.Bus")))


class Product:
    """What the scenarios and the benchmark do with a program, whichever it is."""

    @staticmethod
    def unavailable():
        """Why the product cannot run on this machine although its tools are there, or None."""
        return None

    key_hold = 0.0  # how long a hotkey is held down
    rect_slack = 0  # pixels a control may sit off the layout table
    focus_settle = 0.0  # seconds between the X focus moving and the program taking keys
    exit_grace_ms = 50  # from the unload to the process gone
    close_latency_ms = 0  # from close_window()'s instant to the close reaching the window
    box_takes_focus = True  # a box opened while another program is in front gets the keys
    box_keeps_form_minimized = True  # a box opened while Form1 is minimized leaves it so

    def __init__(self, opts, dpi=96, env=None, **desktop_options):
        self.opts = opts
        self.dpi = dpi
        self.desktop = d = self.make_desktop(**desktop_options)
        self.env = {**d.env, **(env or {})}
        self.proc = self.form = self.recorder = self.layout = self.stderr = None

    def make_desktop(self, xvfb_options=(), window_manager=False):
        return Desktop(xvfb_options, window_manager)

    def close(self):
        self.desktop.close()

    def prepare(self):
        """The recorder, and the layout table at the program's DPI."""
        if self.recorder is None:
            self.start_recorder()
            self.recorder = self.desktop.window("the recorder window", "^morvane-recorder$")
            self.layout = self.read_layout()

    def start(self):
        """The program; returns once Form1 is on the screen."""
        self.prepare()
        self.proc = self.launch()
        # Wine starts its own services first, which on a busy machine has taken over 20 s.
        self.form = self.desktop.window("Form1", self.form_class, timeout=45,
                                        field="--classname")
        wait("Form1 to be readable", lambda: self.state().title is not None, 10)
        time.sleep(0.3)  # the first hotkey poll

    def control(self, state, name):
        """The live control that sits where the layout table puts `name`."""
        row = self.layout["controls"][name]
        kind, (x, y, w, h) = row["kind"], row["rect"]
        near = [(abs(r[0] + r[2] / 2 - x - w / 2) + abs(r[1] + r[3] / 2 - y - h / 2), r, text)
                for k, r, text in state.controls if k == kind]
        check(near, f"no {kind} in the window for {name}")
        return min(near)[1:]

    def text(self, name):
        return self.control(self.state(), name)[1]

    def click(self, name):
        fx, fy, _, _ = self.desktop.geometry(self.form)
        x, y, w, h = self.layout["controls"][name]["rect"]
        self.desktop.click_at(fx + x + w // 2, fy + y + h // 2)

    def focus(self, window):
        self.desktop.focus(window)
        time.sleep(self.focus_settle)

    def press(self, key, window=None):
        """`key` pressed while `window` (the recorder) has the focus, held key_hold seconds."""
        self.focus(window or self.recorder)
        if self.key_hold:
            self.desktop.xdotool("keydown", key)
            time.sleep(self.key_hold)
            self.desktop.xdotool("keyup", key)
        else:
            self.desktop.xdotool("key", key)

    def box(self, timeout=10):
        return wait("a message box", lambda: self.state().boxes, timeout)

    def dismiss(self, prompt, at_us=None):
        """Checks the one open box (title, prompt, a single OK, no icon) and presses Enter on it
        (at `at_us` on the recorders' clock if given); returns when that was and when its window
        went away."""
        expected = Box(BOX_TITLE, [("button", "OK"), ("label", prompt)])
        self.box()
        boxes = []

        def as_expected():
            boxes[:] = [Box(b.title, sorted(b.items)) for b in self.state().boxes]
            return boxes == [expected]
        # On GNOME's Xwayland a box just shown reads for a moment (some 60 ms) with its text as
        # its name, which is what Qt names a box by while it finds no title; then its title.
        try:
            wait("the box to settle", as_expected, 1.0)
        except Failure:
            pass
        check(boxes == [expected],
              f"expected one box titled {BOX_TITLE!r} saying {prompt!r} with a single OK "
              f"button and no icon, found {boxes}")
        window = self.desktop.window("the box's window", f"^{BOX_TITLE}$")
        self.focus(window)
        time.sleep(max(0, (at_us or 0) - now_us()) / 1e6)
        pressed = now_us()
        self.desktop.xdotool("key", "Return")
        wait("the box's window to go", lambda: window not in self.desktop.windows(
            f"^{BOX_TITLE}$"), 10, step=0.01)
        gone = now_us()
        # The refusal may follow at once: the box has closed when this prompt is gone.
        wait("the box to close", lambda: all(
            ("label", prompt) not in b.items for b in self.state().boxes), 10)
        return pressed, gone

    def capture(self, target=TARGET):
        """取点, hover `target`, F7 from the recorder: Label1 follows, then stays."""
        expected = "横坐标:%d 纵坐标:%d" % target

        def reads():  # a read-out taken while the window is still settling may lack the label
            try:
                return self.text("Label1") == expected
            except Failure:
                return False

        # On a loaded machine the first click can come before the window takes input; a
        # second 取点 only restarts the capture.
        for last in (False, True):
            self.click("Command1")
            self.desktop.move(*target)
            try:
                wait(f"Label1 to read {expected}", reads, 10 if last else 5)
                break
            except Failure:
                if last:
                    raise
        self.press("F7")
        time.sleep(0.45)  # the 200 ms hotkey poll sees it
        self.desktop.move(*ELSEWHERE)
        time.sleep(0.5)  # a capture still running would follow the pointer here
        check(self.text("Label1") == expected, "Label1 kept following the cursor after F7")

    def type_interval(self, text):
        self.click("Text2")
        self.focus(self.form)  # with no window manager a click does not move X focus
        if text:
            self.desktop.xdotool("type", "--delay", "60", text)
        time.sleep(0.3)

    def first_clicks(self, seconds, first_timeout=5):
        """The clicks of `seconds` from the first one on."""
        start = len(wait("the first click", self.desktop.clicks, first_timeout)) - 1
        time.sleep(seconds)
        return self.desktop.clicks()[start:]

    def wait_exit(self, timeout):
        """Exit code and the instant (recorders' clock) the program was seen gone."""
        wait(f"the program to end within {timeout} s", lambda: self.proc.poll() is not None,
             timeout, step=0.001)
        return self.proc.returncode, now_us()

    def rss_kb(self, key="VmRSS"):
        with open(f"/proc/{self.pid()}/status", encoding="ascii") as f:
            return int(next(line for line in f if line.startswith(key + ":")).split()[1])

    def stall(self, seconds):
        """The program stopped for `seconds`: (stopped, continued) on the recorders' clock."""
        stopped, pid = now_us(), self.pid()
        os.kill(pid, signal.SIGSTOP)
        time.sleep(seconds)
        os.kill(pid, signal.SIGCONT)
        return stopped, now_us()

    def window_checks(self):
        pass

    def key_thief(self, seconds):
        """Another program that takes F12's "pressed since the last query" bit for `seconds`,
        where the platform shares one; the file it notes each take in, or None."""
        return None


class Linux(Product):
    form_class = "^morvane$"
    rect_slack = 1  # Qt places children relative to their frame, rounding each step

    def start_recorder(self):
        d = self.desktop
        d.spawn([self.opts.recorder, d.log, *map(str, RECORDER)])
        if self.dpi != 96:  # Qt reads Xft.dpi from the root window
            subprocess.run(["xprop", "-root", "-f", "RESOURCE_MANAGER", "8s", "-set",
                            "RESOURCE_MANAGER", f"Xft.dpi:\t{self.dpi}\n"], env=self.env,
                           check=True, timeout=10)
        read_fd, write_fd = os.pipe()
        # The bus starts the AT-SPI registry in its own environment. Without DISPLAY there the
        # registry does not listen to every X input event (it would spend a sixth of a core on
        # the clicks at 1 ms); Qt and this reader find the accessibility bus through D-Bus.
        d.spawn(["dbus-daemon", "--session", "--nofork", f"--print-address={write_fd}"],
                env={k: v for k, v in d.env.items() if k != "DISPLAY"}, pass_fds=(write_fd,),
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        # The AT-SPI bus and registry it starts on demand end with it.
        self.env.update(DBUS_SESSION_BUS_ADDRESS=read_line(read_fd, "dbus-daemon"),
                        QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")

    def read_layout(self):
        return json.loads(subprocess.run([self.opts.recorder, "layout", str(self.dpi)],
                                         capture_output=True, check=True, timeout=10).stdout)

    def launch(self):
        # One file for each program started: a second copy must not cut the first's short.
        self.stderr = os.path.join(self.desktop.dir, f"morvane{len(self.desktop.procs)}.err")
        with open(self.stderr, "w", encoding="utf-8") as err:
            return self.desktop.spawn([self.opts.morvane], env=self.env, stderr=err)

    def pid(self):
        return self.proc.pid

    def state(self):
        import dbus  # noqa: only Debian's python3 has it; scenarios.py restarts under that one
        bus = accessibility_bus(self.env)

        def node(ref):  # (role, text, extents, showing, children)
            obj = bus.get_object(*ref)
            acc = dbus.Interface(obj, "org.a11y.atspi.Accessible")
            role = str(acc.GetRoleName())
            text = (obj.GetText(0, -1, dbus_interface="org.a11y.atspi.Text") if role == "text"
                    else obj.Get("org.a11y.atspi.Accessible", "Name",
                                 dbus_interface="org.freedesktop.DBus.Properties"))
            extents = obj.GetExtents(dbus.UInt32(0), dbus_interface="org.a11y.atspi.Component")
            showing = acc.GetState()[0] & (1 << 25)  # ATSPI_STATE_SHOWING
            return role, str(text), tuple(map(int, extents)), showing, acc.GetChildren()

        def below(top):  # every node under `top`, breadth first
            found, refs = [], list(top[4])
            while refs:
                found.append(node(refs.pop(0)))
                refs += found[-1][4]
            return found

        def pid(ref):
            return bus.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus", "GetConnectionUnixProcessID", "s",
                                     (ref[0],))

        apps = node(("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"))[4]
        tops = [node(top) for app in apps if pid(app) == self.proc.pid for top in node(app)[4]]
        form = next((top for top in tops if not top[0].startswith("alert")), None)
        # No window manager: the recorder saw the request, also after the program has gone.
        iconic = [str(self.form)] in self.desktop.lines("iconify")
        if form is None:
            return State(None, iconic, None, [], [])
        kinds = {"panel": "frame", "label": "label", "push button": "button", "text": "text"}
        # Qt shows a box's icon as a picture label: "graphic", or a label without text.
        boxes = [Box(top[1], [("icon" if r == "graphic" or (r == "label" and not text)
                               else kinds.get(r, r), text)
                              for r, text, _, shown, _ in below(top) if shown and r != "panel"])
                 for top in tops if top[0].startswith("alert") and top[3]]
        # AT-SPI speaks device-independent pixels; Xft.dpi scales them on the screen.
        fx, fy, fw, fh = form[2]
        scale = self.desktop.geometry(self.form)[2] / fw
        controls = [(kinds[r], tuple(round(v * scale) for v in (x - fx, y - fy, w, h)), text)
                    for r, text, (x, y, w, h), _, _ in below(form) if r in kinds]
        return State(form[1], iconic, (round(fw * scale), round(fh * scale)), controls, boxes)

    def set_text2(self, text):
        """Text2's text replaced through the accessibility bridge, as a paste would."""
        import dbus  # noqa: only Debian's python3 has it
        bus = accessibility_bus(self.env)
        refs = [("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root")]
        while refs:
            obj = bus.get_object(*refs.pop(0))
            acc = dbus.Interface(obj, "org.a11y.atspi.Accessible")
            if acc.GetRoleName() == "text":
                check(obj.SetTextContents(text, dbus_interface="org.a11y.atspi.EditableText"),
                      "Text2 refused the text")
                return
            refs += acc.GetChildren()
        raise Failure("no Text2 over AT-SPI")

    def swap_buttons(self, swapped):
        """A left-handed pointer mapping (3 2 1), or the default one back. XTest's buttons go
        through it too, so the harness then clicks with physical button 3."""
        subprocess.run(["xmodmap", "-e", "pointer = 3 2 1" if swapped else "pointer = default"],
                       env=self.env, check=True, timeout=10, capture_output=True)
        self.desktop.primary = 3 if swapped else 1

    def close_window(self):
        """WM_DELETE_WINDOW, as a window manager's close button sends it; its X server time."""
        out = subprocess.run([self.opts.recorder, "close", str(self.form)], env=self.env, check=True,
                             capture_output=True, text=True, timeout=10).stdout
        return "ms", int(out)

    def window_checks(self):
        """Fixed size from the layout table, the shared 32 x 32 icon."""
        props = subprocess.run(["xprop", "-id", str(self.form), "WM_NORMAL_HINTS",
                                "_NET_WM_ICON"], env=self.env, capture_output=True, text=True,
                               timeout=10, check=False).stdout
        size = "%d by %d" % tuple(self.layout["client"])
        check(f"minimum size: {size}" in props and f"maximum size: {size}" in props,
              f"the window is not fixed at {size}: {props[:300]!r}")
        check("Icon (32 x 32)" in props, "no 32 x 32 window icon")


class Wayland(Linux):
    """The Linux program on a Wayland desktop (headless KWin): its window on Xwayland, clicks,
    the cursor and the hotkeys through the portals and the desktop's shortcut service, clicking
    onto a Wayland-native recorder."""

    # KWin brings a minimized window back with the modal box it activates; no window manager
    # (the X11 tests) leaves it minimized.
    box_keeps_form_minimized = False
    # The way out gives the keys back to KDE's shortcut service and ends the portal session,
    # each a round trip on the bus.
    exit_grace_ms = 100
    # The close goes through Xwayland and KWin to the window while the clicks go on.
    close_latency_ms = 100

    def __init__(self, opts, dpi=96, env=None, outputs=1, portal=True, window_manager=False):
        # A compositor is its own window manager: `window_manager` asks for nothing more.
        del window_manager
        super().__init__(opts, dpi, {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", **(env or {})},
                         outputs=outputs)
        self.portal = portal
        # With two monitors the recorder stands on the second one.
        self.shift = (outputs - 1) * WaylandDesktop.SIZE[0]
        print(f"Wayland desktop up in {self.desktop.started_s:.2f} s")
        if not portal:
            self.env["DBUS_SESSION_BUS_ADDRESS"] = self.bus_without_portal()

    def make_desktop(self, outputs=1):
        return WaylandDesktop(self.opts.wl_tool, outputs)

    def prepare(self):
        if self.recorder is None:
            d = self.desktop
            x, y, w, h = RECORDER
            d.spawn([self.opts.wl_tool, "record", d.log, *map(str, (x + self.shift, y, w, h))])
            wait("the recorder window", lambda: os.path.exists(d.log), 10)
            self.recorder = "recorder"
            self.layout = self.read_layout()

    def start(self, stream=True):
        """As for every product; `stream` also waits for the cursor stream to run."""
        super().start()
        # KWin centres a new window, on top of the recorder; the X11 harness has it top left.
        # Asked again until it holds: KWin may not manage the window yet when it is mapped.
        wait("Form1 to move top left", lambda: self.desktop.for_window(
            self.form, "c.frameGeometry = {x: 0, y: 0, width: c.frameGeometry.width, "
            "height: c.frameGeometry.height};") or self.desktop.geometry(self.form)[0] == 0, 5,
             step=0.2)
        # The desktop sends the cursor only when it moves: a move made before the program's
        # screen-cast stream runs is never seen.
        if self.portal and stream:
            try:
                wait("the program's cursor stream to run", self.cursor_stream_running, 10,
                     step=0.1)
            except Failure as failure:
                with open(os.path.join(self.desktop.dir, "wireplumber.log"),
                          encoding="utf-8") as f:
                    said = f.read()[-500:]
                raise Failure(f"{failure}; PipeWire's nodes: {self.video_nodes()}; "
                              f"WirePlumber said: {said!r}")

    def another_copy(self):
        """One more copy of the program on this desktop, opened as the first was: an adapter of
        its own over the same desktop and recorder, returned once its window is readable."""
        other = copy.copy(self)
        known = set(self.desktop.windows(self.form_class, "--classname"))
        other.proc = other.launch()
        other.form = wait("the other copy's window", lambda: min(
            set(self.desktop.windows(self.form_class, "--classname")) - known, default=None), 20)
        wait("the other copy to be readable", lambda: other.state().title is not None, 10)
        return other

    def bus_without_portal(self):
        """A session bus for the program that can start the accessibility bus and nothing else:
        a desktop without the portal, or without its backend."""
        d = self.desktop
        services = os.path.join(d.dir, "services")
        os.mkdir(services)
        shutil.copy("/usr/share/dbus-1/services/org.a11y.Bus.service", services)
        # The session bus's own configuration, its service folders swapped for that one.
        with open("/usr/share/dbus-1/session.conf", encoding="utf-8") as f:
            conf = f.read()
        check("<standard_session_servicedirs />" in conf, "unexpected session.conf")
        config = os.path.join(d.dir, "bus.conf")
        with open(config, "w", encoding="utf-8") as f:
            f.write(conf.replace("<standard_session_servicedirs />",
                                 f"<servicedir>{services}</servicedir>"))
        read_fd, write_fd = os.pipe()
        d.spawn(["dbus-daemon", f"--config-file={config}", "--nofork",
                 f"--print-address={write_fd}"], pass_fds=(write_fd,),
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        return read_line(read_fd, "the bus without a portal")

    def video_nodes(self):
        dump = subprocess.run(["pw-dump"], env=self.env, capture_output=True, text=True,
                              timeout=10, check=False).stdout
        return [(o["id"], o["info"].get("state"), o["info"].get("error"),
                 o["info"]["props"].get("node.name"))
                for o in json.loads(dump or "[]") if o.get("type") == "PipeWire:Interface:Node"]

    def cursor_stream_running(self):
        dump = subprocess.run(["pw-dump"], env=self.env, capture_output=True, text=True,
                              timeout=10, check=False).stdout
        return any(o.get("type") == "PipeWire:Interface:Node" and
                   o.get("info", {}).get("state") == "running" and
                   o["info"].get("props", {}).get("media.class") == "Stream/Input/Video" and
                   o["info"]["props"].get("node.name") == "morvane"
                   for o in json.loads(dump or "[]"))

    def state(self):
        state = super().state()
        props = subprocess.run(["xprop", "-id", str(self.form), "_NET_WM_STATE"], env=self.env,
                               capture_output=True, text=True, timeout=10, check=False).stdout
        return state._replace(iconic="_NET_WM_STATE_HIDDEN" in props)

    def close_window(self):
        """WM_DELETE_WINDOW, as KWin's close button sends it to an X11 window; the instant it
        was sent. Sent from X rather than asked of KWin's scripting, which runs a script when it
        gets to it: under load, after the harness had unloaded it, so that no close came."""
        at = now_us()
        subprocess.run([self.opts.recorder, "close", str(self.form)], env=self.env, check=True,
                       capture_output=True, timeout=10)
        return "us", at

    def bus_names_of(self, pid):
        """The unique names `pid` holds on the desktop's session bus."""
        bus = self.desktop.bus()
        daemon = ("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus")
        return [str(n) for n in bus.call_blocking(*daemon, "ListNames", "", ())
                if n.startswith(":") and bus.call_blocking(
                    *daemon, "GetConnectionUnixProcessID", "s", (n,)) == pid]

    def service_pid(self, name):
        """The process that owns `name` on the desktop's session bus."""
        return int(self.desktop.bus().call_blocking(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "GetConnectionUnixProcessID", "s", (name,)))

    def end_session(self):
        """The desktop ends the remote control session, as its "end" control does: the portal's
        backend closes, from its side, the session it holds for the program. The backend and
        the session are found on the bus, not assumed."""
        import dbus  # noqa: only Debian's python3 has it
        bus = self.desktop.bus()
        backends = [str(n) for n in bus.call_blocking(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ListNames",
            "", ()) if n.startswith("org.freedesktop.impl.portal.desktop.")]
        names = self.bus_names_of(self.proc.pid)
        check(names, "the program is not on the session bus")
        for backend in backends:
            for name in names:
                folder = f"/org/freedesktop/portal/desktop/session/{name[1:].replace('.', '_')}"
                try:
                    xml = bus.call_blocking(backend, folder,
                                            "org.freedesktop.DBus.Introspectable", "Introspect",
                                            "", ())
                except dbus.DBusException:
                    continue
                for token in re.findall(r'<node name="([^"]+)"', xml):
                    at = now_us()
                    bus.call_blocking(backend, f"{folder}/{token}",
                                      "org.freedesktop.impl.portal.Session", "Close", "", ())
                    return at
        raise Failure("no remote control session to end")


class Kde6(Wayland):
    """The Linux program on KDE Plasma 6's KWin where it has no screen cast to give (no render
    node): the window and the keys, no clicks or cursor."""

    def start(self, stream=False):
        super().start(stream)

    def shortcut_components(self):
        """The components KDE's shortcut service holds keys for, by name."""
        paths = self.desktop.bus().call_blocking("org.kde.kglobalaccel", "/kglobalaccel",
                                                 "org.kde.KGlobalAccel", "allComponents", "",
                                                 ())
        return [str(path).rsplit("/", 1)[-1] for path in paths]


class Node(NamedTuple):
    """One object on the AT-SPI bus."""
    ref: tuple
    role: str
    name: str
    states: int  # bit n: AT-SPI's state n
    actions: list

    CHECKED = 1 << 4

    def checked(self):
        return bool(self.states & self.CHECKED)


def accessible(bus, ref, actions=True):
    """The Node at `ref`, and its children's refs."""
    import dbus  # noqa: only Debian's python3 has it
    obj = bus.get_object(*ref)
    acc = dbus.Interface(obj, "org.a11y.atspi.Accessible")
    name = obj.Get("org.a11y.atspi.Accessible", "Name",
                   dbus_interface="org.freedesktop.DBus.Properties")
    low, high = acc.GetState()
    names = []
    if actions:  # the shell's objects complain on its stderr when asked and they have none
        try:
            count = obj.Get("org.a11y.atspi.Action", "NActions",
                            dbus_interface="org.freedesktop.DBus.Properties")
            names = [str(obj.GetName(i, dbus_interface="org.a11y.atspi.Action"))
                     for i in range(count)]
        except dbus.DBusException:  # no actions to name
            pass
    return Node(tuple(map(str, ref)), str(acc.GetRoleName()), str(name),
                int(low) | int(high) << 32, names), acc.GetChildren()


def windows_saying(env, text):
    """Every node of each top-level window, of any program but the shell, that has a node named
    `text`."""
    import dbus  # noqa: only Debian's python3 has it
    bus = accessibility_bus(env)
    found = []
    try:
        _, apps = accessible(bus, ("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"))
        for app in apps:
            program, tops = accessible(bus, app)
            if program.name == "gnome-shell":  # its top bar and overview, when it is accessible
                continue
            for top in tops:
                nodes, refs = [], [top]
                while refs:
                    n, children = accessible(bus, refs.pop(0))
                    nodes.append(n)
                    refs += children
                if any(n.name == text for n in nodes):
                    found.append(nodes)
    except dbus.DBusException:  # a window that went while it was read: read again
        return []
    return found


def act(env, node, action):
    """`action` done on `node`, as the user's assistive technology does it."""
    bus = accessibility_bus(env)
    check(action in node.actions, f"{node.role} {node.name!r} has no action {action}")
    check(bus.get_object(*node.ref).DoAction(node.actions.index(action),
                                             dbus_interface="org.a11y.atspi.Action"),
          f"{node.role} {node.name!r} refused {action}")


class Gnome48(Wayland):
    """The Linux program on GNOME 48's shell, headless: its window and the X11 recorder on
    Xwayland, the clicks, the cursor and the keys through the portals. GNOME asks the user
    before it lets a program control the desktop, and again before it binds its keys (GNOME
    Settings' dialog); the test answers both over AT-SPI, as a user of assistive technology
    would."""

    REMOTE_DIALOG = "Allow Remote Interaction"
    KEYS_DIALOG = "Add Keyboard Shortcuts"
    KEYS_ASKED = ("桌面在询问是否允许本程序使用全局快捷键 F7、F10、F12：请选择“添加”。这样本程序的"
                  "窗口不在前面时，这些键也有用：F7 选定点击位置，F10 运行，F12 停止点击并退出。")

    def __init__(self, opts, dpi=96, env=None, shell_accessible=False, **options):
        self.shell_accessible = shell_accessible
        super().__init__(opts, dpi, env, **options)

    def make_desktop(self, outputs=1):
        return GnomeDesktop(outputs, self.shell_accessible)

    def prepare(self):
        if self.recorder is None:
            d = self.desktop
            d.spawn([self.opts.recorder, d.log, *map(str, RECORDER)])
            self.recorder = d.window("the recorder window", "^morvane-recorder$")
            self.layout = self.read_layout()

    def start(self, stream=True, consent=True, keys=True):
        """As for every product. `consent`: the remote desktop dialog is expected, and
        answered; `keys`: the same for the key binding dialog; `stream`: waits for the cursor
        stream to run. The seconds from the window to each dialog answered: self.answered."""
        Linux.start(self)
        shown, self.answered = time.monotonic(), {}
        if consent:
            self.allow_remote_control()
            self.answered["remote"] = time.monotonic() - shown
        if keys:
            self.add_keys()
            self.answered["keys"] = time.monotonic() - shown
        # mutter places a new window in the middle, over the recorder; the harness has it top
        # left, here below the shell's top bar.
        self.place(self.form, 0, 0)
        if stream:
            wait("the program's cursor stream to run", self.cursor_stream_running, 10, step=0.1)

    def place(self, window, x, y):
        """`window`'s frame moved to x, y, or as near as the shell lets it (not over its bar)."""
        wait(f"window {window} to move to {x}, {y}", lambda: Desktop.xdotool(
            self.desktop, "windowmove", window, x, y) or self.desktop.geometry(window)[0] == x,
             5, step=0.2)

    def dialog(self, text, timeout=20):
        found = wait(f"a dialog saying {text!r}",
                     lambda: windows_saying(self.env, text), timeout, step=0.3)
        check(len(found) == 1, f"{len(found)} dialogs saying {text!r}")
        return found[0]

    def dialog_open(self, text):
        return bool(windows_saying(self.env, text))

    def dialog_gone(self, text, timeout=10):
        wait(f"the dialog saying {text!r} to close", lambda: not self.dialog_open(text), timeout,
             step=0.2)

    def allow_remote_control(self):
        """The portal's dialog: interaction switched on (it starts off), the selection
        remembered (GNOME ticks it; without it no restore token), Share."""
        nodes = self.dialog(self.REMOTE_DIALOG)
        switch = [n for n in nodes if n.role == "switch" and "toggle" in n.actions]
        remember = [n for n in nodes if n.name == "_Remember This Selection"]
        share = [n for n in nodes if n.role == "button" and n.name == "Share"]
        check(len(switch) == 1 and len(remember) == 1 and len(share) == 1,
              f"the remote desktop dialog is not as expected: {[n[1:3] for n in nodes]}")
        check(not switch[0].checked(), "remote interaction was allowed before it was asked")
        act(self.env, switch[0], "toggle")
        wait("the switch to be on", lambda: [n for n in windows_saying(
            self.env, self.REMOTE_DIALOG) if any(
            m.ref == switch[0].ref and m.checked() for m in n)], 5, step=0.1)
        check(remember[0].checked(), "the dialog does not offer to remember the selection")
        act(self.env, share[0], "click")
        self.dialog_gone(self.REMOTE_DIALOG)

    def add_keys(self):
        """GNOME Settings' dialog lists F7, F10 and F12 with what each does; meanwhile the
        program's own box says what the question is for. Add, then OK on that box."""
        nodes = self.dialog(self.KEYS_DIALOG)
        # Shown 1.5 s into the question, which the remote desktop dialog before it outlasts.
        self.box()
        keys = sorted(n.name for n in nodes if n.role == "label" and n.name in ("F7", "F10", "F12"))
        check(keys == ["F10", "F12", "F7"], f"the keys listed: {keys}")
        add = [n for n in nodes if n.role == "button" and n.name == "Add"]
        check(len(add) == 1, "no Add button")
        act(self.env, add[0], "click")
        self.dialog_gone(self.KEYS_DIALOG)
        self.dismiss(self.KEYS_ASKED)

    def end_session(self):
        """The desktop ends the remote control session as its user does: the top bar's Stop
        Screen Sharing button clicked (the shell must be accessible); the instant of the click."""
        import dbus  # noqa: only Debian's python3 has it
        check(self.shell_accessible, "the shell's top bar is not on the accessibility bus")
        bus = accessibility_bus(self.env)
        _, apps = accessible(bus, ("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"))
        shell = [app for app in apps if accessible(bus, app, False)[0].name == "gnome-shell"]
        check(shell, "the shell is not on the accessibility bus")
        refs = list(accessible(bus, shell[0], False)[1])
        while refs:  # breadth first: the top bar comes before the windows' contents
            found, children = accessible(bus, refs.pop(0), False)
            if found.name == "Stop Screen Sharing":
                break
            refs += children
        else:
            raise Failure("no Stop Screen Sharing button in the top bar")
        x, y, w, h = bus.get_object(*found.ref).GetExtents(
            dbus.UInt32(0), dbus_interface="org.a11y.atspi.Component")
        self.desktop.run_tool("move", x + w // 2, y + h // 2)
        at = now_us()
        self.desktop.run_tool("click")
        # The shell's stop ends every remote desktop session, the test's own input's too.
        wait("the stop to take", lambda: not self.desktop.input_alive(), 2, step=0.01)
        return at

    def token(self):
        path = os.path.join(self.env["XDG_CONFIG_HOME"], "morvane", "portal-restore-token")
        try:
            with open(path, encoding="utf-8") as f:
                return f.read().strip()
        except FileNotFoundError:
            return None

    def close_window(self):
        return Linux.close_window(self)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Wine(Product):
    form_class = "^morvane.exe$"
    # Wine reads GetAsyncKeyState from its own key state, which a tap between two polls misses.
    key_hold = 0.5
    focus_settle = 0.3  # Wine activates the window on the FocusIn it reads later
    # With no window manager on the display Wine waits 2 s for every window it hides to be
    # withdrawn ("wait_for_withdrawn_state ... timed out"): Form1, and the box if one is open.
    exit_grace_ms = 4500

    # Under openbox the box Wine 8 opens from the background comes on top of everything, but
    # the keyboard focus stays with the window that had it until the box is clicked: Wine 8's
    # X11 driver has no way to ask the window manager to activate a window (_NET_ACTIVE_WINDOW),
    # whatever the program calls. So for the first reminder as for the re-time's.
    box_takes_focus = False

    def __init__(self, opts, dpi=96, env=None, **desktop_options):
        super().__init__(opts, dpi, env, **desktop_options)
        self.env.update(WINEPREFIX=os.path.abspath(opts.prefix), WINEDEBUG="-all",
                        # No Mono or Gecko installer dialogs, no desktop menu entries.
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        if dpi != 96:
            self.set_dpi(dpi)

    def close(self):
        self.wineserver("-k")
        if self.dpi != 96:
            self.set_dpi(96)
        super().close()

    def wineserver(self, flag):
        subprocess.run(["wineserver", flag], env=self.env, timeout=60, stderr=subprocess.DEVNULL,
                       check=False)

    def wine(self, *argv, timeout=60):
        return subprocess.run(["wine", *map(str, argv)], env=self.env, cwd=self.desktop.dir,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout, check=False).returncode

    def make_prefix(self):
        if not os.path.exists(os.path.join(self.env["WINEPREFIX"], "system.reg")):
            check(subprocess.run(["wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL, timeout=240).returncode == 0,
                  "wineboot failed")
        # Wine waits for a window manager's WM_TAKE_FOCUS before it activates a window; with none
        # on the display, the X focus alone must do, or keys pressed there reach no window.
        check(self.wine("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "UseTakeFocus",
                        "/d", "N", "/f") == 0, "could not set UseTakeFocus")
        # The message font (Tahoma) has no Chinese glyphs and Wine, unlike Windows, links no
        # Chinese face to it: the boxes' prompts would be empty squares.
        check(self.wine("reg", "add", r"HKLM\Software\Microsoft\Windows NT\CurrentVersion"
                        r"\FontLink\SystemLink", "/v", "Tahoma", "/t", "REG_MULTI_SZ", "/d",
                        "wqy-microhei.ttc,WenQuanYi Micro Hei", "/f") == 0,
              "could not link a Chinese face to the message font")
        self.set_dpi(96)  # a DPI test cut short by its timeout leaves its DPI behind

    def set_dpi(self, dpi):
        check(self.wine("reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t",
                        "REG_DWORD", "/d", dpi, "/f") == 0, "could not set the DPI")
        # Wine reads the DPI when its server starts.
        self.wineserver("-k")
        self.wineserver("-w")

    def start_recorder(self):
        check(os.path.exists(os.path.join(self.env["WINEPREFIX"], "system.reg")),
              "no Wine prefix (the wine_prefix test makes it)")
        self.desktop.spawn(["wine", self.opts.recorder, "record", windows_path(self.desktop.log),
                            *map(str, RECORDER)], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)

    def recorder_says(self, mode, *argv):
        """What the recorder wrote in `mode`: a Windows GUI program has no stdout to read."""
        out = os.path.join(self.desktop.dir, mode + ".txt")
        check(self.wine(self.opts.recorder, mode, *argv, windows_path(out)) == 0,
              f"the recorder's {mode} failed")
        with open(out, encoding="utf-8") as f:
            return f.read()

    def read_layout(self):
        return json.loads(self.recorder_says("layout", self.dpi))

    def launch(self):
        return self.desktop.spawn(["wine", self.opts.exe], env=self.env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def pid(self):
        """The Windows process `wine Morvane.exe` became (the loader may exec or fork)."""
        if read_proc(self.proc.pid, "comm").strip().lower() == "morvane.exe":
            return self.proc.pid
        found = [p for p in processes("Morvane.exe")
                 if os.getpgid(p) == os.getpgid(self.proc.pid)]
        check(len(found) == 1, f"{len(found)} Morvane.exe processes")
        return found[0]

    def state(self):
        title, iconic, client, controls, boxes = None, False, None, [], []
        for line in self.recorder_says("probe").splitlines():
            key, _, rest = line.partition(" ")
            if key == "form":
                flag, w, h, title = rest.split(" ", 3)
                iconic, client = flag == "1", (int(w), int(h))
            elif key == "control":
                kind, x, y, w, h, text = rest.split(" ", 5)
                controls.append((kind, (int(x), int(y), int(w), int(h)), text))
            elif key == "box":
                boxes.append(Box(rest, []))
            elif key == "boxitem":
                boxes[-1].items.append(tuple(rest.split(" ", 1)))
        return State(title, iconic, client, controls, boxes)

    def set_text2(self, text):
        check(self.wine(self.opts.recorder, "settext", text) == 0, "could not set Text2")

    def swap_buttons(self, swapped):
        """SwapMouseButton, as the mouse settings for a left hand set it."""
        check(self.wine(self.opts.recorder, "swap", int(swapped)) == 0,
              "could not swap the mouse buttons")

    def key_thief(self, seconds):
        out = os.path.join(self.desktop.dir, "thief.txt")
        self.desktop.spawn(["wine", self.opts.recorder, "thief", str(seconds), windows_path(out)],
                           env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait("the key thief to run", lambda: os.path.exists(out) and open(
            out, encoding="ascii").read().startswith("ready"), 20)
        return out

    def hang_foreground(self):
        """A program in front that presses F10 and then stops answering for half a minute."""
        self.desktop.spawn(["wine", self.opts.recorder, "hang", "30"], env=self.env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.desktop.window("the hung program's window", "^morvane-hung$")

    def close_window(self):
        """The system menu's Close; the instant on the recorders' clock."""
        return "us", int(self.recorder_says("close").split()[1])


class Wine32(Wine):
    """The 32-bit Morvane.exe under 32-bit Wine, in a prefix of that architecture."""

    @staticmethod
    def unavailable():
        """Why 32-bit Wine cannot run here, or None."""
        try:
            if subprocess.run(["/usr/lib/wine/wine", "--version"], capture_output=True,
                              timeout=30, check=False).returncode == 0:
                return None
            return "/usr/lib/wine/wine does not run"
        except FileNotFoundError:
            return "no 32-bit Wine (wine32:i386)"
        except OSError as e:  # ENOEXEC: a kernel without 32-bit emulation
            return f"this kernel runs no 32-bit programs ({e.strerror})"

    def __init__(self, opts, dpi=96, env=None, **desktop_options):
        super().__init__(opts, dpi, {**(env or {}), "WINEARCH": "win32"}, **desktop_options)


def read_proc(pid, name, mode="r"):
    try:
        with open(f"/proc/{pid}/{name}", mode) as f:
            return f.read()
    except OSError:
        return "" if mode == "r" else b""


def processes(comm):
    return [int(p) for p in os.listdir("/proc")
            if p.isdigit() and read_proc(p, "comm").startswith(comm)]
