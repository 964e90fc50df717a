#!/usr/bin/env python3
"""What a screen reader finds of the viewer, asked over the real AT-SPI bus.

Starts the program on a private session bus with Qt's accessibility switched on, then
walks down from its application object, as a screen reader does first, and checks that
every object it meets stands where its parent says (index in parent), and that the main
window, the body panel with its fourteen choices, the title, the facts and the About
window are there with their names, roles and states.

Usage: screen_reader_walk.py PROGRAM. Exit code 0 passes, 1 fails, 77 skips (only when
no session bus can be started at all).
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
MARK = "SPHAERIX_ON_PRIVATE_BUS"


def on_private_bus(program):
    """Runs this script again inside a session bus of its own."""
    runner = shutil.which("dbus-run-session")
    if not runner:
        print("dbus-run-session is not installed (Debian: dbus-daemon); scripts/deps.sh installs it")
        return 1
    with tempfile.TemporaryDirectory() as scratch:
        started = os.path.join(scratch, "started")
        env = dict(os.environ, **{MARK: started})
        code = subprocess.call([runner, "--", sys.executable, __file__, program], env=env)
        if code != 0 and not os.path.exists(started):
            print("SKIPPED: no session bus could be started here (dbus-run-session exited %d)" % code)
            return SKIP
        return code


class Walk:
    def __init__(self, pyatspi):
        self.pyatspi = pyatspi
        self.faults = []
        self.walked_faults = []
        self.lines = []

    def fault(self, text):
        self.faults.append(text)

    def states(self, node):
        s = node.getState()
        names = []
        for name in ("checkable", "checked", "focusable", "focused", "showing", "visible", "active"):
            if s.contains(getattr(self.pyatspi, "STATE_" + name.upper())):
                names.append(name)
        return names

    def visit(self, node, depth, out):
        """Collects (depth, role, name, states, node) below node, checking each index."""
        count = node.childCount
        for i in range(count):
            child = node.getChildAtIndex(i)
            if child is None:
                self.fault("%s has no child %d of %d" % (self.describe(node), i, count))
                continue
            index = child.getIndexInParent()
            if index != i:
                self.fault("%s is child %d of %s but says it is child %d" % (self.describe(child), i, self.describe(node), index))
            parent = child.parent
            if parent is None or parent.name != node.name or parent.getRoleName() != node.getRoleName():
                self.fault("%s names %s as its parent, not %s" % (self.describe(child), self.describe(parent), self.describe(node)))
            entry = (depth, child.getRoleName(), child.name, self.states(child), child)
            out.append(entry)
            self.lines.append("%s%s %r %s" % ("  " * depth, entry[1], entry[2], " ".join(entry[3])))
            self.visit(child, depth + 1, out)

    @staticmethod
    def describe(node):
        if node is None:
            return "nothing"
        return "%s %r" % (node.getRoleName(), node.name)


def wait(condition, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            value = condition()
        except Exception:  # the program may still be building its tree
            value = None
        if value:
            return value
        time.sleep(0.2)
    return None


def find(entries, role, name=None, under=None):
    return [e for e in entries if e[1] == role and (name is None or e[2] == name)]


def main():
    program = sys.argv[1]
    if MARK not in os.environ:
        return on_private_bus(program)
    open(os.environ[MARK], "w").close()
    try:
        import gi
        gi.require_version("Atspi", "2.0")
        import pyatspi
    except (ImportError, ValueError) as e:
        print("pyatspi cannot be loaded (Debian: python3-pyatspi): %s" % e)
        return 1

    home = tempfile.mkdtemp()
    os.makedirs(os.path.join(home, "Documents"))
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    env.pop("XDG_DOCUMENTS_DIR", None)
    app_process = subprocess.Popen([program], env=env)
    try:
        return check(pyatspi, app_process)
    finally:
        if app_process.poll() is None:
            app_process.send_signal(signal.SIGTERM)
            try:
                app_process.wait(20)
            except subprocess.TimeoutExpired:
                app_process.kill()
                app_process.wait()
        shutil.rmtree(home, ignore_errors=True)


def check(pyatspi, app_process):
    try:
        desktop = pyatspi.Registry.getDesktop(0)
    except Exception as e:
        print("SKIPPED: the accessibility bus could not be started: %s" % e)
        return SKIP

    def the_application():
        if app_process.poll() is not None:
            raise SystemExit("the program ended with code %d before it could be read" % app_process.returncode)
        for i in range(desktop.childCount):
            a = desktop.getChildAtIndex(i)
            if a is not None and a.name.lower() == "sphaerix":
                return a
        return None

    app = wait(the_application, 120)
    if app is None:
        print("FAILED: the program never appeared on the accessibility bus")
        return 1
    walk = Walk(pyatspi)

    def ready():
        # The main window marks its body once the first selection is done.
        out = collect(walk, app)
        # The main window has named its body, and the About window exists.
        earth = find(out, "radio button", "Earth")
        about = [e for e in out if e[0] == 0 and e[2] == "About"]
        title = find(out, "label", "Earth")
        return out if earth and "checked" in earth[0][3] and about and title else None

    entries = wait(ready, 120) or collect(walk, app)
    walk.faults.extend(walk.walked_faults)
    report = walk.lines

    frames = [e for e in entries if e[0] == 0]
    names = [(e[1], e[2]) for e in frames]
    if ("frame", "Sphaerix") not in names:
        walk.fault("no main window below the application; its children: %s" % names)
    if not any(e[2] == "About" for e in frames):
        walk.fault("no About window below the application; its children: %s" % names)

    panels = [e for e in entries if e[2] == "Bodies"]
    if len(panels) != 1:
        walk.fault("no group named 'Bodies'")
    radios = find(entries, "radio button")
    if len(radios) != 14:
        walk.fault("%d radio buttons, not 14" % len(radios))
    checked = [e[2] for e in radios if "checked" in e[3]]
    if checked != ["Earth"]:
        walk.fault("checked bodies: %s, not Earth alone" % checked)
    if panels and radios and any(e[0] != panels[0][0] + 1 for e in radios):
        walk.fault("the body buttons are not the children of the 'Bodies' group")
    if not find(entries, "label", "Earth"):
        walk.fault("no title 'Earth'")
    facts = [e for e in entries if "Diameter: 12,742 km" in (e[2] or "").split("\n")]
    if len(facts) != 1:
        walk.fault("the facts are not read as pairs ('Diameter: 12,742 km')")
    for about_text in ("Quorvane", "Version"):
        if not any((e[2] or "").startswith(about_text) for e in entries):
            walk.fault("the About window has no %r" % about_text)
    if not find(entries, "push button", "OK"):
        walk.fault("the About window has no OK button")

    # A choice made through the bus is seen through it.
    saturn = [e for e in radios if e[2] == "Saturn"]
    if saturn:
        node = saturn[0][4]
        action = node.queryAction()
        presses = [i for i in range(action.nActions) if action.getName(i) in ("press", "Press")]
        if not presses:
            walk.fault("the Saturn button offers no press action")
        else:
            action.doAction(presses[0])
            if not wait(lambda: node.getState().contains(pyatspi.STATE_CHECKED), 60):
                walk.fault("pressing Saturn through the bus did not check it")

    hear_the_keyboard(pyatspi, walk)

    print("\n".join(report))
    if walk.faults:
        print("FAILED:\n  " + "\n  ".join(walk.faults))
        return 1
    print("passed: %d objects walked" % len(entries))
    return 0


class Ear:
    """What a screen reader hears: the events of the bus, kept in order."""

    TYPES = ("object:property-change:accessible-name", "object:text-changed", "object:state-changed",
             "focus:", "window:activate")

    def __init__(self, pyatspi):
        from gi.repository import GLib
        self.context = GLib.MainContext.default()
        self.pyatspi = pyatspi
        self.heard = []
        pyatspi.Registry.registerEventListener(self.on_event, *self.TYPES)

    def on_event(self, event):
        try:
            source = event.source
            self.heard.append((event.type, source.getRoleName(), source.name or "", event.detail1))
        except Exception:  # the object may be gone already
            self.heard.append((event.type, "", "", event.detail1))

    def pump(self, seconds):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            while self.context.iteration(False):
                pass
            time.sleep(0.02)

    def wait_for(self, what, seconds=60):
        """Until an event heard since the last call satisfies what; the events heard."""
        start = len(self.heard)
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            self.pump(0.1)
            if any(what(e) for e in self.heard[start:]):
                return True
        return False


def key(name):
    subprocess.call(["xdotool", "key", "--clearmodifiers", name])


def hear_the_keyboard(pyatspi, walk):
    """A body chosen by keyboard, N, and About opened and closed, as a screen reader hears
    them."""
    window = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Sphaerix$"],
                            capture_output=True, text=True).stdout.split()
    if not window:
        walk.fault("the main window cannot be found on the display to type into")
        return
    subprocess.call(["xdotool", "windowactivate", "--sync", window[0]])
    ear = Ear(pyatspi)
    ear.pump(1.0)  # the program learns who listens

    def focus_on(role, name):
        return lambda e: (e[0] == "object:state-changed:focused" and e[3] == 1 and e[1] == role and e[2] == name)

    key("Tab")  # the bodies' group, at the body on screen (Saturn, pressed above)
    if not ear.wait_for(focus_on("radio button", "Saturn")):
        walk.fault("Tab: no focus heard on the Saturn button; heard %s" % ear.heard[-10:])
    key("Right")  # Europa, after Saturn in reading order
    if not ear.wait_for(lambda e: e[0] == "object:property-change:accessible-name" and e[1] == "label"
                        and e[2] == "Europa"):
        walk.fault("choosing Europa: the title's new name is not heard; heard %s" % ear.heard[-10:])
    if not any(e[0].startswith("object:text-changed") or e[0] == "object:property-change:accessible-name"
               for e in ear.heard if "Diameter" in e[2]):
        if not ear.wait_for(lambda e: "Diameter" in e[2] and (e[0].startswith("object:text-changed")
                                                           or e[0].endswith("accessible-name"))):
            walk.fault("choosing Europa: no change of the facts is heard; heard %s" % ear.heard[-10:])
    key("n")
    if not ear.wait_for(lambda e: e[0] == "object:state-changed:showing" and e[3] == 0 and e[1] == "label"):
        walk.fault("N: the title's hiding is not heard; heard %s" % ear.heard[-10:])
    key("F1")
    if not ear.wait_for(focus_on("push button", "OK")):
        walk.fault("F1: no focus heard on About's OK; heard %s" % ear.heard[-10:])
    key("Escape")
    if not ear.wait_for(focus_on("radio button", "Europa")):
        walk.fault("About closed: the focus is not heard back on the Europa button; heard %s" % ear.heard[-10:])
    walk.lines.append("heard:")
    walk.lines.extend("  %s %s %r %s" % e for e in ear.heard if not e[0].startswith("object:state-changed:showing")
                      or e[1] == "label")


def collect(walk, app):
    """A fresh walk from the application; its index faults replace the last walk's."""
    out = []
    fresh = Walk(walk.pyatspi)
    fresh.visit(app, 0, out)
    walk.walked_faults = fresh.faults
    walk.lines = fresh.lines
    return out


if __name__ == "__main__":
    sys.exit(main())
