#!/usr/bin/python3
"""Reads and drives a program over AT-SPI, the bus screen readers use on
Linux, as a screen reader would. Run inside the session whose accessibility
bus the program uses.

    atspi_driver.py dump APP [NAME]          one line per object: role, name,
                                             focusable, showing, actions; once
                                             an object named NAME is there
    atspi_driver.py press APP NAME [ROLE]    runs the named object's Press action
    atspi_driver.py set-text APP NAME TEXT   puts TEXT into the field so named
    atspi_driver.py wait-text APP NAME TEXT  waits until the object so named
                                             holds TEXT
    atspi_driver.py lint APP                 fails on (and prints) an invisible
                                             character in a name or text, a field
                                             without a name, an object showing
                                             outside its window

APP is the application's name on the bus. Each command waits for what it
needs for up to 90 s (a hang guard) and exits 1 when it never comes.
"""
import sys
import time
import unicodedata

import pyatspi

BOUND_S = 90


def role_name(node):
    # AT-SPI 2.56 (Debian 13) calls the push button "button"; the checks use
    # the name earlier releases give it.
    if node.getRole() == pyatspi.ROLE_PUSH_BUTTON:
        return "push button"
    return node.getRoleName()


def application(name):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == name:
            return app
    return None


def walk(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def actions(node):
    try:
        a = node.queryAction()
    except NotImplementedError:
        return []
    return [a.getName(i) for i in range(a.nActions)]


def text_of(node):
    try:
        t = node.queryText()
        return t.getText(0, t.characterCount)
    except NotImplementedError:
        return node.name


def extents(node):
    e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.x + e.width, e.y + e.height


def lint(app):
    problems = []
    for window in [app.getChildAtIndex(i) for i in range(app.childCount)]:
        x0, y0, x1, y1 = extents(window)
        for node in walk(window):
            what = "%s '%s': " % (role_name(node), node.name)
            if any(unicodedata.category(c) == "Cf" for c in node.name + text_of(node)):
                problems.append(what + "an invisible character")
            if role_name(node) in ("text", "password text") and not node.name:
                problems.append(what + "a field without a name")
            a0, b0, a1, b1 = extents(node)
            if (node.getState().contains(pyatspi.STATE_SHOWING)
                    and not (a0 < x1 and x0 < a1 and b0 < y1 and y0 < b1)):
                problems.append(what + "showing outside its window")
    print("\n".join(problems))
    return 1 if problems else 0


def until(find):
    end = time.monotonic() + BOUND_S
    while time.monotonic() < end:
        found = find()
        if found is not None:
            return found
        time.sleep(0.1)
    return None


def named(app_name, name, role=None, text=None):
    """The first object so named (with that role, holding that text)."""
    roles = (role,) if isinstance(role, str) else role
    def find():
        app = application(app_name)
        if app is None:
            return None
        for node in walk(app):
            if (node.name == name and (roles is None or role_name(node) in roles)
                    and (text is None or text_of(node) == text)):
                return node
        return None
    return until(find)


def main():
    command, app_name = sys.argv[1], sys.argv[2]
    if command == "dump":
        app = until(lambda: application(app_name))
        if app is None or (len(sys.argv) > 3 and named(app_name, sys.argv[3]) is None):
            return 1
        for node in walk(app):
            states = node.getState()
            print("%s|%s|focusable=%s|showing=%s|%s" % (
                role_name(node), node.name, states.contains(pyatspi.STATE_FOCUSABLE),
                states.contains(pyatspi.STATE_SHOWING), ",".join(actions(node))))
        return 0
    if command == "press":
        node = named(app_name, sys.argv[3], sys.argv[4] if len(sys.argv) > 4 else None)
        if node is None or "Press" not in actions(node):
            return 1
        a = node.queryAction()
        return 0 if a.doAction(actions(node).index("Press")) else 1
    if command == "set-text":
        node = named(app_name, sys.argv[3], ("text", "password text"))
        return 0 if node is not None and node.queryEditableText().setTextContents(sys.argv[4]) else 1
    if command == "lint":
        app = until(lambda: application(app_name))
        return 1 if app is None else lint(app)
    if command == "wait-text":
        return 0 if named(app_name, sys.argv[3], text=sys.argv[4]) else 1
    return 2


if __name__ == "__main__":
    sys.exit(main())
