#!/usr/bin/env python3
# The user's hands in a headless mutter, through mutter's own remote-desktop interface (which
# asks no one):
#   mutter-hands.py hold             keeps a keyboard on the seat until ended (prints "ready")
#   mutter-hands.py keys CHORD ...   presses each chord, e.g. Control_L+v Escape a
# Toolkits that start while the seat has no keyboard (GTK 4, the portal's dialogs) never take
# keys, so the launcher holds one from the start.
import sys
import time

import gi

gi.require_version("Gdk", "4.0")
from gi.repository import Gdk, Gio, GLib  # noqa: E402

SERVICE = "org.gnome.Mutter.RemoteDesktop"
bus = Gio.bus_get_sync(Gio.BusType.SESSION)


def call(path, interface, method, args=None, reply=None):
    return bus.call_sync(SERVICE, path, interface, method, args, reply, 0, 5000, None)


def session():
    path = call("/org/gnome/Mutter/RemoteDesktop", SERVICE, "CreateSession",
                reply=GLib.VariantType("(o)")).unpack()[0]
    call(path, SERVICE + ".Session", "Start")
    return path


def key(path, keysym, down):
    call(path, SERVICE + ".Session", "NotifyKeyboardKeysym", GLib.Variant("(ub)", (keysym, down)))
    time.sleep(0.05)


if sys.argv[1:2] == ["hold"]:
    session()
    print("ready", flush=True)
    GLib.MainLoop().run()
elif sys.argv[1:2] == ["keys"]:
    path = session()
    # A fresh device loses its first key.
    key(path, Gdk.KEY_Shift_L, True)
    key(path, Gdk.KEY_Shift_L, False)
    for chord in sys.argv[2:]:
        syms = [Gdk.keyval_from_name(name) for name in chord.split("+")]
        for s in syms:
            key(path, s, True)
        for s in reversed(syms):
            key(path, s, False)
        time.sleep(0.2)
else:
    sys.exit("usage: mutter-hands.py hold | keys CHORD...")
