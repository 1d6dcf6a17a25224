// The host's own drop handling on its top-level window, as a DAW has for
// its own widgets: the window is marked XdndAware and answers every drag
// that reaches it itself, refusing it (XdndStatus not accepted, XdndFinished
// not accepted). What reaches it is reported on stdout:
//   "host area: drag entered"  on XdndEnter,
//   "host area: drop refused"  on XdndDrop.
// A plug-in that proxies the top-level passes on drags over the host's
// area to it unchanged; those are answered the same way.
#pragma once

#include <X11/Xlib.h>

namespace rimbrel::host {

class HostDropArea {
public:
    // Marks `window` (created on `dpy`) XdndAware.
    HostDropArea(Display* dpy, Window window);

    // Answers an XDND message addressed to the window; false for any other
    // event.
    bool handle(const XEvent& event);

private:
    void answer(Window source, Atom type, long l1, long l4);

    Display* dpy;
    Window window;
    Atom xdndAware, xdndEnter, xdndPosition, xdndStatus, xdndLeave, xdndDrop, xdndFinished;
};

}  // namespace rimbrel::host
