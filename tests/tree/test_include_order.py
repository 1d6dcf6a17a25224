#!/usr/bin/env python3
"""The include-order check itself: it must pass a tree that follows the
layering and name every include that goes against it."""

import os
import subprocess
import sys
import tempfile
import unittest

CHECKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                       "check-include-order.py")


class IncludeOrderCheck(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory()
        self.root = self.scratch.name
        # A small tree that follows the layering.
        self.write("platform/Platform.h", "#pragma once\n")
        self.write("kit/Kit.h", '#include "platform/Platform.h"\n')
        self.write("kit/Kit.cpp", '#include "Kit.h"\n#include <vector>\n')
        self.write("gui/View.h", '#include "platform/Platform.h"\n#include "resources/Resources.h"\n')
        self.write("resources/Resources.h", "#pragma once\n")
        self.write("resources/draw_artwork.cpp", "#include <cairo.h>\n")
        self.write("platform/x11/X11Frame.cpp", '#include "gui/View.h"\n#include <cairo-xlib.h>\n')
        self.write("editor/ADEditor.cpp", '#include "kit/Kit.h"\n#include "gui/View.h"\n')
        self.write("tests/kit/LoaderTest.cpp", '#include "editor/ADEditor.h"\n#include <sndfile.h>\n')
        # Build folders are not part of the tree.
        self.write("build/gui/Generated.cpp", '#include "kit/Kit.h"\n')
        self.write("build-asan/kit/Bad.cpp", "#include <cairo.h>\n")

    def tearDown(self):
        self.scratch.cleanup()

    def write(self, path, text):
        full = os.path.join(self.root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as f:
            f.write(text)

    def check(self):
        run = subprocess.run([sys.executable, CHECKER, self.root], capture_output=True, text=True)
        offences = [line for line in run.stdout.splitlines() if " includes " in line or ": the folder " in line]
        return run.returncode, offences

    def test_a_tree_that_follows_the_layering_passes(self):
        self.assertEqual(self.check(), (0, []))

    def test_an_upward_include_is_named_with_its_rule(self):
        self.write("gui/Foo.cpp", '#include "gui/View.h"\n#include "kit/Kit.h"\n')
        self.write("kit/Up.cpp", '#include "Kit.h"\n#include "editor/ADEditor.h"\n')
        status, offences = self.check()
        self.assertEqual(status, 1)
        self.assertEqual(offences, [
            "gui/Foo.cpp includes kit/Kit.h: the toolkit core may include only platform/, resources/",
            "kit/Up.cpp includes editor/ADEditor.h: the kit may include only platform/",
        ])

    def test_the_contract_and_backends_stay_below_the_kit(self):
        self.write("platform/Files.h", '#include "kit/Kit.h"\n')
        self.write("platform/x11/Dialogs.cpp", '#include "plugin/Tamblet.h"\n')
        self.write("platform/macos/Frame.cpp", '#include "gui/View.h"\n')
        status, offences = self.check()
        self.assertEqual(status, 1)
        self.assertEqual(offences, [
            "platform/Files.h includes kit/Kit.h: the platform contract may include "
            "nothing of the project outside its own folder",
            "platform/macos/Frame.cpp: the folder platform/macos/ has no entry in the layering table",
            "platform/x11/Dialogs.cpp includes plugin/Tamblet.h: the X11 backend may include only "
            "platform/, gui/, platform/cairo/",
        ])

    def test_cairo_and_libsndfile_stay_in_their_backends(self):
        self.write("gui/DrawContext.cpp", "#include <cairo.h>\n")
        self.write("resources/Other.cpp", "#include <cairo/cairo.h>\n")
        self.write("kit/Loader.cpp", "  #  include <sndfile.h>\n")
        self.write("platform/sndfile/Decoder.cpp", "#include <sndfile.h>\n")
        status, offences = self.check()
        self.assertEqual(status, 1)
        self.assertEqual([line.split(":")[0] for line in offences],
                         ["gui/DrawContext.cpp includes <cairo.h>", "kit/Loader.cpp includes <sndfile.h>",
                          "resources/Other.cpp includes <cairo/cairo.h>"])

    def test_an_include_in_a_block_comment_is_not_an_include(self):
        self.write("kit/Doc.h", '/* An example:\n#include "editor/ADEditor.h"\n*/\n')
        self.assertEqual(self.check(), (0, []))


if __name__ == "__main__":
    unittest.main()
