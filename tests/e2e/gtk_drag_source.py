#!/usr/bin/python3
"""A GTK window that drags files, as a GTK file manager does.

    gtk_drag_source.py X Y PATH...
    gtk_drag_source.py --check      (exits 0 when GTK for Python is there)

Shows a 200 x 100 window at (X, Y) whose whole area is a drag source of
text/uri-list naming the paths. Prints "ready" once shown, "drag begun" when a drag
starts, then one line when it ends: "drag ok" or "drag failed <reason>".
Quits after the first drag or after 60 seconds.
"""
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import GLib, Gdk, Gtk  # noqa: E402

if sys.argv[1:] == ["--check"]:
    sys.exit(0)

x, y = int(sys.argv[1]), int(sys.argv[2])
uris = [GLib.filename_to_uri(p, None) for p in sys.argv[3:]]

window = Gtk.Window(title="drag source")
window.set_default_size(200, 100)
window.move(x, y)
box = Gtk.EventBox()
box.add(Gtk.Label(label="drag me"))
window.add(box)

box.drag_source_set(Gdk.ModifierType.BUTTON1_MASK, [], Gdk.DragAction.COPY)
box.drag_source_add_uri_targets()


def on_data_get(widget, context, data, info, time):
    data.set_uris(uris)


def on_begin(widget, context):
    print("drag begun", flush=True)


def on_end(widget, context):
    print("drag ok", flush=True)
    GLib.timeout_add(200, Gtk.main_quit)


def on_failed(widget, context, result):
    print("drag failed %s" % result.value_nick, flush=True)
    GLib.timeout_add(200, Gtk.main_quit)
    return True


box.connect("drag-data-get", on_data_get)
box.connect("drag-begin", on_begin)
box.connect("drag-failed", on_failed)
box.connect("drag-end", on_end)
window.connect("destroy", Gtk.main_quit)


def announce():
    print("ready", flush=True)
    return False


window.connect("map-event", lambda *a: GLib.timeout_add(300, announce) and False)
window.show_all()
GLib.timeout_add_seconds(60, Gtk.main_quit)
Gtk.main()
