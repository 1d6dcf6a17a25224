#include "platform/x11/X11Connection.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "gui/Timer.h"
#include "platform/x11/X11Frame.h"

#include <X11/Xcursor/Xcursor.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <cairo.h>

namespace rimbrel::gui::x11 {

// --- ErrorTrap ---

namespace {
Display* trappedDisplay = nullptr;
int trapDepth = 0;
int trappedErrors = 0;
XErrorHandler previousHandler = nullptr;

int trapHandler(Display* display, XErrorEvent* error) {
    if (display == trappedDisplay) {
        ++trappedErrors;
        return 0;
    }
    return previousHandler ? previousHandler(display, error) : 0;
}
}  // namespace

ErrorTrap::ErrorTrap(Display* display) : errorsAtStart(trappedErrors) {
    if (trapDepth++ == 0) {
        trappedDisplay = display;
        previousHandler = XSetErrorHandler(trapHandler);
    }
}

ErrorTrap::~ErrorTrap() {
    if (--trapDepth == 0) {
        XSetErrorHandler(previousHandler);
        previousHandler = nullptr;
        trappedDisplay = nullptr;
    }
}

int ErrorTrap::errors() const {
    return trappedErrors - errorsAtStart;
}

// --- Connection ---

Connection& Connection::get() {
    static Connection connection;
    return connection;
}

Connection::~Connection() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    // Frames still open when the library goes away are the host's to
    // destroy with its windows; the connection stays then.
    if (!dpy || !frameList.empty())
        return;
    ErrorTrap trap(dpy);
    for (auto& [type, c] : cursors)
        if (c)
            XFreeCursor(dpy, c);
    cursors.clear();
    XSync(dpy, False);
    if (cairoDevice) {
        cairo_device_finish(cairoDevice);
        cairo_device_destroy(cairoDevice);
        cairoDevice = nullptr;
    }
    XCloseDisplay(dpy);
    dpy = nullptr;
}

Display* Connection::open() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (dpy)
        return dpy;
    // A busy X server may refuse a connection now and then (EAGAIN); a second
    // try a moment later spares the user a blank window. Without $DISPLAY
    // there is nothing to retry.
    dpy = XOpenDisplay(nullptr);
    for (int retry = 0; !dpy && retry < 3 && std::getenv("DISPLAY"); ++retry) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        dpy = XOpenDisplay(nullptr);
    }
    if (!dpy) {
        std::fprintf(stderr, "[Rimbrel-VST] cannot open the X display\n");
        return nullptr;
    }
    static const char* const names[] = {
        "XdndAware",
        "XdndProxy",
        "XdndEnter",
        "XdndPosition",
        "XdndStatus",
        "XdndLeave",
        "XdndDrop",
        "XdndFinished",
        "XdndSelection",
        "XdndTypeList",
        "XdndActionCopy",
        "text/uri-list",
        "INCR",
        "WM_STATE",
        "RIMBREL_DROP_DATA",
    };
    constexpr int count = sizeof names / sizeof names[0];
    Atom atoms[count];
    XInternAtoms(dpy, const_cast<char**>(names), count, False, atoms);
    Atom* fields[count] = {
        &atomSet.xdndAware,
        &atomSet.xdndProxy,
        &atomSet.xdndEnter,
        &atomSet.xdndPosition,
        &atomSet.xdndStatus,
        &atomSet.xdndLeave,
        &atomSet.xdndDrop,
        &atomSet.xdndFinished,
        &atomSet.xdndSelection,
        &atomSet.xdndTypeList,
        &atomSet.xdndActionCopy,
        &atomSet.textUriList,
        &atomSet.incr,
        &atomSet.wmState,
        &atomSet.dropData,
    };
    for (int i = 0; i < count; ++i)
        *fields[i] = atoms[i];
    hostProps.setDisplay(dpy);
    return dpy;
}

void Connection::keepCairoDevice(cairo_device_t* device) {
    if (!cairoDevice && device)
        cairoDevice = cairo_device_reference(device);
}

Cursor Connection::cursor(CCursorType type) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!dpy)
        return None;
    if (auto it = cursors.find(type); it != cursors.end())
        return it->second;

    struct Choice {
        const char* themeNames[2];
        unsigned fontShape;
    };
    Choice choice{{"default", "left_ptr"}, XC_left_ptr};
    switch (type) {
        case kCursorCopy: choice = {{"copy", "dnd-copy"}, XC_plus}; break;
        case kCursorHand: choice = {{"hand2", "pointer"}, XC_hand2}; break;
        case kCursorWait: choice = {{"watch", "wait"}, XC_watch}; break;
        case kCursorHSize: choice = {{"sb_h_double_arrow", "ew-resize"}, XC_sb_h_double_arrow}; break;
        case kCursorVSize: choice = {{"sb_v_double_arrow", "ns-resize"}, XC_sb_v_double_arrow}; break;
        case kCursorSizeAll: choice = {{"fleur", "move"}, XC_fleur}; break;
        case kCursorNESWSize: choice = {{"bottom_left_corner", "nesw-resize"}, XC_bottom_left_corner}; break;
        case kCursorNWSESize: choice = {{"bottom_right_corner", "nwse-resize"}, XC_bottom_right_corner}; break;
        case kCursorNotAllowed: choice = {{"not-allowed", "crossed_circle"}, XC_X_cursor}; break;
        default: break;
    }
    Cursor c = None;
    for (const char* name : choice.themeNames)
        if (c == None)
            c = XcursorLibraryLoadCursor(dpy, name);
    if (c == None)
        c = XCreateFontCursor(dpy, choice.fontShape);
    cursors[type] = c;
    return c;
}

void Connection::addFrame(X11Frame* frame) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    frameList.push_back(frame);
}

void Connection::removeFrame(X11Frame* frame) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    frameList.erase(std::remove(frameList.begin(), frameList.end(), frame), frameList.end());
    for (auto it = routes.begin(); it != routes.end();)
        it = it->second == frame ? routes.erase(it) : std::next(it);
}

bool Connection::hasFrame(const X11Frame* frame) const {
    return std::find(frameList.begin(), frameList.end(), frame) != frameList.end();
}

void Connection::route(Window window, X11Frame* frame) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    routes[window] = frame;
}

void Connection::unroute(Window window, X11Frame* frame) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (auto it = routes.find(window); it != routes.end() && it->second == frame)
        routes.erase(it);
}

X11Frame* Connection::frameFor(Window window) const {
    auto it = routes.find(window);
    return it == routes.end() ? nullptr : it->second;
}

bool Connection::isFrameWindow(Window window) const {
    for (X11Frame* frame : frameList)
        if (frame->getWindow() == window)
            return true;
    return false;
}

void Connection::watch(Window window) {
    if (window == None || isFrameWindow(window))
        return;
    if (watched[window]++ == 0)
        XSelectInput(dpy, window, StructureNotifyMask | PropertyChangeMask);
}

void Connection::unwatch(Window window) {
    auto it = watched.find(window);
    if (it == watched.end() || --it->second > 0)
        return;
    watched.erase(it);
    XSelectInput(dpy, window, NoEventMask);
}

bool Connection::watchedWindowEvent(const XEvent& event) {
    const Window window = event.xany.window;
    if (event.type == ClientMessage || watched.find(window) == watched.end())
        return false;
    bool ancestryChanged = false;
    switch (event.type) {
        case PropertyNotify:
            hostProps.notice(event.xproperty);
            ancestryChanged = event.xproperty.atom == atomSet.wmState;
            break;
        case ReparentNotify:
            ancestryChanged = true;
            break;
        case DestroyNotify:
            hostProps.forget(window);
            watched.erase(window);
            ancestryChanged = true;
            break;
        default:
            break;  // moves and resizes of the host's windows change nothing here
    }
    if (ancestryChanged)
        for (X11Frame* frame : frameList)
            frame->ancestryChanged();
    return true;
}

void Connection::catchUpOnHostProperties() {
    XSync(dpy, False);
    struct Match {
        static Bool watchedProperty(Display*, XEvent* e, XPointer self) {
            const auto& list = reinterpret_cast<Connection*>(self)->watched;
            return e->type == PropertyNotify && list.find(e->xproperty.window) != list.end();
        }
    };
    XEvent event;
    while (XCheckIfEvent(dpy, &event, Match::watchedProperty, reinterpret_cast<XPointer>(this)))
        watchedWindowEvent(event);
}

void Connection::dispatch(XEvent& event) {
    if (watchedWindowEvent(event))
        return;
    Window window = event.xany.window;
    if (event.type == SelectionNotify)
        window = event.xselection.requestor;
    X11Frame* frame = frameFor(window);
    if (!frame)
        return;
    if (event.type == MotionNotify) {
        // Only the latest position of a run of moves matters.
        XEvent next;
        while (XPending(dpy) && (XPeekEvent(dpy, &next), next.type == MotionNotify) &&
               next.xmotion.window == event.xmotion.window && next.xmotion.state == event.xmotion.state)
            XNextEvent(dpy, &event);
    }
    frame->handleEvent(event);
}

void Connection::pump() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (pumping)
        return;
    struct Pumping {
        bool& flag;
        explicit Pumping(bool& f) : flag(f) { flag = true; }
        ~Pumping() { flag = false; }
    } pumpingNow(pumping);
    if (dpy) {
        ErrorTrap trap(dpy);
        // Events handled here may lead to more requests (drawing, replies to
        // drag sources); XPending flushes them and reads what has arrived.
        while (XPending(dpy)) {
            XEvent event;
            XNextEvent(dpy, &event);
            dispatch(event);
        }
    }
    CTimerService::fireDue();
    dialogRunner.poll();
    if (dpy) {
        ErrorTrap trap(dpy);
        const std::vector<X11Frame*> snapshot = frameList;
        for (X11Frame* frame : snapshot)
            if (hasFrame(frame))
                frame->idle();
        XFlush(dpy);
    }
}

}  // namespace rimbrel::gui::x11
