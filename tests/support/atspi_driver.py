#!/usr/bin/python3
"""Reads and drives a program over AT-SPI, the bus screen readers use on
Linux, as a screen reader would. Run inside the session whose accessibility
bus the program uses.

    atspi_driver.py dump APP [NAME]          one line per object: role, name,
                                             focusable, showing, actions; once
                                             an object named NAME is there
    atspi_driver.py press APP NAME           runs the named object's Press action
    atspi_driver.py wait-text APP NAME TEXT  waits until the object so named
                                             holds TEXT

APP is the application's name on the bus. Each command waits for what it
needs for up to 90 s (a hang guard) and exits 1 when it never comes.
"""
import sys
import time

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


def until(find):
    end = time.monotonic() + BOUND_S
    while time.monotonic() < end:
        found = find()
        if found is not None:
            return found
        time.sleep(0.1)
    return None


def named(app_name, name, role=None):
    def find():
        app = application(app_name)
        if app is None:
            return None
        for node in walk(app):
            if node.name == name and (role is None or role_name(node) == role):
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
        node = named(app_name, sys.argv[3])
        if node is None or "Press" not in actions(node):
            return 1
        a = node.queryAction()
        return 0 if a.doAction(actions(node).index("Press")) else 1
    if command == "wait-text":
        want = sys.argv[4]
        return 0 if until(lambda: (lambda n: n if n is not None and text_of(n) == want
                                   else None)(named(app_name, sys.argv[3]))) else 1
    return 2


if __name__ == "__main__":
    sys.exit(main())
