"""The end-to-end harness: an X server of its own, real X input and the click recorder's log.

A product adapter (products.py) starts one program on it and reads that program's window; the
scenarios (scenarios.py) and the benchmark drive either product through the same calls. Every
wait is bounded and raises Failure when it runs out; every process started here is ended by pid.
"""

import ctypes
import glob
import json
import os
import select
import shutil
import struct
import subprocess
import tempfile
import time
from typing import NamedTuple

SKIP = 77
# The recorder window, away from Form1 in the top-left corner; the clicks go to TARGET on it.
RECORDER = (400, 200, 500, 400)
TARGET = (600, 350)
ELSEWHERE = (780, 520)
# openbox is the one CI runs; the others are there to try a scenario under by hand
# (scenarios.py --window-manager NAME).
WINDOW_MANAGERS = {"openbox": ["openbox", "--sm-disable"],
                   "xfwm4": ["xfwm4", "--sm-client-disable"],
                   "metacity": ["metacity", "--sm-disable"],
                   "mutter": ["mutter", "--x11", "--sm-disable"],
                   "kwin": ["kwin_x11"]}


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait(what, predicate, timeout, step=0.05):
    """The first truthy value of predicate(); Failure once `timeout` seconds have passed."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout} s waiting for {what}")
        time.sleep(step)


def now_us():
    """The recorders' clock: QueryPerformanceCounter under Wine reads the raw monotonic clock."""
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW) // 1000


def read_line(fd, what, timeout=10):
    """One line a child writes to a pipe as it starts up (Xvfb's display, the bus address)."""
    data = b""
    deadline = time.monotonic() + timeout
    while not data.endswith(b"\n"):
        check(select.select([fd], [], [], max(0, deadline - time.monotonic()))[0],
              f"{what} did not start")
        chunk = os.read(fd, 256)
        check(chunk, f"{what} exited while starting")
        data += chunk
    os.close(fd)
    return data.decode().strip()


class Click(NamedTuple):
    x: int
    y: int
    us: int  # the recorder's clock
    ms: int  # the event's own time: X server time, or the Win32 message time
    button: int


class Instant:
    """Key and pointer input sent at a chosen instant, which xdotool's start-up (several ms, more
    on a busy machine) would blur: XTest over a connection of its own, each event synced."""

    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        c = ctypes
        self.x11.XOpenDisplay.restype = c.c_void_p
        self.x11.XOpenDisplay.argtypes = [c.c_char_p]
        self.x11.XCloseDisplay.argtypes = [c.c_void_p]
        self.x11.XSync.argtypes = [c.c_void_p, c.c_int]
        self.x11.XStringToKeysym.restype = c.c_ulong
        self.x11.XStringToKeysym.argtypes = [c.c_char_p]
        self.x11.XKeysymToKeycode.argtypes = [c.c_void_p, c.c_ulong]
        self.xtst.XTestFakeKeyEvent.argtypes = [c.c_void_p, c.c_uint, c.c_int, c.c_ulong]
        self.xtst.XTestFakeButtonEvent.argtypes = [c.c_void_p, c.c_uint, c.c_int, c.c_ulong]
        self.xtst.XTestFakeMotionEvent.argtypes = [c.c_void_p, c.c_int, c.c_int, c.c_int,
                                                   c.c_ulong]
        self.display = self.x11.XOpenDisplay(display.encode())
        check(self.display, f"cannot open display {display}")

    def close(self):
        self.x11.XCloseDisplay(self.display)

    def _sent(self):
        self.x11.XSync(self.display, 0)
        return now_us()

    def key(self, name, down):
        code = self.x11.XKeysymToKeycode(self.display, self.x11.XStringToKeysym(name.encode()))
        self.xtst.XTestFakeKeyEvent(self.display, code, int(down), 0)
        return self._sent()

    def move(self, x, y):
        self.xtst.XTestFakeMotionEvent(self.display, -1, x, y, 0)
        return self._sent()

    def click(self):
        """A left click; the instant the button went up, which is when a button acts."""
        self.xtst.XTestFakeButtonEvent(self.display, 1, 1, 0)
        self.xtst.XTestFakeButtonEvent(self.display, 1, 0, 0)
        return self._sent()


class Desktop:
    """Xvfb, xdotool and the recorder's log."""

    def __init__(self, xvfb_options=(), window_manager=False):
        self.primary = 1  # the physical button that clicks as the primary one
        self.dir = tempfile.mkdtemp(prefix="morvane-e2e-")
        self.procs = []
        self.env = {k: v for k, v in os.environ.items() if k != "WAYLAND_DISPLAY"}
        # The session type picks the program's desktop input: this one is X11 even when the
        # tests run from a Wayland desktop.
        self.env.update(XDG_RUNTIME_DIR=self.dir, XDG_SESSION_TYPE="x11")
        self.log = os.path.join(self.dir, "recorder.log")
        read_fd, write_fd = os.pipe()
        # -noreset: root window properties (Xft.dpi) outlive the client that set them.
        try:
            self.spawn(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
                        "-nolisten", "tcp", "-noreset", *xvfb_options], pass_fds=(write_fd,),
                       stderr=subprocess.DEVNULL)
            os.close(write_fd)
            self.env["DISPLAY"] = ":" + read_line(read_fd, "Xvfb")
            self.start_window_manager(window_manager)
        except BaseException:
            self.close()
            raise

    def start_window_manager(self, window_manager):
        if window_manager:  # stacking, activation and focus as on a desktop
            argv = WINDOW_MANAGERS[window_manager if window_manager is not True else "openbox"]
            env = self.env
            if argv[0] == "xfwm4":  # it reads its settings from xfconfd, over a session bus
                read_fd, write_fd = os.pipe()
                # Without DISPLAY, and without GTK's accessibility bridge, no accessibility bus
                # of this session's announces itself on the root window to the program.
                self.spawn(["dbus-daemon", "--session", "--nofork", f"--print-address={write_fd}"],
                           env={k: v for k, v in env.items() if k != "DISPLAY"},
                           pass_fds=(write_fd,), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
                os.close(write_fd)
                env = {**env, "NO_AT_BRIDGE": "1",
                       "DBUS_SESSION_BUS_ADDRESS": read_line(read_fd, "dbus-daemon")}
            self.spawn(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            # openbox sets the stacking list once its start-up is through and it manages new
            # windows; the check window it shows first comes too early for that. xfwm4 sets no
            # list before it has a client. (Before any client has named the atom, xprop says
            # "no such atom", which is not the property set either.)
            prop = "_NET_SUPPORTING_WM_CHECK" if argv[0] == "xfwm4" else "_NET_CLIENT_LIST_STACKING"
            wait(f"{argv[0]} to manage the screen", lambda: "(WINDOW)" in self.xprop_root(prop),
                 20)

    def spawn(self, argv, **kw):
        proc = subprocess.Popen(argv, **{"env": self.env, "cwd": self.dir, **kw})
        self.procs.append(proc)
        return proc

    def close(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        shutil.rmtree(self.dir, ignore_errors=True)

    # --- X input ---------------------------------------------------------------------------

    def xdotool(self, *argv):
        return subprocess.run(["xdotool", *map(str, argv)], env=self.env, capture_output=True,
                              text=True, timeout=20, check=False).stdout.strip()

    def windows(self, regex, field="--name"):
        return [int(w) for w in self.xdotool("search", "--onlyvisible", field, regex).split()]

    def window(self, what, regex, timeout=20, field="--name"):
        return wait(what, lambda: (self.windows(regex, field) or [None])[0], timeout)

    def xprop_root(self, prop):
        return subprocess.run(["xprop", "-root", prop], env=self.env, capture_output=True,
                              text=True, timeout=10, check=False).stdout

    def stacking(self):
        """The managed windows, bottom to top, as the window manager stacks them."""
        return [int(w, 16) for w in
                self.xprop_root("_NET_CLIENT_LIST_STACKING").split("#")[-1].split(",") if w.strip()]

    def geometry(self, window):
        """x, y, width, height on the screen. xwininfo rather than xdotool, whose position of a
        window a window manager has framed counts the frame's title bar twice."""
        info = subprocess.run(["xwininfo", "-id", str(window)], env=self.env, capture_output=True,
                              text=True, timeout=10, check=False).stdout
        fields = dict(line.strip().split(":", 1) for line in info.splitlines() if ":" in line)
        keys = ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")
        check(all(k in fields for k in keys), f"window {window:#x} has gone or has no geometry")
        return tuple(int(fields[k]) for k in keys)

    def pixels(self, window):
        """The window's pixels as X has them now: a function of (x, y) giving (r, g, b)."""
        dump = subprocess.run(["xwd", "-silent", "-id", str(window)], env=self.env,
                              capture_output=True, timeout=10, check=True).stdout
        header = struct.unpack(">25I", dump[:100])
        size, width, bits, line, masks, colours = (header[0], header[4], header[11], header[12],
                                                   header[14:17], header[19])
        check(width > 0, "xwd read an empty window")
        # mutter's Xwayland says 24 bits a pixel, and lays out lines of 32 all the same.
        check(bits in (24, 32) and line // width == 4, f"xwd gave {bits} bits per pixel, "
              f"{line} bytes a line of {width}")
        start, step = size + 12 * colours, 4
        shifts = [(m & -m).bit_length() - 1 for m in masks]

        def at(x, y):
            value = int.from_bytes(dump[start + y * line + step * x:][:step],
                                   "little" if header[7] == 0 else "big")
            return tuple((value & m) >> s for m, s in zip(masks, shifts))
        return at

    def focus(self, window):
        self.xdotool("windowfocus", "--sync", window)
        if self.xdotool("getwindowfocus") != str(window):  # kwin takes it back: ask it instead
            self.xdotool("windowactivate", "--sync", window)
        check(self.xdotool("getwindowfocus") == str(window), f"window {window} has no focus")

    def move(self, x, y):
        # --sync waits for the pointer to move, which it does not when it is there already.
        if self.xdotool("getmouselocation").split()[:2] != [f"x:{x}", f"y:{y}"]:
            self.xdotool("mousemove", "--sync", x, y)

    def click_at(self, x, y):
        self.move(x, y)
        self.xdotool("click", self.primary)

    def tap(self, key, seconds):
        """`key` down for `seconds`, timed by one xdotool rather than two process starts."""
        self.xdotool("keydown", key, "sleep", seconds, "keyup", key)

    # --- the recorder's log ----------------------------------------------------------------

    def lines(self, kind):
        try:
            with open(self.log, encoding="utf-8") as f:
                return [line.split()[1:] for line in f
                        if line.endswith("\n") and line.startswith(kind + " ")]
        except FileNotFoundError:
            return []

    def clicks(self):
        return [Click(*map(int, fields)) for fields in self.lines("click")]

    def key_presses_us(self):
        return [int(fields[1]) for fields in self.lines("key")]


class WaylandDesktop(Desktop):
    """A headless KWin on a session bus of its own, with PipeWire, the desktop portals and KDE's
    shortcut service: the Wayland desktop the Linux program meets on KDE. X11 programs (Morvane's
    window) run on its Xwayland; the recorder is Wayland-native; input goes through KWin's
    fake-input protocol (tests/wayland/wl_tool). Keys pressed are timed by that tool as it sends
    them: a global shortcut never reaches the window that has the focus."""

    SIZE = (1280, 800)  # each monitor's; a second one stands to the right of the first

    def __init__(self, tool, outputs=1):
        self.primary = 1
        self.dir = tempfile.mkdtemp(prefix="morvane-wl-")
        self.procs, self.tool, self.pressed_us, self.env, self.scripts = [], tool, [], {}, []
        try:
            self.start(outputs)
        except BaseException:
            self.close()  # what started before the failure ends with it
            raise

    def start(self, outputs):
        run = self.session("KDE", KWIN_WAYLAND_NO_PERMISSION_CHECKS="1")
        # kwin_wayland carries a file capability (cap_sys_resource) that a container may not
        # grant; a copy of the binary has none.
        kwin = os.path.join(self.dir, "kwin_wayland")
        shutil.copy(shutil.which("kwin_wayland"), kwin)
        started = time.monotonic()
        self.compositor = self.spawn(
            [kwin, "--virtual", "--width", str(self.SIZE[0]), "--height", str(self.SIZE[1]),
             "--output-count", str(outputs), "--socket", "morvane-wl", "--no-lockscreen",
             "--xwayland"], stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.dir, "kwin.log"), "w"))
        wait("KWin's Wayland socket", lambda: os.path.exists(os.path.join(run, "morvane-wl")), 20)
        self.env["DISPLAY"] = wait("KWin's Xwayland", self.xwayland_display, 20)
        # The portals are started by the bus; the KDE one is a Qt program that must reach KWin.
        self.activation_environment("WAYLAND_DISPLAY", "QT_QPA_PLATFORM=wayland")
        self.media()
        wait("the RemoteDesktop portal", self.remote_desktop_version, 30, step=0.2)
        self.started_s = time.monotonic() - started

    def session(self, desktop, **env):
        """A session bus of the desktop's own, and the environment its programs share; the
        runtime folder."""
        run = os.path.join(self.dir, "run")
        os.mkdir(run, 0o700)
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        self.env.update(XDG_RUNTIME_DIR=run, XDG_CONFIG_HOME=os.path.join(self.dir, "config"),
                        XDG_SESSION_TYPE="wayland", XDG_CURRENT_DESKTOP=desktop,
                        WAYLAND_DISPLAY="morvane-wl", **env)
        self.log = os.path.join(self.dir, "recorder.log")
        read_fd, write_fd = os.pipe()
        self.spawn(["dbus-daemon", "--session", "--nofork", f"--print-address={write_fd}"],
                   pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = read_line(read_fd, "dbus-daemon")
        # The compositor puts Xwayland's socket there but, unlike an X server, does not make
        # the folder.
        if not os.path.isdir("/tmp/.X11-unix"):
            os.makedirs("/tmp/.X11-unix", exist_ok=True)
            os.chmod("/tmp/.X11-unix", 0o1777)
        return run

    def activation_environment(self, *extra):
        """What the bus passes to the services it starts (the portals among them)."""
        subprocess.run(["dbus-update-activation-environment", "XDG_RUNTIME_DIR",
                        "XDG_CURRENT_DESKTOP", "XDG_SESSION_TYPE", "XDG_CONFIG_HOME", *extra],
                       env=self.env, check=True, timeout=10)

    def media(self):
        """PipeWire and WirePlumber, which links the program's stream to the compositor's.
        WirePlumber gives up at once if PipeWire's socket is not there yet."""
        for daemon, ready in (("pipewire",
                               os.path.join(self.env["XDG_RUNTIME_DIR"], "pipewire-0")),
                              ("wireplumber", None)):
            self.spawn([daemon], stdout=subprocess.DEVNULL,
                       stderr=open(os.path.join(self.dir, daemon + ".log"), "w"))
            if ready:
                wait(f"{daemon}'s socket", lambda path=ready: os.path.exists(path), 10)

    def xwayland_display(self):
        """The X display the compositor serves: KWin 5 starts Xwayland at once as its child,
        KWin 6 and mutter hold the X socket themselves and may start Xwayland with the first
        client. Either way the display's lock file names the compositor or its child."""
        for lock in glob.glob("/tmp/.X*-lock"):
            try:
                with open(lock, encoding="ascii") as f:
                    pid = int(f.read().strip())
                with open(f"/proc/{pid}/stat", encoding="ascii") as f:
                    ppid = int(f.read().rsplit(")", 1)[1].split()[1])
            except (OSError, ValueError, IndexError):
                continue
            number = lock[len("/tmp/.X"):-len("-lock")]
            if self.compositor.pid in (pid, ppid) and os.path.exists(f"/tmp/.X11-unix/X{number}"):
                return ":" + number
        return None

    def bus(self):
        import dbus  # noqa: only Debian's python3 has it; scenarios.py restarts under that one
        return dbus.bus.BusConnection(self.env["DBUS_SESSION_BUS_ADDRESS"])

    def remote_desktop_version(self):
        try:
            return int(self.bus().call_blocking(
                "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                "org.freedesktop.DBus.Properties", "Get", "ss",
                ("org.freedesktop.portal.RemoteDesktop", "version"), timeout=5))
        except Exception:  # noqa: not there yet, whichever way D-Bus says so
            return 0

    def close(self):
        super().close()
        # What the bus started (portals, the AT-SPI bus) would outlive the test; every such
        # process carries this desktop's own runtime folder in its environment.
        marker = f"XDG_RUNTIME_DIR={self.env.get('XDG_RUNTIME_DIR', self.dir)}".encode()
        ended = []
        for pid in (int(p) for p in os.listdir("/proc") if p.isdigit()):
            try:
                with open(f"/proc/{pid}/environ", "rb") as f:
                    if marker in f.read().split(b"\0"):
                        os.kill(pid, 15)
                        ended.append(pid)
            except OSError:
                pass
        # The document portal's mount in the runtime folder goes with its process.
        try:
            wait("the desktop's services to end",
                 lambda: not any(os.path.exists(f"/proc/{pid}") for pid in ended), 5)
        except Failure:
            pass
        shutil.rmtree(self.dir, ignore_errors=True)

    def kwin_script(self, source):
        """Runs `source` in KWin's scripting engine, as a desktop's own scripts run. KWin runs
        a script when it gets to it, which under load is after start() has returned: each stays
        loaded until the next one is asked for."""
        bus, name = self.bus(), f"morvane{time.monotonic_ns()}"
        path = os.path.join(self.dir, name + ".js")
        with open(path, "w", encoding="utf-8") as f:
            f.write(source)
        call = lambda method, sig, args: bus.call_blocking(  # noqa: E731
            "org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", method, sig, args)
        for earlier in self.scripts:
            call("unloadScript", "s", (earlier,))
        call("loadScript", "ss", (path, name))
        call("start", "", ())
        self.scripts = [name]

    def for_window(self, window, action):
        """A KWin script running `action` on `c`: an X window by its id, or the recorder. KWin 6
        lists windows with windowList() and gives an X11 window no windowId: there the window is
        known by its title."""
        if window == "recorder":
            match = 'c.caption == "morvane-recorder"'
        else:
            # KWin 6 shows a title with its runs of blanks folded to one.
            name = json.dumps(" ".join(Desktop.xdotool(self, "getwindowname", window).split()))
            match = (f"(c.windowId !== undefined ? c.windowId == {window} : "
                     f"c.caption.replace(/\\s+/g, ' ') == {name})")
        self.kwin_script("const cs = workspace.windowList ? workspace.windowList() : "
                         "workspace.clientList();\n"
                         f"for (let i = 0; i < cs.length; ++i) {{ const c = cs[i]; if ({match}) "
                         f"{{ {action} }} }}\n")

    def activate_action(self):
        return "if ('activeWindow' in workspace) workspace.activeWindow = c; " \
               "else workspace.activeClient = c;"

    def run_tool(self, *argv):
        return subprocess.run([self.tool, *map(str, argv)], env=self.env, check=True, timeout=20,
                              capture_output=True, text=True).stdout

    def active(self):
        """The X window KWin has active."""
        out = self.xprop_root("_NET_ACTIVE_WINDOW")
        return int(out.split("#")[-1].split(",")[0], 16) if "#" in out else 0

    def focus(self, window):
        if window == "recorder":
            has = lambda: (self.lines("focus") or [["0"]])[-1][0] == "1"  # noqa: E731
        else:
            has = lambda: self.active() == window  # noqa: E731
        # Asked again while it does not hold: KWin may hand the focus back to a window that
        # asked for it in between (a box opening, the program's window mapping).
        wait(f"window {window} to have the keyboard",
             lambda: has() or self.for_window(window, self.activate_action()) or
             (time.sleep(0.1) or has()), 5, step=0.4)

    def xdotool(self, *argv):
        """xdotool's input commands, sent through KWin instead; its X queries as they are."""
        argv = [str(a) for a in argv]
        command, rest = argv[0], [a for i, a in enumerate(argv[1:])
                                  if not a.startswith("--") and not argv[i].startswith("--delay")]
        if command in ("key", "keydown", "keyup"):
            self.pressed_us += map(int, self.run_tool(command, *rest).split())
        elif command == "type":
            for char in rest[-1]:
                self.run_tool("key", char)
                time.sleep(0.06)
        elif command == "getmouselocation":
            return ""
        elif command == "mousemove":
            self.run_tool("move", *rest)
        elif command == "click":
            self.run_tool("click")
        else:
            return super().xdotool(*argv)
        return ""

    def move(self, x, y):
        self.run_tool("move", x, y)
        time.sleep(0.05)

    def tap(self, key, seconds):
        self.xdotool("keydown", key)
        time.sleep(seconds)
        self.xdotool("keyup", key)

    def key_presses_us(self):
        return self.pressed_us


class GnomeDesktop(WaylandDesktop):
    """GNOME 48's shell, headless, on a session bus of its own, with PipeWire and the desktop
    portals: the Wayland desktop the Linux program meets on GNOME. X11 programs (Morvane's
    window, the X11 recorder: GNOME has no protocol to place a Wayland window) run on its
    Xwayland; input goes through mutter's own remote desktop interface, which the compositor
    offers its session without asking anyone. Its dialogs (the portals', GNOME Settings') are
    read and answered over AT-SPI."""

    def __init__(self, outputs=1, shell_accessible=False):
        # mutter ends a remote desktop session with the connection that made it.
        self.input_bus = self.remote = self.stream = None
        self.shell_accessible = shell_accessible
        super().__init__(None, outputs)

    def start(self, outputs):
        check(outputs == 1, "one virtual monitor")
        run = self.session("GNOME", XDG_DATA_HOME=os.path.join(self.dir, "data"))
        # No system bus here: logind's look-ups then fail at once, which the shell tolerates,
        # where an empty system bus of our own made it crash.
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = self.env["DBUS_SESSION_BUS_ADDRESS"]
        # The portal backend must see GNOME before the shell starts it.
        self.activation_environment("WAYLAND_DISPLAY")
        # The dialogs are GTK 4 windows, on the accessibility bus as they are; the shell's own
        # controls (its top bar) only with this on, which costs the shell its bridge's work.
        if self.shell_accessible:
            subprocess.run(["gsettings", "set", "org.gnome.desktop.interface",
                            "toolkit-accessibility", "true"], env=self.env, check=True,
                           timeout=10)
        self.media()
        started = time.monotonic()
        self.compositor = self.spawn(
            ["gnome-shell", "--headless", "--wayland", "--virtual-monitor",
             "%dx%d" % self.SIZE, "--wayland-display", "morvane-wl"],
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.dir, "shell.log"), "w"))
        self.env["DISPLAY"] = wait("the shell's Xwayland", self.xwayland_display, 30, step=0.2)
        self.env["XAUTHORITY"] = wait("Xwayland's authority file", lambda: next(
            iter(glob.glob(os.path.join(run, ".mutter-Xwaylandauth.*"))), None), 10)
        wait("the RemoteDesktop portal", self.remote_desktop_version, 30, step=0.2)
        self.started_s = time.monotonic() - started
        self.start_input()

    # --- input through mutter's remote desktop interface ---------------------------------------

    def start_input(self):
        """A remote desktop session of mutter's with a screen cast of the whole monitor, which
        absolute pointer motion is measured against."""
        import dbus  # noqa: only Debian's python3 has it
        self.input_bus = bus = self.bus()
        path = bus.call_blocking("org.gnome.Mutter.RemoteDesktop",
                                 "/org/gnome/Mutter/RemoteDesktop",
                                 "org.gnome.Mutter.RemoteDesktop", "CreateSession", "", ())
        self.remote = bus.get_object("org.gnome.Mutter.RemoteDesktop", path)
        session_id = self.remote.Get("org.gnome.Mutter.RemoteDesktop.Session", "SessionId",
                                     dbus_interface="org.freedesktop.DBus.Properties")
        cast = bus.get_object("org.gnome.Mutter.ScreenCast", bus.call_blocking(
            "org.gnome.Mutter.ScreenCast", "/org/gnome/Mutter/ScreenCast",
            "org.gnome.Mutter.ScreenCast", "CreateSession", "a{sv}",
            ({"remote-desktop-session-id": session_id},)))
        self.stream = cast.RecordArea(0, 0, self.SIZE[0], self.SIZE[1],
                                      dbus.Dictionary({}, signature="sv"),
                                      dbus_interface="org.gnome.Mutter.ScreenCast.Session")
        self.remote.Start(dbus_interface="org.gnome.Mutter.RemoteDesktop.Session")
        # A new session loses its first button unless the pointer has moved. Its keyboard comes
        # with its first key, which is lost, as are the keys that follow within some 0.3 s
        # (measured); F13 is no one's.
        self.run_tool("move", *ELSEWHERE)
        self.run_tool("key", "F13")
        time.sleep(0.6)
        # The shell starts in the overview, where no window takes input.
        shell = bus.get_object("org.gnome.Shell", "/org/gnome/Shell")

        def left():
            if not shell.Get("org.gnome.Shell", "OverviewActive",
                             dbus_interface="org.freedesktop.DBus.Properties"):
                return True
            self.run_tool("key", "Escape")
            return False
        wait("the shell to leave the overview", left, 10, step=0.5)

    def input_alive(self):
        import dbus  # noqa: only Debian's python3 has it
        try:
            self.remote.Get("org.gnome.Mutter.RemoteDesktop.Session", "SessionId",
                            dbus_interface="org.freedesktop.DBus.Properties")
            return True
        except dbus.DBusException:  # closed: mutter has taken the object away
            return False

    def notify(self, method, *args):
        getattr(self.remote, method)(*args,
                                     dbus_interface="org.gnome.Mutter.RemoteDesktop.Session")

    def keysym(self, name):
        if len(name) == 1:  # a character: Latin-1's keysyms are its code points
            return ord(name)
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XStringToKeysym.restype = ctypes.c_ulong
        x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        code = x11.XStringToKeysym(name.encode())
        check(code, f"no key named {name}")
        return code

    def run_tool(self, *argv):
        """The KDE desktop's input tool's commands, sent through mutter: key, keydown and keyup
        print the instant each key went down."""
        import dbus  # noqa: only Debian's python3 has it
        if not self.input_alive():  # the shell's stop button ends it with the program's
            self.start_input()
        command, args = argv[0], [str(a) for a in argv[1:]]
        if command == "move":
            self.notify("NotifyPointerMotionAbsolute", self.stream, float(args[0]), float(args[1]))
            return ""
        if command == "click":
            for down in (True, False):
                self.notify("NotifyPointerButton", dbus.Int32(0x110), down)  # BTN_LEFT
            return ""
        pressed = []
        for name in args:
            for down in ((True, False) if command == "key" else (command == "keydown",)):
                self.notify("NotifyKeyboardKeysym", dbus.UInt32(self.keysym(name)), down)
                if down:
                    pressed.append(now_us())
        return " ".join(map(str, pressed))

    def windows(self, regex, field="--name"):
        """As on X11, less mutter's frames, which are X windows of its own named as the window
        they frame."""
        return [w for w in super().windows(regex, field) if "mutter-x11-frames" not in
                subprocess.run(["xprop", "-id", str(w), "WM_CLASS"], env=self.env,
                               capture_output=True, text=True, timeout=10, check=False).stdout]

    def focus(self, window):
        """An X window activated as a pager asks it, which mutter grants at once."""
        def has():
            if self.active() == window:
                return True
            self.xdotool("windowactivate", window)
            time.sleep(0.1)
            return self.active() == window
        wait(f"window {window} to have the keyboard", has, 5, step=0.3)
