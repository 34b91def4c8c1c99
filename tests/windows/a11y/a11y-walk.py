#!/usr/bin/python3
"""What a screen reader is told (AT-SPI) about the windows, at each step of Walk.qml, on an Xvfb, a session bus
and an accessibility bus of its own: /usr/bin/python3 a11y-walk.py BUILD/tests/bin/tst_windows [--dump]"""
import os
import subprocess
import sys
import tempfile
import time


def start_x_server():
    """A private Xvfb on the first free display, which Xvfb picks and reports once ready."""
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                              pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    display = os.read(read, 32).decode().strip()
    if not display:
        server.terminate()
        sys.exit("FAIL: Xvfb did not start")
    return server, ":" + display


def own_session():
    """Runs this script again on an X server and in a session bus of its own, with a runtime folder of its own: the
    accessibility bus listens there (without one it takes a fixed path in the home folder, which a bus of an
    earlier or a parallel run removes)."""
    if os.environ.get("A11Y_WALK_SESSION") == "1":
        return
    server, display = start_x_server()
    try:
        with tempfile.TemporaryDirectory(prefix="a11y-walk-") as runtime:
            env = dict(os.environ, DISPLAY=display, XDG_RUNTIME_DIR=runtime, A11Y_WALK_SESSION="1")
            code = subprocess.run(["dbus-run-session", "--", sys.executable] + sys.argv, env=env).returncode
    finally:
        server.terminate()
    sys.exit(code)


own_session()
try:
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, Gio, GLib
    import pyatspi
except (ImportError, ValueError) as error:
    sys.exit("FAIL: the AT-SPI client library is missing (%s): install the packages of scripts/deps/a11y.txt" % error)

HERE = os.path.dirname(os.path.abspath(__file__))
R = pyatspi
# Roles a user acts on or moves through: each needs a name, as does anything that takes focus or text.
INTERACTIVE = {R.ROLE_PUSH_BUTTON, R.ROLE_TOGGLE_BUTTON, R.ROLE_CHECK_BOX, R.ROLE_RADIO_BUTTON, R.ROLE_PAGE_TAB,
               R.ROLE_ENTRY, R.ROLE_PASSWORD_TEXT, R.ROLE_SPIN_BUTTON, R.ROLE_COMBO_BOX, R.ROLE_LIST_ITEM,
               R.ROLE_MENU_ITEM, R.ROLE_SCROLL_BAR, R.ROLE_SLIDER, R.ROLE_LINK, R.ROLE_LIST, R.ROLE_DIALOG,
               R.ROLE_FRAME, R.ROLE_WINDOW, R.ROLE_ALERT}
WINDOWS = {R.ROLE_FRAME, R.ROLE_WINDOW, R.ROLE_DIALOG, R.ROLE_ALERT}
# Controls with an on/off state (Qt tells no "checkable" state; the role says it).
SWITCHES = {R.ROLE_TOGGLE_BUTTON, R.ROLE_CHECK_BOX, getattr(R, "ROLE_SWITCH", R.ROLE_TOGGLE_BUTTON)}
HARNESS = "Walk"  # the test's own window, named after Walk.qml: left out of every check


class Node:
    """One accessible object, read once: role, name, states, relations and children."""

    def __init__(self, acc, parent=None):
        self.acc, self.parent = acc, parent
        self.role = acc.getRole()
        self.role_name = acc.getRoleName()
        self.name = acc.name or ""
        states = acc.getState()
        self.states = {s for s in states.getStates()}
        self.labelled = any(r.getRelationType() in (R.RELATION_LABELLED_BY, R.RELATION_LABEL_FOR)
                            for r in acc.getRelationSet())
        self.children = [Node(c, self) for c in acc if c is not None]

    def walk(self):
        yield self
        for child in self.children:
            yield from child.walk()

    @property
    def shown(self):
        return R.STATE_SHOWING in self.states

    def path(self):
        parts, node = [], self
        while node is not None and node.role != R.ROLE_APPLICATION:
            # Two top-level windows of one name stay apart by their place.
            place = "#%d" % node.parent.children.index(node) if node.parent and node.parent.role == R.ROLE_APPLICATION else ""
            parts.append("%s%s '%s'" % (node.role_name, place, node.name))
            node = node.parent
        return " > ".join(reversed(parts))

    def dump(self, depth=0):
        marks = [n for n, s in (("showing", R.STATE_SHOWING), ("visible", R.STATE_VISIBLE), ("focusable", R.STATE_FOCUSABLE),
                                ("focused", R.STATE_FOCUSED), ("editable", R.STATE_EDITABLE), ("checked", R.STATE_CHECKED))
                 if s in self.states]
        print("%s%s '%s' %s%s" % ("  " * depth, self.role_name, self.name, ",".join(marks), " labelled" if self.labelled else ""))
        for child in self.children:
            child.dump(depth + 1)


# Checks that fail today for a reason someone is working on: (step, check) -> the reason. A check listed here
# that passes fails the run, so that the entry goes as soon as the fault does.
EXPECTED_FAILURES = {
    ("settings", "password field"): "Qt 5.15 tells no name of a Controls TextField in password echo, whatever "
                                    "Accessible.name says (a plain TextInput keeps it); the field needs another way",
}

LOAD_WORDS = ("light load", "medium load", "heavy load", "load unknown")
SERVERS = ("Germany, Frankfurt", "Netherlands, Amsterdam", "United States, Dallas")  # TestSupport.loadServers()


def windows(tree):
    return [n for n in tree.walk() if n.role in WINDOWS and n.shown]


def check_names(tree, step):
    return ["%s has no name" % n.path() for n in tree.walk() if n.shown and not n.name.strip() and (
        n.role in INTERACTIVE or R.STATE_FOCUSABLE in n.states or R.STATE_EDITABLE in n.states)
        and n.role != R.ROLE_PASSWORD_TEXT]  # its own check


def check_window_names(tree, step):
    names = [w.name for w in windows(tree)]
    problems = ["%s has no name" % w.path() for w in windows(tree) if not w.name.strip()]
    problems += ["two windows are named '%s'" % name for name in set(names) if names.count(name) > 1]
    return problems


def main_window(tree):
    return tree.children[0]  # made first


def check_switch(tree, step):
    connected = step == "main connected"
    for n in main_window(tree).walk():
        if n.shown and n.role in SWITCHES:
            return [] if (R.STATE_CHECKED in n.states) == connected else [
                "%s is %s while %s" % (n.path(), "on" if not connected else "off", "connected" if connected else "disconnected")]
    return ["no switch with an on/off state; buttons: " + ", ".join(
        n.path() for n in main_window(tree).walk() if n.shown and n.role == R.ROLE_PUSH_BUTTON)]


def check_counters(tree, step):
    problems = []
    for caption in ("Downloaded", "Uploaded"):
        shown = [n for n in main_window(tree).walk() if n.shown and caption in n.name]
        if not any(any(c.isdigit() for c in n.name) or n.labelled for n in shown):
            problems.append("'%s' is told without its value: %s" % (caption, ", ".join(n.path() for n in shown)))
    return problems


def check_tabs(tree, step):
    problems = []
    for name in ("General", "Advanced"):
        tabs = [n for n in tree.walk() if n.shown and n.name == name]
        if not tabs or any(n.role != R.ROLE_PAGE_TAB for n in tabs):
            problems.append("'%s' is not a page tab: %s" % (name, ", ".join(n.path() for n in tabs) or "missing"))
    return problems


def check_password(tree, step):
    fields = [n for n in tree.walk() if n.shown and n.role == R.ROLE_PASSWORD_TEXT]
    return [] if fields and all(n.name.strip() for n in fields) else [
        "no named password field: " + (", ".join(n.path() for n in fields) or "none")]


def check_radio_groups(tree, step):
    groups, problems = {}, []
    for n in tree.walk():
        if n.shown and n.role == R.ROLE_RADIO_BUTTON:
            group = n.parent
            while group is not None and group.role not in WINDOWS and not group.name.strip():
                group = group.parent
            if group is None or group.role in WINDOWS:
                problems.append("%s belongs to no named group" % n.path())
            else:
                groups.setdefault(group.path(), []).append(n.name)
    if not problems and len(groups) < 2:
        problems.append("the protocol and the MTU buttons share one group: %s" % groups)
    return problems


def check_server_rows(tree, step):
    problems = []
    items = [n for n in tree.walk() if n.shown and n.role == R.ROLE_LIST_ITEM]
    for n in items:
        if not any(server in n.name for server in SERVERS) or not any(word in n.name for word in LOAD_WORDS):
            problems.append("%s does not tell country, city and load" % n.path())
    stars = [[c for c in n.walk() if c.role in SWITCHES] for n in items]
    marked = [n.name for n, star in zip(items, stars) if star and R.STATE_CHECKED in star[0].states]
    if len(items) != 3 or any(len(star) != 1 for star in stars):
        problems.append("3 rows with one favourite toggle each expected: %s" % [n.path() for n in items])
    elif marked != [items[0].name] or "Dallas" not in items[0].name:
        problems.append("the favourite (Dallas) is not the one first and marked: %s" % marked)
    return problems


COMMON = [("names", check_names), ("window names", check_window_names)]
CHECKS = {
    "main": [("switch state", check_switch), ("counters", check_counters)],
    "main connected": [("switch state", check_switch), ("counters", check_counters)],
    "settings": [("tabs", check_tabs), ("password field", check_password)],
    "settings advanced": [("radio groups", check_radio_groups)],
    "server list": [("rows", check_server_rows)],
}
STEPS = ["main", "main connected", "settings", "settings advanced", "settings closed", "server list",
         "server list closed", "lock notice", "lock notice closed"]


class Run:
    def __init__(self):
        self.failed, self.counts, self.shown_windows, self.opened = False, {}, set(), {}

    def row(self, step, check, problems):
        reason = EXPECTED_FAILURES.get((step, check))
        verdict = ("XFAIL  " if reason else "FAIL!  ") if problems else ("XPASS  " if reason else "PASS   ")
        self.failed |= verdict in ("FAIL!  ", "XPASS  ")
        self.counts[verdict.strip()] = self.counts.get(verdict.strip(), 0) + 1
        print("%s: %s: %s%s" % (verdict, step, check, (" (%s)" % reason) if reason else ""))
        for problem in problems:
            print("    " + problem)

    def walk(self, tree, step):
        for check, function in COMMON + CHECKS.get(step, []):
            self.row(step, check, function(tree, step))
        shown = {w.path() for w in windows(tree)}
        self.opened[step] = shown - self.shown_windows
        self.shown_windows = shown
        if step.endswith(" closed"):
            gone = self.opened.get(step[:-len(" closed")], set())
            left = [n.path() for n in tree.walk() if any(n.path().startswith(w) for w in gone)
                    and (R.STATE_SHOWING in n.states or R.STATE_VISIBLE in n.states)]
            self.row(step, "nothing left visible", (["nothing was opened"] if not gone else []) + [
                "%s is still reported visible" % path for path in left])


def find_application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    Atspi.Accessible.clear_cache(desktop)  # else an application that registers later is never seen
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.name == name:
            return app
    return None


def publish_bus_on_display():
    """Starts the accessibility bus and names it on the display, as a desktop session does. Qt 5.15 that finds the
    bus only through the session bus turns its bridge on before it has connected, and is then never seen."""
    pyatspi.Registry.getDesktop(0).childCount  # the bus and its registry
    session = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    address = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None,
                                GLib.VariantType("(s)"), Gio.DBusCallFlags.NONE, 10000, None).unpack()[0]
    subprocess.run(["xprop", "-root", "-format", "AT_SPI_BUS", "8s", "-set", "AT_SPI_BUS", address], check=True)


def main():
    binary, dump = sys.argv[1], "--dump" in sys.argv
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_QUICK_BACKEND="software", QML_DISABLE_DISK_CACHE="1",
               QT_ACCESSIBILITY="1", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    log = tempfile.TemporaryFile("w+") if "A11Y_LOG" not in os.environ else open(os.environ["A11Y_LOG"], "w+")
    publish_bus_on_display()
    child = subprocess.Popen([binary, "-input", os.path.join(HERE, "Walk.qml")], env=env, stdout=log, stderr=log)
    walked, deadline, run = set(), time.time() + 300, Run()
    while child.poll() is None and time.time() < deadline:
        time.sleep(0.2)
        app = find_application(os.path.basename(binary))
        if app is None:
            continue
        try:
            Atspi.Accessible.clear_cache(app)
            harness = [Node(w) for w in app if w is not None and w.name == HARNESS]
            steps = [n.name[5:] for n in harness[0].walk() if n.name.startswith("step ")] if harness else []
            if not steps or steps[0] in walked:
                continue
            tree = Node(app)
            tree.children = [w for w in tree.children if w.name != HARNESS]
        except GLib.GError:  # a window closing between two steps
            continue
        step = steps[0]
        walked.add(step)
        if dump:
            print("=== " + step)
            for window in tree.children:
                window.dump()
        run.walk(tree, step)
        button = [n for n in harness[0].walk() if n.name == "walked"][0]
        button.acc.queryAction().doAction(0)
    if child.poll() is None:
        child.kill()
    child.wait(timeout=60)
    for step in STEPS:
        if step not in walked:
            run.row(step, "reached", ["the harness never showed this step"])
    log.seek(0)
    run.row("harness", "ended well", [] if child.returncode == 0 else ["tst_windows ended with %s" % child.returncode] + [
        line.rstrip() for line in log if line.startswith(("FAIL!", "   Loc:"))])
    print("Totals: " + ", ".join("%d %s" % (count, verdict) for verdict, count in sorted(run.counts.items())))
    sys.exit(1 if run.failed else 0)


if __name__ == "__main__":
    main()
