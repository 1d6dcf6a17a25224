#!/usr/bin/python3
"""Records the drag-and-drop properties of every window of an X display.

    xdnd_property_watch.py watch LOG
        From its start until it is killed, writes one line per event to LOG:
        "new WINDOW" when a window appears (followed by the values it has),
        "WINDOW PROPERTY VALUE" for each value set or read ("-" when absent),
        "gone WINDOW" when it is destroyed. Prints "watching" once it watches.
    xdnd_property_watch.py compare LOG EDITOR WINDOW...
        For each window, the values of XdndAware and XdndProxy it had before
        the plug-in could touch it (when the editor's window EDITOR was
        created, or for a window made later, until the editor's proxy first
        reached it) against the last ones before the window went away (or the
        log ended). Prints one line per difference and exits 1 if any.

Every window is watched from the moment it is created.
"""
import sys

from Xlib import X, display, error

PROPERTIES = ("XdndAware", "XdndProxy")


def value_of(d, window, atom):
    try:
        reply = window.get_full_property(atom, X.AnyPropertyType)
    except error.XError:
        return None
    if reply is None or not len(reply.value):
        return "-"
    return " ".join("0x%x" % v for v in reply.value)


def watch(log_path):
    d = display.Display()
    atoms = {d.intern_atom(name): name for name in PROPERTIES}
    log = open(log_path, "w", buffering=1)
    watched = set()

    def follow(window):
        if window.id in watched:
            return
        watched.add(window.id)
        try:
            window.change_attributes(event_mask=X.SubstructureNotifyMask | X.PropertyChangeMask)
            d.sync()
            children = window.query_tree().children
        except error.XError:
            return
        # Children first: a value read now may have been set after a child
        # was created, and is then logged after that child.
        log.write("new 0x%x\n" % window.id)
        for child in children:
            follow(child)
        for atom, name in atoms.items():
            v = value_of(d, window, atom)
            if v not in (None, "-"):
                log.write("0x%x %s %s\n" % (window.id, name, v))

    follow(d.screen().root)
    print("watching", flush=True)
    while True:
        event = d.next_event()
        if event.type == X.CreateNotify:
            follow(d.create_resource_object("window", event.window.id))
        elif event.type == X.ReparentNotify:
            follow(d.create_resource_object("window", event.window.id))
        elif event.type == X.DestroyNotify and event.window.id in watched:
            watched.discard(event.window.id)
            log.write("gone 0x%x\n" % event.window.id)
        elif event.type == X.PropertyNotify and event.atom in atoms:
            v = value_of(d, event.window, event.atom) if event.state == X.PropertyNewValue else "-"
            if v is not None:
                log.write("0x%x %s %s\n" % (event.window.id, atoms[event.atom], v))


def compare(log_path, editor, windows):
    editor = int(editor, 16)
    lines = [line.split(None, 2) for line in open(log_path)]
    created = [i for i, w in enumerate(lines) if len(w) == 2 and w[0] == "new" and int(w[1], 16) == editor]
    if not created:
        print("the editor's window 0x%x was never created" % editor)
        return 1
    existed = {int(w[1], 16) for w in lines[:created[0]] if len(w) == 2 and w[0] == "new"}
    differences = 0
    for window in (int(w, 16) for w in windows):
        mine = [(i, w[1], w[2].strip()) for i, w in enumerate(lines)
                if len(w) == 3 and w[1] in PROPERTIES and int(w[0], 16) == window]
        # The plug-in can touch a window once its own exists; a window made
        # later (the host's top-level) is the host's until the plug-in's
        # proxy first reaches it.
        if window in existed:
            touched = created[0]
        else:
            touched = next((i for i, name, v in mine if name == "XdndProxy" and v == "0x%x" % editor), len(lines))
        for name in PROPERTIES:
            values = [v for i, n, v in mine if n == name]
            was = ([v for i, n, v in mine if n == name and i < touched] or ["-"])[-1]
            left = (values or ["-"])[-1]
            if was != left:
                print("0x%x %s: was %s, left as %s" % (window, name, was, left))
                differences += 1
    return 1 if differences else 0


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "watch":
        watch(sys.argv[2])
    elif len(sys.argv) >= 5 and sys.argv[1] == "compare":
        sys.exit(compare(sys.argv[2], sys.argv[3], sys.argv[4:]))
    else:
        sys.exit(__doc__)
