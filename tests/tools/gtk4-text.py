#!/usr/bin/env python3
# A GTK 4 window holding one text field, with the keyboard focus: a native Wayland text field for
# the paste tests. A text view rather than an entry: GTK 4.8 (Debian 12) shows an entry's text to
# AT-SPI as empty. Application id com.fernwick.quillet.TestText.
import gi

gi.require_version("Gtk", "4.0")
from gi.repository import Gio, Gtk  # noqa: E402


def activate(app):
    window = Gtk.ApplicationWindow(application=app, title="GTK 4 text")
    view = Gtk.TextView()
    window.set_child(view)
    window.present()
    view.grab_focus()


app = Gtk.Application(application_id="com.fernwick.quillet.TestText",
                      flags=Gio.ApplicationFlags.NON_UNIQUE)
app.connect("activate", activate)
app.run(None)
