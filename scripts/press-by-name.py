#!/usr/bin/python3
"""Presses a button or a menu entry of a running program through the accessibility bus, as a
screen reader or a UI automation tool does: the program by its name, a group (or a menu) of the
given name in its window, the button (or entry) of the given name in it, and its press action.

Usage: press-by-name.py PROGRAM GROUP BUTTON [SECONDS]
Waits up to SECONDS (default 10) for the button to appear. Exit status 0 when it was pressed,
1 when it was not found, 2 on a usage error. Needs the program started with
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 on the same session bus.
"""
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

MAX_DEPTH = 30


def children(node):
    for index in range(node.get_child_count()):
        child = node.get_child_at_index(index)
        if child is not None:
            yield child


CONTAINERS = (Atspi.Role.PANEL, Atspi.Role.MENU_ITEM, Atspi.Role.MENU)
PRESSABLE = (Atspi.Role.PUSH_BUTTON, Atspi.Role.TOGGLE_BUTTON, Atspi.Role.MENU_ITEM)


def find(node, roles, name, depth=0):
    """The first node below `node` with one of these roles and this name, depth first."""
    if depth > MAX_DEPTH:
        return None
    for child in children(node):
        try:
            if child.get_role() in roles and child.get_name() == name:
                return child
        except GLib.Error:
            continue  # a node that went away meanwhile
        found = find(child, roles, name, depth + 1)
        if found is not None:
            return found
    return None


def find_button(program, group, button):
    desktop = Atspi.get_desktop(0)
    for app in children(desktop):
        try:
            if app.get_name() != program:
                continue
        except GLib.Error:
            continue
        container = find(app, CONTAINERS, group)
        if container is not None:
            return find(container, PRESSABLE, button)
    return None


def press(node):
    # The interface getters are deprecated for names that this version does not have yet.
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)
        action = node.get_action_iface()
        if action is None:
            return False
        for index in range(action.get_n_actions()):
            if action.get_action_name(index).lower() != "press":
                continue
            try:
                return action.do_action(index)
            except GLib.Error as error:
                # The program answers a press when its handler returns; a handler that opens a
                # modal dialog returns only when the dialog closes. The press was taken.
                if "reply" in str(error).lower():
                    return True
                raise
    return False


def main(argv):
    if len(argv) not in (4, 5):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    program, group, button = argv[1:4]
    seconds = float(argv[4]) if len(argv) == 5 else 10.0
    deadline = time.monotonic() + seconds
    # Method calls time out after 2 s (the program's reply to a press that opens a dialog waits).
    Atspi.set_timeout(2000, -1)
    while True:
        node = find_button(program, group, button)
        if node is not None and press(node):
            print(f'press-by-name: pressed "{button}" in "{group}" of {program}')
            return 0
        if time.monotonic() > deadline:
            print(f'press-by-name: no button "{button}" in a group "{group}" of {program}',
                  file=sys.stderr)
            return 1
        time.sleep(0.2)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
