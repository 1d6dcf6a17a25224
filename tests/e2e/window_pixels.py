#!/usr/bin/python3
"""Reads pixels of a rectangle of an X window as the screen shows them.

    window_pixels.py bright WINDOW X Y W H
        prints how many pixels are brighter than mid-grey in every channel
        (white text is anti-aliased, so text is counted rather than matched)
    window_pixels.py save WINDOW X Y W H FILE
        writes the rectangle's pixels (raw, 4 bytes each) to FILE, to be
        compared byte for byte with another rectangle's
"""
import sys

from Xlib import X, display


def grab(window_id, x, y, w, h):
    d = display.Display()
    window = d.create_resource_object("window", int(window_id, 16))
    return window.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF).data


def bright(data):
    n = 0
    for i in range(0, len(data) - 3, 4):
        n += data[i] > 180 and data[i + 1] > 180 and data[i + 2] > 180
    return n


if __name__ == "__main__":
    if len(sys.argv) < 7 or sys.argv[1] not in ("bright", "save"):
        sys.exit(__doc__)
    data = grab(sys.argv[2], *map(int, sys.argv[3:7]))
    if sys.argv[1] == "bright":
        print(bright(data))
    else:
        with open(sys.argv[7], "wb") as f:
            f.write(data)
