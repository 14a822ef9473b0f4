#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What a screen reader gets from the real program over the accessibility bus.

Runs the shipped program and the virtual controller, and drives the window as a blind user
would, through the accessibility bus only (no reading of the program's widgets): it reads the
language lists' items and the wheel diameter's current item, picks the virtual controller's port
with the arrow keys, connects, reads the manufacturer, and reads the flash, expecting the wheel
diameter's new item and its change announcements.

Run inside its own session bus and X display (run.sh does both). Every wait is bounded; on a
failure the script prints what it expected, what it got, and the program's and the controller's
output.

Usage: screen_reader_test.py SHIP_FOLDER VIRTUAL_CONTROLLER
"""

import configparser
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import GLib

WHOLE_RUN_SECONDS = 150   # the watchdog of the whole test
APP_NAME = "Zelbor Configuration Tool"
MANUFACTURER = "TSTM"     # what the virtual controller is told to report
LINK_NAME = "screen-reader-test"
PROFILE_WHEEL_INDEX = 5   # the wheel diameter item the test's start-up profile selects ("21")
CONTROLLER_WHEEL = "26"   # the wheel diameter stored in the virtual controller


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


# ---- The accessibility bus ----

events = []


def record(event):
    try:
        source = (event.source.getRoleName(), event.source.name)
    except Exception:  # the source may be gone already
        source = ("?", "?")
    data = event.any_data if isinstance(event.any_data, (str, int)) else None
    events.append((event.type, source, data))


def pump(seconds):
    """Lets the bus deliver events for a while."""
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while context.pending():
            context.iteration(False)
        time.sleep(0.02)


def wait_for(what, probe, seconds):
    """Polls probe() until it gives something true; that value, or a failure naming `what`."""
    end = time.monotonic() + seconds
    last = None
    while time.monotonic() < end:
        try:
            last = probe()
        except GLib.GError as e:  # an object that went away while being looked at
            last = "error: %s" % e
        else:
            if last:
                return last
        pump(0.1)
    raise Failure("timed out after %ss waiting for %s (last seen: %r)" % (seconds, what, last))


def find(root, role, name=None):
    def match(o):
        return o is not None and o.getRoleName() == role and (name is None or o.name == name)
    return pyatspi.findDescendant(root, match)


def text_of(o):
    check("Text" in pyatspi.listInterfaces(o), "%s %r offers no text" % (o.getRoleName(), o.name))
    t = o.queryText()
    return t.getText(0, t.characterCount)


def items_of(combo):
    """The items of a list's drop-down, as the screen reader finds them among its children."""
    check(combo.childCount >= 1, "the list %r has no children" % combo.name)
    lst = combo.getChildAtIndex(0)
    check(lst.getRoleName() == "list", "the first child of %r is a %s, not a list" % (combo.name, lst.getRoleName()))
    return [lst.getChildAtIndex(i) for i in range(lst.childCount)]


def press(o, action="Press"):
    a = o.queryAction()
    names = [a.getName(i) for i in range(a.nActions)]
    check(action in names, "%s %r has no action %s (it has %s)" % (o.getRoleName(), o.name, action, names))
    a.doAction(names.index(action))


def events_from(kind, role, name):
    return [e for e in events if e[0].startswith(kind) and e[1] == (role, name)]


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        a = desktop.getChildAtIndex(i)
        if a is not None and a.name == APP_NAME:
            return a
    return None


# ---- The program's folder and its processes ----

def prepare_ship_folder(source, target):
    """A copy of the shipping folder whose profile and language choice the test fixes."""
    shutil.copytree(source, target, symlinks=True)
    profile = os.path.join(target, "Profiles", "DefaultProfile.el")
    with open(profile, encoding="latin-1") as f:
        text = f.read()
    text, n = re.subn(r"(?m)^WD=.*$", "WD=%d" % PROFILE_WHEEL_INDEX, text)
    check(n == 1, "the shipped profile has no wheel diameter line")
    with open(profile, "w", encoding="latin-1") as f:
        f.write(text)
    ini = os.path.join(target, "Languages", "languages.ini")
    with open(ini, encoding="utf-8") as f:
        text = f.read()
    text, n = re.subn(r"(?mi)^default=.*$", "default=eng", text)
    check(n == 1, "languages.ini has no default line")
    with open(ini, "w", encoding="utf-8") as f:
        f.write(text)
    # The names the language lists must offer, in the file's order.
    parser = configparser.ConfigParser(interpolation=None)
    parser.read_string(text)
    section = parser["LANGUAGES"]
    return [section["lang%d" % i].split(",")[0] for i in range(1, int(section["nbLang"]) + 1)]


def start_controller(binary, env, log):
    proc = subprocess.Popen([binary, "--no-pacing", "--name", LINK_NAME, "--manufacturer", MANUFACTURER],
                            stdout=subprocess.PIPE, stderr=log, env=env, text=True)
    line = proc.stdout.readline()  # its first line names the port; it comes at once
    check(line.startswith("PORT "), "the virtual controller did not announce its port (got %r)" % line)
    return proc, line[5:].strip()


def stop(proc):
    if proc and proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait(5)


# ---- The user's steps ----

def run(ship, controller_binary, work):
    expected_languages = prepare_ship_folder(ship, os.path.join(work, "ship"))
    runtime = os.path.join(work, "runtime")
    os.mkdir(runtime, 0o700)
    env = dict(os.environ, XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    env.pop("QT_ACCESSIBILITY", None)

    # The bus must be up before the program starts, as it is on a desktop where a screen reader
    # runs: asking the registry for the desktop starts it.
    check(application() is None, "another instance is on the bus already")
    # The events a screen reader listens to; the program sends only those someone listens to (Qt
    # announces a list's new item only to listeners of value changes).
    for kind in ("object:text-changed", "object:selection-changed", "object:property-change",
                 "object:state-changed", "object:value-changed"):
        pyatspi.Registry.registerEventListener(record, kind)

    procs = []
    logs = {name: open(os.path.join(work, name + ".log"), "w+") for name in ("program", "controller")}
    try:
        vc, port_path = start_controller(controller_binary, env, logs["controller"])
        procs.append(vc)
        procs.append(subprocess.Popen([os.path.join(work, "ship", "ZelborConfigTool")], env=env,
                                      stdout=logs["program"], stderr=subprocess.STDOUT))
        app = wait_for("the program on the accessibility bus", application, 30)

        # The start-up warning, with a language list of its own.
        dialog = wait_for("the start-up warning", lambda: find(app, "dialog"), 15)
        language = wait_for("the warning's language list", lambda: find(dialog, "combo box"), 5)
        names = [i.name for i in items_of(language)]
        check(names == expected_languages, "the warning's language list offers %r, not %r" % (names, expected_languages))
        check(text_of(language) == "English", "the warning's language list shows %r" % text_of(language))
        press(find(dialog, "push button"))

        frame = wait_for("the main window", lambda: find(app, "frame", APP_NAME), 15)
        language = find(frame, "combo box", "Language")
        check(language is not None, "no list named Language in the main window")
        names = [i.name for i in items_of(language)]
        check(names == expected_languages, "the main window's language list offers %r, not %r" % (names, expected_languages))

        wheel = find(frame, "combo box", "Wheel Diameler [Inch]")
        check(wheel is not None, "no list named after the wheel diameter's label")
        wheel_items = [i.name for i in items_of(wheel)]
        check(len(wheel_items) == 16 and wheel_items[12] == "700C", "the wheel list offers %r" % wheel_items)
        before = text_of(wheel)
        check(before == wheel_items[PROFILE_WHEEL_INDEX],
              "the wheel list shows %r, not the profile's %r" % (before, wheel_items[PROFILE_WHEEL_INDEX]))

        # Pick the controller's port with the arrow keys, as a user of a screen reader does.
        port = find(frame, "combo box", "Serial Port")
        check(port is not None, "no list named Serial Port")
        items = items_of(port)
        mine = [i for i in items if i.name == LINK_NAME]
        check(len(mine) == 1, "the port list offers %r, not the link %r once" % ([i.name for i in items], LINK_NAME))
        check(mine[0].description == port_path,
              "the port item's description is %r, not the full path %r" % (mine[0].description, port_path))
        # Without a window manager the keyboard goes to the window under the pointer.
        box = port.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        pyatspi.Registry.generateMouseEvent(box.x + box.width // 2, box.y + box.height // 2, pyatspi.MOUSE_ABS)
        press(port, "SetFocus")
        pump(0.5)
        for _ in range(len(items)):
            if text_of(port) == LINK_NAME:
                break
            pyatspi.Registry.generateKeyboardEvent(0xFF54, None, pyatspi.KEY_SYM)  # Down
            pump(0.3)
        wait_for("the port list to show %r" % LINK_NAME, lambda: text_of(port) == LINK_NAME, 5)
        wait_for("the port list's description to be the full path",
                 lambda: port.description == port_path, 5)

        press(find(frame, "push button", "Connect"))
        manufacturer = find(frame, "label", "Manufacturer")
        check(manufacturer is not None, "no label named Manufacturer")
        wait_for("the manufacturer %r" % MANUFACTURER, lambda: text_of(manufacturer) == MANUFACTURER, 20)
        check(text_of(find(frame, "label", "Model")) != "", "the model stays empty after Connect")
        wait_for("the change announcement of the manufacturer",
                 lambda: events_from("object:property-change:accessible-name", "label", "Manufacturer"), 5)

        events.clear()
        read_flash = find(frame, "push button", "Read Flash")
        wait_for("Read Flash to be enabled", lambda: read_flash.getState().contains(pyatspi.STATE_ENABLED), 10)
        press(read_flash)
        # The end of the read is told in a message box; its one button closes it.
        box = wait_for("the message at the end of the read",
                       lambda: next((app.getChildAtIndex(i) for i in range(app.childCount)
                                     if app.getChildAtIndex(i).getRoleName() in ("dialog", "alert")), None), 30)
        press(find(box, "push button"))
        after = wait_for("the wheel list's new item", lambda: text_of(wheel) if text_of(wheel) != before else None, 10)
        check(after == CONTROLLER_WHEEL, "after the read the wheel list shows %r, not %r" % (after, CONTROLLER_WHEEL))
        pump(0.5)
        inserted = [e[2] for e in events_from("object:text-changed:insert", "combo box", "Wheel Diameler [Inch]")]
        check(inserted == [CONTROLLER_WHEEL], "the wheel list announced the insertions %r" % inserted)
        check(events_from("object:selection-changed", "combo box", "Wheel Diameler [Inch]"),
              "the wheel list announced no selection change")
        print("PASS: lists, their items and current items, the manufacturer and the change after Read reach the bus")
    except Failure:
        for name, log in logs.items():
            log.seek(0)
            sys.stderr.write("---- %s output\n%s" % (name, log.read()[-4000:]))
        sys.stderr.write("---- events seen\n%s\n" % "\n".join(map(str, events[-60:])))
        raise
    finally:
        for p in reversed(procs):
            stop(p)
        for log in logs.values():
            log.close()


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)

    def watchdog(signum, frame):
        raise Failure("the test took longer than %ss" % WHOLE_RUN_SECONDS)
    signal.signal(signal.SIGALRM, watchdog)
    signal.alarm(WHOLE_RUN_SECONDS)
    work = tempfile.mkdtemp(prefix="zelbor-atspi-")
    try:
        run(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), work)
    except Failure as e:
        sys.stderr.write("FAIL: %s\n" % e)
        sys.exit(1)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
