#!/usr/bin/env python3
# Answers the desktop portal's remote-desktop dialog as a user would, through AT-SPI: ticks
# "Allow remote interaction" and presses Share. Waits up to 60 s for the dialog; exits 0 once it
# has pressed, 1 if no dialog came.
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def walk(node, depth=0):
    yield node
    if depth > 20:
        return
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield from walk(child, depth + 1)


def answer():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is None or app.get_name() != "xdg-desktop-portal-gnome":
            continue
        share = None
        for node in walk(app):
            role, name = node.get_role_name(), node.get_name() or ""
            if role == "check box" and "remote interaction" in name:
                if not node.get_state_set().contains(Atspi.StateType.CHECKED):
                    Atspi.Action.do_action(node, 0)
            elif role == "push button" and "Share" in name:
                share = node
        if share is not None:
            Atspi.Action.do_action(share, 0)
            return True
    return False


deadline = time.monotonic() + 60
while time.monotonic() < deadline:
    try:
        if answer():
            sys.exit(0)
    except gi.repository.GLib.Error:
        pass  # the dialog changed while being read
    time.sleep(0.2)
sys.exit(1)
