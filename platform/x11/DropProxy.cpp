#include "platform/x11/DropProxy.h"

#include <algorithm>

#include "platform/x11/HostProperties.h"
#include "platform/x11/X11Frame.h"

#include <X11/Xatom.h>

namespace rimbrel::gui::x11 {

namespace {
constexpr int kMaxDepth = 64;

bool contains(const std::vector<Window>& list, Window w) {
    return std::find(list.begin(), list.end(), w) != list.end();
}

bool hasProperty(Display* dpy, Window w, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    const int rc =
        XGetWindowProperty(dpy, w, property, 0, 0, False, AnyPropertyType, &type, &format, &items, &after, &data);
    if (data)
        XFree(data);
    return rc == Success && type != None;
}

Window parentOf(Display* dpy, Window w, Window& root) {
    Window up = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(dpy, w, &root, &up, &children, &count))
        return None;
    if (children)
        XFree(children);
    return up;
}
}  // namespace

DropProxy::DropProxy(Connection& c, X11Frame* f, Window w) : connection(c), dpy(c.display()), frame(f), window(w) {
}

DropProxy::~DropProxy() {
    ErrorTrap trap(dpy);
    release(true);
    unwatchAll(ancestors);
}

void DropProxy::follow() {
    stale = false;
    ErrorTrap trap(dpy);
    // Walk up to the root. The top-level is the highest window a window
    // manager marked as a client (WM_STATE), else the one right below the
    // root (no window manager, or not managed yet).
    std::vector<Window> now;
    Window root = None;
    Window w = parentOf(dpy, window, root);
    Window client = None;
    for (int level = 0; w != None && w != root && level < kMaxDepth; ++level) {
        now.push_back(w);
        if (hasProperty(dpy, w, connection.atoms().wmState))
            client = w;
        w = parentOf(dpy, w, root);
    }
    const Window newTop = client != None ? client : (now.empty() ? None : now.back());
    std::vector<Window> newChain;
    for (Window a : now) {
        newChain.push_back(a);
        if (a == newTop)
            break;
    }
    // New ancestors are watched before anything is set on them, so that our
    // own changes are seen coming back.
    watchAll(now);
    if (newTop != top || newChain != chain) {
        release(newTop != top);
        top = newTop;
        chain = std::move(newChain);
        bool taken = false;
        for (X11Frame* other : connection.frames())
            taken = taken || (other != frame && other->proxiedTopLevel() == top && top != None);
        if (!taken)
            claim();
    }
    std::vector<Window> gone;
    for (Window a : ancestors)
        if (!contains(now, a))
            gone.push_back(a);
    ancestors = std::move(now);
    unwatchAll(gone);
    XFlush(dpy);
}

void DropProxy::claim() {
    if (top == None)
        return;  // the frame's window is a top-level itself
    HostProperties& props = connection.hostProperties();
    const Atoms& atoms = connection.atoms();
    ErrorTrap trap(dpy);
    for (Window w : chain) {
        props.set(w, atoms.xdndProxy, XA_WINDOW, static_cast<long>(window));
        connection.route(w, frame);
    }
    if (!props.hostHas(top, atoms.xdndAware))
        props.set(top, atoms.xdndAware, XA_ATOM, 5);
    owning = true;
}

void DropProxy::release(bool handOver) {
    if (!owning)
        return;
    owning = false;
    connection.catchUpOnHostProperties();
    HostProperties& props = connection.hostProperties();
    const Atoms& atoms = connection.atoms();
    for (Window w : chain) {
        connection.unroute(w, frame);
        props.restore(w, atoms.xdndProxy);
    }
    props.restore(top, atoms.xdndAware);
    if (!handOver)
        return;
    for (X11Frame* other : connection.frames()) {
        if (other != frame && other->hostTopLevel() == top && other->valid()) {
            other->takeOverProxy(top);
            return;
        }
    }
}

Window DropProxy::hostTarget(Window addressed) {
    // Only a drag the source addressed to a host window: the host's answers
    // name that window, which is what the source expects. Never one of our
    // own windows: what we pass on must not come back.
    const Window w = addressed;
    if (!owning || w == None || w == window || !contains(chain, w) || connection.isFrameWindow(w))
        return None;
    ErrorTrap trap(dpy);
    return connection.hostProperties().hostHas(w, connection.atoms().xdndAware) ? w : None;
}

bool DropProxy::over(Window from, int rootX, int rootY) const {
    // Down from the host's window, as the pointer sees it (drag icons and
    // other top-levels above are not in the way).
    ErrorTrap trap(dpy);
    const Window root = DefaultRootWindow(dpy);
    Window w = from;
    for (int level = 0; level < kMaxDepth; ++level) {
        int x = 0, y = 0;
        Window child = None;
        if (!XTranslateCoordinates(dpy, root, w, rootX, rootY, &x, &y, &child) || child == None)
            return false;
        if (child == window)
            return true;
        w = child;
    }
    return false;
}

void DropProxy::watchAll(const std::vector<Window>& windows) {
    for (Window w : windows)
        if (!contains(ancestors, w))
            connection.watch(w);
}

void DropProxy::unwatchAll(const std::vector<Window>& windows) {
    for (Window w : windows)
        connection.unwatch(w);
}

}  // namespace rimbrel::gui::x11
