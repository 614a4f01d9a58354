# SPDX-License-Identifier: GPL-3.0-or-later
"""One private desktop per scenario: an Xvfb display, a window manager with a notification area,
the accessibility bus of the surrounding D-Bus session, and copies of the program in a throw-away
home. Everything started here is ended here, by process group."""

import importlib.util
import os
import shutil
import signal
import subprocess
import tempfile
import time

from xwindows import XDisplay

SCREEN = "1280x900x24"
TRAY_SELECTION = "_NET_SYSTEM_TRAY_S0"

FLUXBOX_INIT = """\
session.screen0.toolbar.visible: true
session.screen0.toolbar.placement: BottomCenter
session.screen0.toolbar.widthPercent: 100
session.screen0.toolbar.tools: {tools}
session.screen0.workspaces: 1
session.screen0.focusModel: ClickFocus
session.screen0.defaultDeco: NORMAL
session.screen0.titlebar.left:
session.screen0.titlebar.right: Close
session.styleFile: /usr/share/fluxbox/styles/Squared_for_Debian
session.keyFile: {keys}
session.menuFile: {menu}
"""


class ScenarioFailure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise ScenarioFailure(message)


def waitUntil(probe, what, timeout=20.0, interval=0.1):
    """Polls probe until it returns a true value and returns that value; fails loudly otherwise."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        try:
            last = probe()
        except ScenarioFailure:
            raise
        except Exception as error:  # a window or accessible that is still being built
            last = error
        if last and not isinstance(last, Exception):
            return last
        if time.monotonic() >= deadline:
            detail = f" (last: {last!r})" if isinstance(last, Exception) else ""
            raise ScenarioFailure(f"timed out after {timeout:.0f} s waiting for {what}{detail}")
        time.sleep(interval)


def missingDesktop():
    """The parts of the private desktop this machine lacks. Without them no scenario can run at
    all, which says nothing about the program, so the caller skips instead of failing."""
    missing = [tool for tool in ("Xvfb", "fluxbox") if shutil.which(tool) is None]
    # the session bus starts the accessibility bus on demand from its service file, which it looks
    # for under XDG_DATA_DIRS and always under /usr/share
    dataFolders = (os.environ.get("XDG_DATA_DIRS") or "").split(":") + ["/usr/local/share", "/usr/share"]
    if not any(os.path.isfile(os.path.join(folder, "dbus-1", "services", "org.a11y.Bus.service"))
               for folder in dataFolders if folder):
        missing.append("the accessibility bus (at-spi2-core)")
    if importlib.util.find_spec("pyatspi") is None:
        missing.append("the accessibility client (python3-pyatspi)")
    return missing


def requireTools():
    missing = [tool for tool in ("xdotool", "import", "sqlite3",
                                 "dbus-run-session", "dbus-update-activation-environment")
               if shutil.which(tool) is None]
    if missing:
        raise SystemExit("end-to-end tests need these programs, which are missing: "
                         + ", ".join(missing) + " (run scripts/install-deps.sh)")


class Program:
    """One started copy of the program."""

    def __init__(self, process, logPath):
        self.process = process
        self.pid = process.pid
        self.logPath = logPath

    def running(self):
        return self.process.poll() is None

    def waitExit(self, timeout=20.0):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise ScenarioFailure(f"program {self.pid} still running after {timeout:.0f} s")

    def log(self):
        try:
            with open(self.logPath, encoding="utf-8", errors="replace") as handle:
                return handle.read()
        except OSError:
            return ""


class Session:
    def __init__(self, binary, artifacts, name, appFolderName="app", trayArea=True):
        self.binary = os.path.abspath(binary)
        self.name = name
        self.artifacts = os.path.abspath(artifacts)
        os.makedirs(self.artifacts, exist_ok=True)
        self.root = tempfile.mkdtemp(prefix=f"varnelo-e2e-{name}-")
        self.home = self._folder("home")
        self.configHome = self._folder("config")
        self.dataHome = self._folder("data")
        self.runtime = self._folder("runtime")
        os.chmod(self.runtime, 0o700)
        self.appFolder = self._folder(appFolderName)
        self.logs = self._folder("logs")
        self.exe = os.path.join(self.appFolder, "varnelo")
        shutil.copy2(self.binary, self.exe)
        self._groups = []
        self.programs = []
        self.display = None
        self.x = None
        self.trayArea = trayArea

    # ---- paths the program uses -------------------------------------------------------------
    @property
    def iniPath(self):
        return os.path.join(self.appFolder, "varnelo.INI")

    @property
    def dataFolder(self):
        return os.path.join(self.dataHome, "Varnelo")

    @property
    def dbPath(self):
        return os.path.join(self.dataFolder, "FavoritesDB.db")

    @property
    def stagingPath(self):
        return os.path.join(self.dataFolder, "FavoritesDBbak")

    @property
    def autostartPath(self):
        return os.path.join(self.configHome, "autostart", "varnelo.desktop")

    def writeIni(self, text):
        with open(self.iniPath, "w", encoding="utf-8") as handle:
            handle.write(text)

    def writeSettings(self, **flags):
        lines = ["[Settings]"] + [f"{key}={1 if value else 0}" for key, value in flags.items()]
        self.writeIni("\n".join(lines) + "\n")

    def _folder(self, name):
        path = os.path.join(self.root, name)
        os.makedirs(path, exist_ok=True)
        return path

    # ---- environment ------------------------------------------------------------------------
    def environment(self):
        env = {key: value for key, value in os.environ.items()
               if not key.startswith(("QT_", "XDG_", "WAYLAND"))}
        env.update({
            "HOME": self.home,
            "XDG_CONFIG_HOME": self.configHome,
            "XDG_DATA_HOME": self.dataHome,
            "XDG_CACHE_HOME": os.path.join(self.root, "cache"),
            "XDG_STATE_HOME": os.path.join(self.root, "state"),
            "XDG_RUNTIME_DIR": self.runtime,
            "XDG_CURRENT_DESKTOP": "",
            "DISPLAY": self.display,
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_QPA_PLATFORM": "xcb",
            "QT_ACCESSIBILITY": "1",
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
        })
        return env

    def startHelper(self, argv, logName):
        """A process of the test's own (a stand-in service), ended with the session."""
        return self._spawn(argv, logName)

    def _spawn(self, argv, logName, env=None, **kwargs):
        log = open(os.path.join(self.logs, logName), "ab")
        process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                                   env=env or self.environment(), cwd=self.root,
                                   start_new_session=True, **kwargs)
        log.close()
        self._groups.append(process)
        return process

    # ---- desktop ----------------------------------------------------------------------------
    def start(self):
        self._startDisplay()
        self.x = XDisplay(self.display)
        subprocess.run(["dbus-update-activation-environment", f"DISPLAY={self.display}"],
                       check=True, env=self.environment(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        self._startWindowManager()
        return self

    def _startDisplay(self):
        read, write = os.pipe()
        log = open(os.path.join(self.logs, "xvfb.log"), "ab")
        process = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-nolisten", "tcp",
                                    "-screen", "0", SCREEN, "-noreset"],
                                   stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                                   pass_fds=(write,), start_new_session=True)
        log.close()
        self._groups.append(process)
        os.close(write)
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n"):
            check(time.monotonic() < deadline, "Xvfb did not report its display number")
            chunk = os.read(read, 16)
            if not chunk:
                break
            number += chunk
        os.close(read)
        check(number.strip().isdigit(), f"Xvfb failed to start: {self._logText('xvfb.log')}")
        self.display = ":" + number.strip().decode()

    def _startWindowManager(self):
        folder = self._folder("home/.fluxbox")
        keys = os.path.join(folder, "keys")
        menu = os.path.join(folder, "menu")
        with open(keys, "w") as handle:
            handle.write("OnWindow Mod1 Mouse1 :MacroCmd {Raise} {Focus} {StartMoving}\n")
        with open(menu, "w") as handle:
            handle.write("[begin] (fluxbox)\n[end]\n")
        init = os.path.join(folder, "init")
        with open(init, "w") as handle:
            tools = "workspacename, iconbar, systemtray" if self.trayArea else "workspacename, iconbar"
            handle.write(FLUXBOX_INIT.format(keys=keys, menu=menu, tools=tools))
        self._spawn(["fluxbox", "-rc", init], "fluxbox.log")
        waitUntil(lambda: self.x.cardinal(self.x.root(), "_NET_SUPPORTING_WM_CHECK", "WINDOW"),
                  "the window manager")
        if self.trayArea:
            waitUntil(lambda: self.x.selectionOwner(TRAY_SELECTION), "the notification area of fluxbox")
        else:
            check(not self.x.selectionOwner(TRAY_SELECTION), "a notification area exists in a session without one")

    def _logText(self, name):
        try:
            with open(os.path.join(self.logs, name), errors="replace") as handle:
                return handle.read()
        except OSError:
            return ""

    # ---- the program ------------------------------------------------------------------------
    def launch(self, *args, exe=None, extraEnv=None):
        index = len(self.programs) + 1
        env = self.environment()
        env.update(extraEnv or {})
        process = self._spawn([exe or self.exe, *args], f"varnelo-{index}.log", env=env)
        program = Program(process, os.path.join(self.logs, f"varnelo-{index}.log"))
        self.programs.append(program)
        return program

    def launchCli(self, *args):
        """varnelo-cli of the same build, on this session's catalogue."""
        cli = os.path.join(os.path.dirname(os.path.dirname(self.binary)), "cli", "varnelo-cli")
        return self.launch(*args, exe=cli)

    def runningPrograms(self):
        """Processes in this session's tree that run our copy of the binary."""
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                target = os.readlink(f"/proc/{entry}/exe")
            except OSError:
                continue
            if target == self.exe:
                found.append(int(entry))
        return found

    # ---- windows ----------------------------------------------------------------------------
    def xdotool(self, *args, check_=True):
        result = subprocess.run(["xdotool", *[str(a) for a in args]], env=self.environment(),
                                capture_output=True, text=True, timeout=30)
        if check_ and result.returncode != 0:
            raise ScenarioFailure(f"xdotool {' '.join(map(str, args))} failed: {result.stderr.strip()}")
        return result.stdout

    def searchWindows(self, pid, name=None, onlyVisible=False):
        # every condition must hold: xdotool's default is any of them
        args = ["search", "--all"]
        if onlyVisible:
            args.append("--onlyvisible")
        args += ["--pid", pid]
        if name is not None:
            args += ["--name", name]
        output = self.xdotool(*args, check_=False)
        return [int(line) for line in output.split() if line.strip().isdigit()]

    def trayWindow(self):
        return self.x.selectionOwner(TRAY_SELECTION)

    def trayIcons(self, pid):
        """Windows of the given process embedded in the notification area."""
        owner = self.trayWindow()
        if not owner:
            return []
        # fluxbox keeps the embedded icons beside the selection window inside its toolbar
        toolbar = self.topLevelOf(owner)
        return [window for window in self.x.descendants(toolbar)
                if self.x.cardinal(window, "_NET_WM_PID") == pid and self.x.isViewable(window)]

    def topLevelOf(self, window):
        root = self.x.root()
        for top in self.x.children(root):
            if top == window or window in self.x.descendants(top):
                return top
        return window

    def windowGeometry(self, window):
        geometry = self.x.geometry(window)
        if geometry is None:
            raise ScenarioFailure(f"window {window} has gone")
        return geometry

    def doubleClickWindow(self, window):
        x, y, width, height = self.windowGeometry(window)
        self.clickAt(x + width // 2, y + height // 2, repeat=2)

    def movePointer(self, x, y):
        # "mousemove --sync" waits for a motion that never comes when the pointer is already there
        self.xdotool("mousemove", x, y)

        def arrived():
            output = self.xdotool("getmouselocation", "--shell")
            values = dict(line.split("=", 1) for line in output.splitlines() if "=" in line)
            return int(values.get("X", -1)) == x and int(values.get("Y", -1)) == y
        waitUntil(arrived, f"the pointer to reach {x},{y}", 10.0, interval=0.05)

    def windowState(self, window):
        """The ICCCM state the window manager gives a client: 1 normal, 3 iconic, None withdrawn."""
        return self.x.cardinal(window, "WM_STATE", "WM_STATE")

    def frameOf(self, window):
        """The window manager's frame around a client window."""
        root = self.x.root()
        current = window
        while True:
            parent = self.x.parent(current)
            if parent is None or parent == root or parent == 0:
                return current
            current = parent

    def clickCloseBox(self, window):
        """Clicks the close button the window manager draws in the title bar (the only button
        there, by this session's fluxbox settings)."""
        frame = self.frameOf(window)
        fx, fy, fw, fh = self.windowGeometry(frame)
        buttons = []
        for child in self.x.descendants(frame):
            if not self.x.isViewable(child):
                continue
            x, y, w, h = self.windowGeometry(child)
            if 6 <= w <= 32 and abs(w - h) <= 2 and y - fy < 32 and x > fx + fw // 2:
                buttons.append((x, y, w, h))
        if not buttons:
            raise ScenarioFailure("no close button in the title bar of the main window")
        x, y, w, h = max(buttons)
        self.clickAt(x + w // 2, y + h // 2)

    def clickAt(self, x, y, button=1, repeat=1):
        self.movePointer(x, y)
        time.sleep(0.1)
        self.xdotool("click", "--repeat", repeat, "--delay", 60, button)

    def screenshot(self, window, name):
        path = os.path.join(self.artifacts, f"{name}.png")
        subprocess.run(["import", "-window", str(window), path], env=self.environment(),
                       check=True, capture_output=True, timeout=30)
        return path

    # ---- ending -----------------------------------------------------------------------------
    def stop(self):
        if self.x is not None:
            self.x.close()
            self.x = None
        # programs first, the window manager next, the display last
        for process in reversed(self._groups):
            endGroup(process)
        self._groups.clear()

    def cleanUp(self, keep=False):
        if not keep:
            shutil.rmtree(self.root, ignore_errors=True)


def endGroup(process):
    if process.poll() is None:
        try:
            os.killpg(process.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            pass
    try:
        # members of the group may outlive its leader
        os.killpg(process.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass
    if process.poll() is None:
        process.wait(timeout=5)
