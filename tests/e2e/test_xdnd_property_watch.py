#!/usr/bin/python3
"""The property watch's judgement, on logs as a host and an editor leave them:
values the host gave its windows must come back, the editor's must go."""
import io
import os
import sys
import tempfile
import unittest
from contextlib import redirect_stdout

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xdnd_property_watch as watch  # noqa: E402

# The host's window 0x600001 exists before the editor's 0xa00001; the GTK
# top-level 0x8003c7 and its child 0x8003ca come later, the top-level
# XdndAware before the editor's proxy reaches it.
OPENED = """new 0x600001
new 0xa00001
0x600001 XdndAware 0x5
0x600001 XdndProxy 0xa00001
new 0x8003c7
new 0x8003ca
0x8003c7 XdndAware 0x5
0x600001 XdndAware -
0x600001 XdndProxy -
0x8003c7 XdndProxy 0xa00001
0x8003ca XdndProxy 0xa00001
"""
WINDOWS = ["0x600001", "0x8003ca", "0x8003c7"]


def judge(log):
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
        f.write(log)
    out = io.StringIO()
    try:
        with redirect_stdout(out):
            status = watch.compare(f.name, "0xa00001", WINDOWS)
    finally:
        os.unlink(f.name)
    return status, out.getvalue()


class CompareTest(unittest.TestCase):
    def test_everything_put_back_passes(self):
        status, out = judge(OPENED + "0x8003c7 XdndProxy -\n0x8003ca XdndProxy -\ngone 0x8003c7\n")
        self.assertEqual((status, out), (0, ""))

    def test_a_proxy_left_behind_or_the_hosts_xdndaware_deleted_fails(self):
        status, out = judge(OPENED + "0x8003c7 XdndProxy -\n0x8003c7 XdndAware -\n")
        self.assertEqual(status, 1)
        self.assertIn("0x8003c7 XdndAware: was 0x5, left as -", out)
        self.assertIn("0x8003ca XdndProxy: was -, left as 0xa00001", out)

    def test_a_log_without_the_editors_window_fails(self):
        self.assertEqual(judge("new 0x600001\n")[0], 1)


if __name__ == "__main__":
    unittest.main()
