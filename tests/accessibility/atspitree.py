#!/usr/bin/python3
"""Prints, as one JSON document, what a screen reader learns over AT-SPI
about the showing objects of one process: role, name, description, key
binding, value and the focusable and focused states of each, with its
window.

usage: atspitree.py PID
"""
import json
import sys

import pyatspi

# Bounds the walk: a window of this program has a few dozen objects; a
# tree grown past this would be a fault of its own.
MAXIMUM_OBJECTS = 5000


def key_binding(accessible):
    try:
        action = accessible.queryAction()
    except NotImplementedError:
        return ""
    return ";".join(action.getKeyBinding(i) for i in range(action.nActions))


def value(accessible):
    try:
        return accessible.queryValue().currentValue
    except NotImplementedError:
        return None


def walk(accessible, window, found):
    if accessible is None or len(found) >= MAXIMUM_OBJECTS:
        return
    states = accessible.getState()
    if not states.contains(pyatspi.STATE_SHOWING):
        return
    role = accessible.getRoleName()
    if accessible.getRole() in (pyatspi.ROLE_FRAME, pyatspi.ROLE_DIALOG, pyatspi.ROLE_WINDOW):
        window = accessible.name
    found.append({
        "window": window,
        "role": role,
        "name": accessible.name,
        "description": accessible.description,
        "keyBinding": key_binding(accessible),
        "value": value(accessible),
        "focusable": states.contains(pyatspi.STATE_FOCUSABLE),
        "focused": states.contains(pyatspi.STATE_FOCUSED),
        "enabled": states.contains(pyatspi.STATE_ENABLED),
    })
    for child in accessible:
        walk(child, window, found)


def main():
    pid = int(sys.argv[1])
    found = []
    for application in pyatspi.Registry.getDesktop(0):
        if application is not None and application.get_process_id() == pid:
            for window in application:
                walk(window, "", found)
    json.dump(found, sys.stdout, ensure_ascii=False)
    return 0


if __name__ == "__main__":
    sys.exit(main())
