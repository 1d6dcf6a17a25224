#!/usr/bin/python3
"""The Windows plug-in's window under Wine, driven with the X server's mouse
and keyboard (xdotool) as a user's would be.

    wine_editor.py WINE_RUN HOST_EXE PLUGIN_DLL DRAG_SOURCES_DIR [LINUX_KIT]

One run of `rimbrel-host.exe editor` checks that
  - a file dragged from a GTK window onto key 0's name, and one from a Qt
    window onto key 1's, fill those keys (the loader names them on stderr);
  - a click on key 0 auditions it (the recorded output is no longer silent);
  - the export button's save dialog, answered with a typed Z:\\ path, writes
    a kit byte for byte as the Linux build writes the same keys (LINUX_KIT:
    the Linux rimbrel-kit, whose kits are the window's exports);
  - two long files more make the export show "Total Duration too long!",
    which is answered and goes;
  - the window drew its artwork and both names (a screenshot at the end).
RIMBREL_KEEP_WINE_EDITOR=1 keeps the files (the screenshot among them).
Exits 77 (skipped) without an X display, xdotool or the drag sources'
toolkits.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import wave
import zlib

# Places in the plug-in's window (resources/EditorGeometry.h).
KEY_OFFSETS = [0, 20, 40, 61, 81, 102, 122, 162, 183, 203, 224, 244]
EXPORT_BUTTON = (130, 87)
DROP_BUTTON = (8, 11, 256, 65)


def label_middle(k):
    return 120, int(160 + KEY_OFFSETS[k % 12] + (k // 12) * 7 * 40.71428571 + 9)


def key_button_middle(k):
    return 317, 151 + 20  # key 0's white key


def fail(message, *logs):
    print("FAILED: " + message)
    for name, text in logs:
        print("--- %s:\n%s" % (name, text))
    sys.exit(1)


def await_true(condition, seconds):
    """Polls `condition` until it holds or `seconds` have passed."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.1)
    return condition()


def xdotool(*args):
    result = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True, timeout=30)
    return result.stdout


def find_window(pattern, seconds=20):
    found = []

    def look():
        found[:] = xdotool("search", "--onlyvisible", "--name", pattern).split()
        return bool(found)

    await_true(look, seconds)
    return found[0] if found else None


def origin(window):
    info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
    values = {}
    for line in info.splitlines():
        key, _, value = line.strip().partition(":")
        values[key] = value.strip()
    return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
            int(values["Width"]), int(values["Height"]))


def write_tone(path, frames, level):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(44100)
        sample = struct.pack("<h", int(level * 32767))
        w.writeframes(sample * frames)


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def read_png(path):
    """Width, height and rows of RGB triples of an 8-bit RGB or RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, color = header[:4]
    if depth != 8 or color not in (2, 6):
        raise ValueError("unexpected PNG format %d/%d" % (depth, color))
    channels = 3 if color == 2 else 4
    raw, stride, rows, prior = zlib.decompress(idat), width * channels, [], bytearray(width * channels)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prior[i]
            c = prior[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        prior = line
    return width, height, rows


def bright_pixels(rows, left, top, right, bottom):
    return sum(1 for y in range(top, bottom) for x in range(left, right) if min(rows[y][x]) > 180)


def recorded_peak(path):
    with open(path, "rb") as f:
        data = f.read()
    pos, peak = 12, 0.0
    while pos + 8 <= len(data):
        kind, length = struct.unpack("<4sI", data[pos:pos + 8])
        if kind == b"data":
            body = data[pos + 8:pos + 8 + length]
            samples = struct.unpack("<%df" % (len(body) // 4), body[:len(body) // 4 * 4])
            peak = max((abs(s) for s in samples), default=0.0)
        pos += 8 + length + (length & 1)
    return peak


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    wine_run, host, plugin, sources = sys.argv[1:5]
    linux_kit = sys.argv[5] if len(sys.argv) > 5 else ""
    if not os.environ.get("DISPLAY") or not shutil.which("xdotool") or not shutil.which("xwininfo"):
        print("no X display, xdotool or xwininfo")
        sys.exit(77)
    for source in ("gtk_drag_source.py", "qt_drag_source.py"):
        if subprocess.run(["/usr/bin/python3", os.path.join(sources, source), "--check"],
                          capture_output=True).returncode != 0:
            print("no toolkit for " + source)
            sys.exit(77)

    work = tempfile.mkdtemp(prefix="rimbrel-wine-editor-")
    samples = os.path.join(work, "my samples")
    os.makedirs(samples)
    kick, snare = os.path.join(samples, "kick drum.wav"), os.path.join(samples, "snäre.wav")
    long1, long2 = os.path.join(samples, "long one.wav"), os.path.join(samples, "long two.wav")
    write_tone(kick, 13230, 0.5)
    write_tone(snare, 8820, 0.25)
    write_tone(long1, 7 * 44100, 0.1)
    write_tone(long2, 7 * 44100, 0.1)
    kit, shot, out = (os.path.join(work, name) for name in ("exported kit.aif", "shot.png", "out.wav"))

    host_out, host_err = open(os.path.join(work, "host.out"), "w+"), open(os.path.join(work, "host.err"), "w+")
    process = subprocess.Popen([wine_run, host, "editor", plugin, "--seconds", "300", "--record",
                                windows_path(out), "--screenshot", windows_path(shot)],
                               stdout=host_out, stderr=host_err)
    logs = lambda: [("host stdout", open(host_out.name).read()), ("host stderr", open(host_err.name).read())]
    stderr_text = lambda: open(host_err.name, errors="replace").read()
    try:
        if not await_true(lambda: "editor opened" in open(host_out.name).read(), 120):
            fail("the editor did not open", *logs())
        window = find_window("^rimbrel-host: ")
        if not window:
            fail("no window of rimbrel-host", *logs())
        host_x, host_y, _, _ = origin(window)

        def at(point):
            return host_x + point[0], host_y + point[1]

        def drag(source, paths, key):
            proc = subprocess.Popen(["/usr/bin/python3", os.path.join(sources, source), "700", "300", *paths],
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            if proc.stdout.readline().strip() != "ready":
                fail(source + " did not come up", ("source", proc.stderr.read()))
            sx, sy, sw, sh = origin(find_window("^drag source$"))
            start, target = (sx + sw // 2, sy + sh // 2), at(label_middle(key))
            xdotool("mousemove", *start, "sleep", "0.2", "mousedown", "1", "sleep", "0.1")
            for percent in (2, 10, 30, 50, 70, 85, 95, 99, 100):
                xdotool("mousemove", start[0] + (target[0] - start[0]) * percent // 100,
                        start[1] + (target[1] - start[1]) * percent // 100, "sleep", "0.1")
            xdotool("sleep", "0.3", "mouseup", "1")
            outcome = proc.stdout.readline().strip()
            if outcome == "drag begun":  # the source's next line tells how the drag ended
                outcome = proc.stdout.readline().strip()
            proc.wait(timeout=30)
            if outcome != "drag ok":  # the copy the drop answered reaches the source
                fail("%s saw its drop end as: %s" % (source, outcome or "nothing"), *logs())
            for path in paths:
                name = os.path.basename(path)
                if not await_true(lambda: any("DoXPlatLoadStuff" in line and name in line
                                              for line in stderr_text().splitlines()), 20):
                    fail("%s dropped from %s was not loaded (source: %s)" % (name, source, outcome), *logs())

        def click(point):
            xdotool("mousemove", *at(point), "sleep", "0.1", "click", "1")

        drag("gtk_drag_source.py", [kick], 0)
        drag("qt_drag_source.py", [snare], 1)
        click(key_button_middle(0))

        click(EXPORT_BUTTON)
        dialog = find_window("^Export Op1 Kit as\\.\\.$")
        if not dialog:
            fail("no save dialog", *logs())
        xdotool("windowfocus", dialog, "sleep", "0.3", "key", "ctrl+a")
        xdotool("type", "--delay", "20", windows_path(kit))
        xdotool("key", "Return")
        if not await_true(lambda: os.path.exists(kit) and find_window("^Export Op1 Kit as", 0) is None, 20):
            fail("the save dialog wrote no kit", *logs())
        if linux_kit:
            reference = os.path.join(work, "linux.aif")
            subprocess.run([linux_kit, "build", kick, snare, "-o", reference], check=True, capture_output=True)
            exported = lambda: open(kit, "rb").read()
            if not await_true(lambda: exported() == open(reference, "rb").read(), 10):
                fail("the exported kit differs from the Linux build's (%d and %d bytes)"
                     % (len(exported()), os.path.getsize(reference)), *logs())

        drag("gtk_drag_source.py", [long1, long2], 2)
        click(EXPORT_BUTTON)
        box = find_window("^Total Duration too long!$")
        if not box:
            fail("no message box for a kit too long", *logs())
        xdotool("windowfocus", box, "sleep", "0.3", "key", "Return")
        if not await_true(lambda: find_window("^Total Duration too long!$", 0) is None, 20):
            fail("the message box did not go when answered", *logs())
    finally:
        process.send_signal(2)  # Ctrl-C: the host closes the editor and ends
        try:
            code = process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            process.kill()
            code = None
    if code != 0:
        fail("rimbrel-host ended with %s" % code, *logs())

    if recorded_peak(out) < 0.1:
        fail("the click on key 0 did not audition it", *logs())
    width, height, rows = read_png(shot)
    if (width, height) != (540, 786):
        fail("the screenshot is %dx%d" % (width, height))
    if bright_pixels(rows, *DROP_BUTTON) < 300:
        fail("the drop button's artwork is missing from the window")
    for k in (0, 1):
        x, y = label_middle(k)
        if bright_pixels(rows, 36, y - 8, 200, y + 8) < 20:
            fail("key %d's name is not shown" % k)
    if os.environ.get("RIMBREL_KEEP_WINE_EDITOR"):
        print("kept " + work)
    else:
        shutil.rmtree(work, ignore_errors=True)
    print("ok")


if __name__ == "__main__":
    main()
