#!/usr/bin/env python3
"""Checks that every #include of the tree follows the house's layering.

Reads every .h/.cpp of the tree (build folders and hidden folders left out),
resolves each #include "..." to the folder of the file it names, and prints
one line per include that goes against the table below, for example

  gui/Foo.cpp includes kit/Kit.h: the toolkit core may include only platform/, resources/

System includes (#include <...>) are checked against the few libraries that
must stay behind the platform contract (cairo, libsndfile).

Usage: check-include-order.py [ROOT]   (ROOT defaults to the repository)
Exit status: 0 when every include is allowed, 1 otherwise.
"""

import os
import re
import sys

# ---------------------------------------------------------------------------
# The layering, lowest first. Each folder names what it is and which other
# folders its files may include; a file may always include its own folder.
# A folder's subfolders belong to it, except under platform/, where every
# subfolder is a backend that must be listed here by itself.
# `None` means "anything" (programs, not layers).
LAYERS = {
    "platform": ("the platform contract", []),
    "kit": ("the kit", ["platform"]),
    "formats": ("the kit file formats", ["kit", "platform"]),
    "plugin": ("the VST 2.4 layer and the effect", ["kit", "platform", "plugin/vst2"]),
    "plugin/vst2": ("the VST 2.4 interface header", ["kit", "platform"]),
    "resources": ("the embedded bitmaps", []),
    "gui": ("the toolkit core", ["platform", "resources"]),
    # Backends: the contract, the toolkit core (windows and drawing only),
    # and the backends they build on (x11 and headless draw with cairo).
    "platform/cairo": ("the cairo drawing backend", ["platform", "gui"]),
    "platform/x11": ("the X11 backend", ["platform", "gui", "platform/cairo"]),
    "platform/headless": ("the headless backend", ["platform", "gui", "platform/cairo"]),
    "platform/posix": ("the POSIX files backend", ["platform"]),
    "platform/sndfile": ("the libsndfile decoder", ["platform"]),
    "platform/ownaudio": ("the own WAV and AIFF decoder", ["platform"]),
    # Windows: what the X11 backend may, the own decoder it tries first, and
    # the embedded resources, which hold its text face.
    "platform/win32": ("the Windows backend", ["platform", "gui", "platform/cairo", "platform/ownaudio",
                                               "resources"]),
    "binding": ("the editor binding", ["gui", "platform", "plugin", "plugin/vst2"]),
    "editor": ("the editor", ["binding", "gui", "plugin", "plugin/vst2", "kit", "formats",
                              "resources", "platform"]),
    "instrument": ("the instrument", ["platform", "kit", "formats", "plugin", "plugin/vst2",
                                      "resources", "gui", "platform/cairo", "platform/x11",
                                      "platform/headless", "platform/posix", "platform/sndfile",
                                      "platform/win32", "binding", "editor"]),
    "tools": ("the command-line tools", None),
    "tests": ("the tests", None),
    "bench": ("the benchmarks", None),
}

# System headers that only some places may include. A header matches when its
# path starts with one of the prefixes; the places are folders (with their
# subfolders) or single files.
SYSTEM_RULES = [
    ("cairo", ("cairo.h", "cairo-", "cairo/"),
     ["platform/cairo", "platform/x11", "platform/headless", "resources/draw_artwork.cpp",
      "tools", "tests", "bench"]),
    # bench writes its own sound files to load, as the tests do.
    ("libsndfile", ("sndfile.h",), ["platform/sndfile", "tools", "tests", "bench"]),
]
# ---------------------------------------------------------------------------

SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.MULTILINE)
BLOCK_COMMENT = re.compile(r"/\*.*?\*/", re.DOTALL)


def is_build_folder(path, name):
    return (name.startswith("build") or name.startswith(".")
            or os.path.exists(os.path.join(path, name, "CMakeCache.txt")))


def source_files(root):
    for folder, subfolders, files in os.walk(root):
        subfolders[:] = sorted(s for s in subfolders if not is_build_folder(folder, s))
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")


def layer_of(folder):
    """The table entry a folder belongs to, or None when it has none."""
    best = None
    for layer in LAYERS:
        if folder == layer or folder.startswith(layer + "/"):
            if best is None or len(layer) > len(best):
                best = layer
    if best == "platform" and folder != "platform":
        return None  # a backend the table does not list yet
    return best


def rule_text(description, allowed):
    if not allowed:
        return f"{description} may include nothing of the project outside its own folder"
    return f"{description} may include only " + ", ".join(layer + "/" for layer in allowed)


def resolve(root, including_file, included):
    """Path (from root) of the file an #include "..." names, as the compiler
    finds it: beside the including file first, then from the root."""
    beside = os.path.normpath(os.path.join(os.path.dirname(including_file), included))
    if os.path.isfile(os.path.join(root, beside)):
        return beside.replace(os.sep, "/")
    return os.path.normpath(included).replace(os.sep, "/")


def in_places(path, places):
    return any(path == place or path.startswith(place + "/") for place in places)


def offences(root):
    found = []
    for path in source_files(root):
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            text = BLOCK_COMMENT.sub("", f.read())
        own = layer_of(os.path.dirname(path))
        own_folder = os.path.dirname(path)
        if own is None:
            found.append(f"{path}: the folder {own_folder}/ has no entry in the layering table")
            continue
        description, allowed = LAYERS[own]
        for kind, included in INCLUDE.findall(text):
            if kind == "<":
                for library, prefixes, places in SYSTEM_RULES:
                    if included.startswith(prefixes) and not in_places(path, places):
                        found.append(f"{path} includes <{included}>: {library} may be included only in "
                                     + ", ".join(places))
                continue
            if allowed is None:
                continue
            target = resolve(root, path, included)
            target_layer = layer_of(os.path.dirname(target))
            if target_layer == own or (target_layer is not None and target_layer in allowed):
                continue
            found.append(f"{path} includes {target}: {rule_text(description, allowed)}")
    return found


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    root = os.path.abspath(root)
    found = offences(root)
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) against the layering")
        return 1
    print("every include follows the layering")
    return 0


if __name__ == "__main__":
    sys.exit(main())
