#include "tools/rimbrel-host/DragSource.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <thread>

#include "platform/x11/UriList.h"

namespace rimbrel::host {

namespace {
using Clock = std::chrono::steady_clock;

// Errors of the source's own connection (a target window that went away
// while it was being talked to) are counted, not fatal; others go on to the
// handler installed before.
Display* sourceDisplay = nullptr;
XErrorHandler previousHandler = nullptr;
int sourceErrors = 0;

int sourceErrorHandler(Display* display, XErrorEvent* error) {
    if (display == sourceDisplay) {
        ++sourceErrors;
        return 0;
    }
    return previousHandler ? previousHandler(display, error) : 0;
}

struct IncrTransfer {
    Window requestor;
    Atom property;
    std::size_t offset;
    bool lastSent;
};
}  // namespace

struct DragSource::State {
    Display* dpy = nullptr;
    Window root = None;
    Window source = None;
    Options options;
    std::function<void()> idle;

    Atom xdndAware{}, xdndProxy{}, xdndEnter{}, xdndPosition{}, xdndStatus{}, xdndLeave{}, xdndDrop{},
        xdndFinished{}, xdndSelection{}, xdndTypeList{}, xdndActionCopy{}, uriList{}, targets{}, incr{}, wmState{},
        stamp{};

    Window target = None;  // the window the messages name
    Window sendTo = None;  // where they go (a proxy, or the target itself)
    bool active = false;   // between enter and drop or leave
    std::string data;
    std::vector<Atom> types;
    Time time = CurrentTime;
    Reply status;
    bool statusPending = false;
    Result result;
    bool finishedPending = false;
    std::vector<IncrTransfer> transfers;

    Atom atom(const char* name) { return XInternAtom(dpy, name, False); }

    unsigned long property(Window w, Atom prop, Atom type) {
        Atom actualType = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* bytes = nullptr;
        unsigned long value = 0;
        if (XGetWindowProperty(dpy, w, prop, 0, 1, False, type, &actualType, &format, &items, &after, &bytes) ==
                Success &&
            actualType == type && format == 32 && items >= 1 && bytes)
            value = static_cast<unsigned long>(*reinterpret_cast<long*>(bytes));
        if (bytes)
            XFree(bytes);
        return value;
    }

    bool hasWmState(Window w) {
        Atom actualType = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* bytes = nullptr;
        XGetWindowProperty(dpy, w, wmState, 0, 0, False, AnyPropertyType, &actualType, &format, &items, &after,
                           &bytes);
        if (bytes)
            XFree(bytes);
        return actualType != None;
    }

    // The client window inside a top-level (the window manager's frame, if
    // any, holds it somewhere below).
    Window clientOf(Window top, int depth = 0) {
        if (hasWmState(top) || depth > 8)
            return depth == 0 || hasWmState(top) ? top : None;
        Window r = None, parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        Window found = None;
        if (XQueryTree(dpy, top, &r, &parent, &children, &count)) {
            for (unsigned int i = count; i-- > 0 && found == None;)
                found = clientOf(children[i], depth + 1);
            if (children)
                XFree(children);
        }
        return found != None ? found : (depth == 0 ? top : None);
    }

    Window findTarget(int x, int y) {
        if (options.lookup == Lookup::TopLevel) {
            int cx = 0, cy = 0;
            Window child = None;
            XTranslateCoordinates(dpy, root, root, x, y, &cx, &cy, &child);
            if (child == None)
                return None;
            const Window client = clientOf(child);
            return property(client, xdndAware, XA_ATOM) >= 3 ? client : None;
        }
        Window w = root, found = None;
        for (int depth = 0; depth < 64; ++depth) {
            int cx = 0, cy = 0;
            Window child = None;
            if (!XTranslateCoordinates(dpy, root, w, x, y, &cx, &cy, &child) || child == None)
                break;
            w = child;
            if (property(w, xdndAware, XA_ATOM) >= 3)
                found = w;
        }
        return found;
    }

    void send(Atom type, long l1, long l2, long l3, long l4) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.display = dpy;
        e.xclient.window = target;
        e.xclient.message_type = type;
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(source);
        e.xclient.data.l[1] = l1;
        e.xclient.data.l[2] = l2;
        e.xclient.data.l[3] = l3;
        e.xclient.data.l[4] = l4;
        XSendEvent(dpy, sendTo, False, NoEventMask, &e);
        XFlush(dpy);
    }

    void serveRequest(const XSelectionRequestEvent& req) {
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.display = dpy;
        reply.xselection.requestor = req.requestor;
        reply.xselection.selection = req.selection;
        reply.xselection.target = req.target;
        reply.xselection.time = req.time;
        Atom prop = req.property != None ? req.property : req.target;
        if (req.selection != xdndSelection || options.refuseData) {
            prop = None;
        } else if (req.target == targets) {
            Atom list[] = {targets, uriList};
            XChangeProperty(dpy, req.requestor, prop, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(list), 2);
        } else if (req.target == uriList) {
            if (data.size() > options.incrThreshold) {
                XSelectInput(dpy, req.requestor, PropertyChangeMask);
                long size = static_cast<long>(data.size());
                XChangeProperty(dpy, req.requestor, prop, incr, 32, PropModeReplace,
                                reinterpret_cast<unsigned char*>(&size), 1);
                transfers.push_back({req.requestor, prop, 0, false});
            } else {
                XChangeProperty(dpy, req.requestor, prop, uriList, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
            }
        } else {
            prop = None;
        }
        reply.xselection.property = prop;
        XSendEvent(dpy, req.requestor, False, NoEventMask, &reply);
        XFlush(dpy);
        ++result.dataRequests;
    }

    void nextPiece(const XPropertyEvent& e) {
        for (auto it = transfers.begin(); it != transfers.end(); ++it) {
            if (it->requestor != e.window || it->property != e.atom || e.state != PropertyDelete)
                continue;
            const std::size_t n = std::min(options.incrPiece, data.size() - it->offset);
            XChangeProperty(dpy, it->requestor, it->property, uriList, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(data.data() + it->offset), static_cast<int>(n));
            it->offset += n;
            if (n == 0) {
                XSelectInput(dpy, it->requestor, NoEventMask);
                transfers.erase(it);
            }
            XFlush(dpy);
            return;
        }
    }

    void handle(XEvent& e) {
        switch (e.type) {
            case SelectionRequest:
                if (!options.ignoreDataRequests)
                    serveRequest(e.xselectionrequest);
                break;
            case PropertyNotify:
                nextPiece(e.xproperty);
                break;
            case ClientMessage:
                if (static_cast<Window>(e.xclient.data.l[0]) != target)
                    break;
                if (e.xclient.message_type == xdndStatus) {
                    status.answered = true;
                    status.accepted = (e.xclient.data.l[1] & 1) != 0;
                    const Atom action = static_cast<Atom>(e.xclient.data.l[4]);
                    status.action.clear();
                    if (action != None) {
                        char* name = XGetAtomName(dpy, action);
                        if (name) {
                            status.action = name;
                            XFree(name);
                        }
                    }
                    statusPending = false;
                } else if (e.xclient.message_type == xdndFinished) {
                    result.finished = true;
                    result.accepted = (e.xclient.data.l[1] & 1) != 0;
                    finishedPending = false;
                }
                break;
            default:
                break;
        }
    }

    void processEvents() {
        while (XPending(dpy)) {
            XEvent e;
            XNextEvent(dpy, &e);
            handle(e);
        }
    }

    template <class Done>
    bool waitFor(Done done) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(options.timeoutMs);
        for (;;) {
            processEvents();
            if (done())
                return true;
            if (Clock::now() > deadline)
                return false;
            if (idle)
                idle();
            processEvents();
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // A server time for the drag: the time of a property change of our own.
    Time serverTime() {
        XSelectInput(dpy, source, PropertyChangeMask);
        unsigned char nothing = 0;
        XChangeProperty(dpy, source, stamp, XA_STRING, 8, PropModeAppend, &nothing, 0);
        XFlush(dpy);
        const auto deadline = Clock::now() + std::chrono::milliseconds(1000);
        while (Clock::now() < deadline) {
            XEvent e;
            if (XCheckTypedWindowEvent(dpy, source, PropertyNotify, &e))
                return e.xproperty.time;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return CurrentTime;
    }
};

DragSource::DragSource(const char* displayName) : s(std::make_unique<State>()) {
    s->dpy = XOpenDisplay(displayName);
    if (!s->dpy)
        return;
    s->root = DefaultRootWindow(s->dpy);
    sourceDisplay = s->dpy;
    previousHandler = XSetErrorHandler(sourceErrorHandler);
    XSetWindowAttributes attributes{};
    s->source = XCreateWindow(s->dpy, s->root, -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent, 0, &attributes);
    s->xdndAware = s->atom("XdndAware");
    s->xdndProxy = s->atom("XdndProxy");
    s->xdndEnter = s->atom("XdndEnter");
    s->xdndPosition = s->atom("XdndPosition");
    s->xdndStatus = s->atom("XdndStatus");
    s->xdndLeave = s->atom("XdndLeave");
    s->xdndDrop = s->atom("XdndDrop");
    s->xdndFinished = s->atom("XdndFinished");
    s->xdndSelection = s->atom("XdndSelection");
    s->xdndTypeList = s->atom("XdndTypeList");
    s->xdndActionCopy = s->atom("XdndActionCopy");
    s->uriList = s->atom("text/uri-list");
    s->targets = s->atom("TARGETS");
    s->incr = s->atom("INCR");
    s->wmState = s->atom("WM_STATE");
    s->stamp = s->atom("RIMBREL_DRAG_TIME");
}

DragSource::~DragSource() {
    if (!s->dpy)
        return;
    XDestroyWindow(s->dpy, s->source);
    XSync(s->dpy, False);
    XSetErrorHandler(previousHandler);
    sourceDisplay = nullptr;
    XCloseDisplay(s->dpy);
}

bool DragSource::ok() const {
    return s->dpy != nullptr;
}

DragSource::Options& DragSource::options() {
    return s->options;
}

void DragSource::setIdle(std::function<void()> idle) {
    s->idle = std::move(idle);
}

bool DragSource::enter(const std::vector<std::string>& paths, int rootX, int rootY) {
    State& st = *s;
    if (!st.dpy)
        return false;
    st.result = Result{};
    st.status = Reply{};
    st.transfers.clear();
    st.target = st.findTarget(rootX, rootY);
    if (st.target == None)
        return false;
    st.active = true;
    st.result.targetFound = true;
    st.sendTo = st.target;
    const auto proxy = static_cast<Window>(st.property(st.target, st.xdndProxy, XA_WINDOW));
    if (proxy != None && st.property(proxy, st.xdndProxy, XA_WINDOW) == proxy)
        st.sendTo = proxy;

    st.data = makeUriList(paths);
    st.types = {st.uriList};
    for (const std::string& t : st.options.extraTypes)
        st.types.push_back(st.atom(t.c_str()));
    XChangeProperty(st.dpy, st.source, st.xdndTypeList, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(st.types.data()), static_cast<int>(st.types.size()));
    st.time = st.serverTime();
    XSetSelectionOwner(st.dpy, st.xdndSelection, st.source, st.time);

    const bool manyTypes = st.types.size() > 3;
    long l[3] = {0, 0, 0};
    for (std::size_t i = 0; i < 3 && i < st.types.size(); ++i)
        l[i] = static_cast<long>(st.types[i]);
    st.send(st.xdndEnter, (5L << 24) | (manyTypes ? 1 : 0), l[0], l[1], l[2]);
    move(rootX, rootY);
    return true;
}

DragSource::Reply DragSource::move(int rootX, int rootY) {
    State& st = *s;
    if (!st.active)
        return {};
    st.status = Reply{};
    st.statusPending = true;
    st.send(st.xdndPosition, 0, (static_cast<long>(rootX) << 16) | (rootY & 0xffff), static_cast<long>(st.time),
            static_cast<long>(st.xdndActionCopy));
    st.waitFor([&st] { return !st.statusPending; });
    return st.status;
}

DragSource::Reply DragSource::lastStatus() const {
    return s->status;
}

void DragSource::leave() {
    State& st = *s;
    if (!st.active)
        return;
    st.send(st.xdndLeave, 0, 0, 0, 0);
    st.processEvents();
    st.active = false;
}

DragSource::Result DragSource::drop() {
    State& st = *s;
    if (!st.active) {
        Result r = st.result;
        r.error = "no drag in progress";
        return r;
    }
    st.finishedPending = true;
    st.send(st.xdndDrop, 0, static_cast<long>(st.time), 0, 0);
    if (!st.waitFor([&st] { return !st.finishedPending; }))
        st.result.error = "no XdndFinished from the target";
    st.active = false;
    return st.result;
}

DragSource::Result DragSource::awaitFinished() {
    State& st = *s;
    if (st.finishedPending && st.waitFor([&st] { return !st.finishedPending; }))
        st.result.error.clear();
    return st.result;
}

DragSource::Result DragSource::dragAndDrop(const std::vector<std::string>& paths, int rootX, int rootY) {
    if (!enter(paths, rootX, rootY)) {
        Result r;
        r.error = ok() ? "no drop target under the point" : "cannot open the X display";
        return r;
    }
    return drop();
}

unsigned long DragSource::targetWindow() const {
    return s->target;
}

unsigned long DragSource::proxyWindow() const {
    return s->sendTo;
}

}  // namespace rimbrel::host
