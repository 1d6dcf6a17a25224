// The X11 platform of the toolkit: frames become child windows of the host's
// parent window, drawn with cairo, fed by the pump that the editor binding
// runs on every host idle call (effEditIdle).
//
// Use: call install() once before building a frame (an editor does it first
// thing in open(); calling it again does nothing). From then on
//   new CFrame(rect, parentWindow, editor)
// gets an X11 frame when parentWindow is an X11 Window id (as effEditOpen's
// ptr is), and AEffGUIEditor::hostIdle() runs pump().
//
// Threads: every call here, and every frame, belongs to the UI thread: the
// thread that makes the editor calls (it need not be the process's main
// thread). The platform opens one X connection of its own per process
// (never the host's), shared by all frames, and never runs a GTK or GLib loop:
// dialogs are separate programs (zenity, else kdialog).
#pragma once

#include <cstdint>

namespace rimbrel::gui {
class IPlatformFrame;
}

namespace rimbrel::gui::x11 {

// Installs the X11 frame factory and the pump for this process.
void install();

// What the host idle call runs: handles pending X events of every frame
// (paint, mouse, drag and drop), fires due timers, finishes dialogs that
// ended, repaints what was marked. Cheap when there is nothing to do.
void pump();

// True when the platform's X connection is open (it opens with the first
// frame and stays open until the library is unloaded).
bool connected();
// The platform's own Display* (nullptr while not connected).
void* display();
// The X window of a frame made by this platform (0 for any other frame).
unsigned long frameWindow(const IPlatformFrame* frame);
// Number of frames made by this platform that still exist.
int frameCount();

}  // namespace rimbrel::gui::x11
