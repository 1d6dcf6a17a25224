// The drop proxy of one frame: file managers look for XdndAware on the
// top-level window under the pointer and never search its children, so the
// host's top-level, and every window between it and the frame's window, get
// an XdndProxy pointing at the frame's window (also when the top-level speaks
// XDND itself: a host's own drop handling does not reach a plug-in). A
// top-level without XdndAware gets it too.
//
// Hosts reparent the window they hand to the editor after it opened (XEmbed
// into their own top-level), and window managers reparent top-levels, so the
// proxy follows the window's ancestry for as long as the frame lives: every
// ancestor is watched (StructureNotify, PropertyChange: events only when
// something changes) and the proxy moves when one of them is reparented or
// gets WM_STATE. What was changed is put back exactly (HostProperties).
//
// One frame proxies a top-level at a time; another open frame in the same
// top-level takes over when it closes or moves elsewhere.
#pragma once

#include <vector>

#include "platform/x11/X11Connection.h"  // includes Xlib after the toolkit

namespace rimbrel::gui::x11 {

class X11Frame;

class DropProxy {
public:
    DropProxy(Connection& connection, X11Frame* frame, Window window);
    // Puts back what was changed (or hands the proxy to another frame of the
    // same top-level) and stops watching.
    ~DropProxy();
    DropProxy(const DropProxy&) = delete;
    DropProxy& operator=(const DropProxy&) = delete;

    // Walks up from the frame's window and sets the proxy where it belongs.
    void follow();
    // An ancestor changed: the next idle() follows it (events come in runs).
    void ancestryChanged() { stale = true; }
    void idle() {
        if (stale)
            follow();
    }

    Window topLevel() const { return top; }
    bool owns() const { return owning; }
    // Sets the proxy on this frame's windows up to the top-level.
    void claim();

    // Where a drag the source addressed to `addressed` goes while the
    // pointer is not over the frame's window: the host window itself when it
    // reached us through our proxy and the host takes drops there (it was
    // XdndAware before us); None when we answer ourselves.
    Window hostTarget(Window addressed);
    // Whether the root point lies over the frame's window, looking down
    // from `from` (the host window the source addressed).
    bool over(Window from, int rootX, int rootY) const;

private:
    void release(bool handOver);
    void watchAll(const std::vector<Window>& windows);
    void unwatchAll(const std::vector<Window>& windows);

    Connection& connection;
    Display* dpy;
    X11Frame* frame;
    Window window;
    std::vector<Window> ancestors;  // the parent first, up to the window right below the root
    Window top = None;
    std::vector<Window> chain;  // ancestors up to the top-level: the windows that get XdndProxy
    bool owning = false;
    bool stale = false;
};

}  // namespace rimbrel::gui::x11
