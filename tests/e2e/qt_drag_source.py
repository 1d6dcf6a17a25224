#!/usr/bin/python3
"""A Qt window that drags files, as a Qt file manager does.

    qt_drag_source.py X Y PATH...
    qt_drag_source.py --check      (exits 0 when PyQt5 is there)

Shows a 200 x 100 window at (X, Y); a press of the left button on it starts
a drag (QDrag) of text/uri-list naming the paths, offering a copy. Prints
"ready" once shown, "drag begun" when a drag starts, then one line when it
ends: "drag ok" when the target took the copy, "drag failed <action>"
otherwise. Quits after the first drag or after 60 seconds.
"""
import sys

from PyQt5.QtCore import QMimeData, Qt, QTimer, QUrl
from PyQt5.QtGui import QDrag
from PyQt5.QtWidgets import QApplication, QLabel

if sys.argv[1:] == ["--check"]:
    sys.exit(0)

x, y = int(sys.argv[1]), int(sys.argv[2])
paths = sys.argv[3:]
app = QApplication(sys.argv[:1])


class Source(QLabel):
    def mousePressEvent(self, event):
        if event.button() != Qt.LeftButton:
            return
        data = QMimeData()
        data.setUrls([QUrl.fromLocalFile(p) for p in paths])
        drag = QDrag(self)
        drag.setMimeData(data)
        print("drag begun", flush=True)
        action = drag.exec_(Qt.CopyAction)
        if action == Qt.CopyAction:
            print("drag ok", flush=True)
        else:
            print("drag failed %s" % ("ignored" if action == Qt.IgnoreAction else int(action)), flush=True)
        QTimer.singleShot(200, app.quit)


window = Source("drag me")
window.setWindowTitle("drag source")
window.setAlignment(Qt.AlignCenter)
window.resize(200, 100)
window.move(x, y)
window.show()
# Qt maps the window from its event loop; announce once that ran a while.
QTimer.singleShot(300, lambda: print("ready", flush=True))
QTimer.singleShot(60000, app.quit)
app.exec_()
