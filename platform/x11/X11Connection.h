// The process-wide side of the X11 platform: its own X connection, the atoms
// it uses, its cursors, the registry of open frames (which window belongs to
// which frame), the dialogs, and the pump.
#pragma once

#include <map>
#include <mutex>
#include <vector>

// The toolkit's headers come first: Xlib defines macros (None, Status...)
// that would clash with names in them.
#include "platform/Events.h"
#include "platform/x11/Dialogs.h"

#include <X11/Xlib.h>

#include "platform/x11/HostProperties.h"

typedef struct _cairo_device cairo_device_t;

namespace rimbrel::gui::x11 {

class X11Frame;

struct Atoms {
    Atom xdndAware = 0;
    Atom xdndProxy = 0;
    Atom xdndEnter = 0;
    Atom xdndPosition = 0;
    Atom xdndStatus = 0;
    Atom xdndLeave = 0;
    Atom xdndDrop = 0;
    Atom xdndFinished = 0;
    Atom xdndSelection = 0;
    Atom xdndTypeList = 0;
    Atom xdndActionCopy = 0;
    Atom textUriList = 0;
    Atom incr = 0;
    Atom wmState = 0;
    Atom dropData = 0;  // the property a drop's data is converted into
};

// While it exists, X errors of the platform's connection are counted instead
// of reaching the host's error handler (Xlib's default one ends the process);
// errors of any other connection still go to the handler that was installed
// before. Errors are read only inside the platform's own calls, each of
// which holds a trap, so none of ours ever reaches the host. Nests.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
    // Errors of the platform's connection since this trap was set (XSync
    // first to count those of the requests just made).
    int errors() const;

private:
    int errorsAtStart;
};

class Connection {
public:
    static Connection& get();
    ~Connection();

    // Every use of the connection holds this lock (the pump, frames being
    // made or destroyed); it is recursive, since frame callbacks may draw.
    std::recursive_mutex& mutex() { return lock; }

    // The connection, opened on first use; nullptr when no X server answers.
    Display* open();
    Display* display() const { return dpy; }
    const Atoms& atoms() const { return atomSet; }
    // A cursor of the theme (or the core cursor font), made once.
    Cursor cursor(CCursorType type);
    DialogRunner& dialogs() { return dialogRunner; }
    // Cairo's state for this connection, kept so that it is finished before
    // the connection closes (nothing of it is left behind then).
    void keepCairoDevice(cairo_device_t* device);

    void addFrame(X11Frame* frame);
    void removeFrame(X11Frame* frame);
    const std::vector<X11Frame*>& frames() const { return frameList; }
    bool hasFrame(const X11Frame* frame) const;
    // Events for `window` go to `frame` (its own window, and the host's
    // top-level while the frame proxies drops for it).
    void route(Window window, X11Frame* frame);
    void unroute(Window window, X11Frame* frame);
    X11Frame* frameFor(Window window) const;
    // Whether `window` is the window of one of the open frames.
    bool isFrameWindow(Window window) const;

    // The host's windows above the frames: their structure and property
    // changes are followed (counted, since frames share ancestors).
    void watch(Window window);
    void unwatch(Window window);
    HostProperties& hostProperties() { return hostProps; }
    // Takes in every property change of the watched windows made so far, so
    // that what is put back next knows about the host's latest changes.
    void catchUpOnHostProperties();

    // Runs the pump. A call made from inside the pump (a host that answers
    // the editor's audioMasterIdle with effEditIdle) returns at once.
    void pump();

private:
    Connection() = default;
    void dispatch(XEvent& event);
    // An event of a watched host window; answers whether it was one.
    bool watchedWindowEvent(const XEvent& event);

    std::recursive_mutex lock;
    Display* dpy = nullptr;
    Atoms atomSet;
    std::map<int, Cursor> cursors;
    cairo_device_t* cairoDevice = nullptr;
    std::vector<X11Frame*> frameList;
    std::map<Window, X11Frame*> routes;
    std::map<Window, int> watched;
    HostProperties hostProps;
    DialogRunner dialogRunner;
    bool pumping = false;
};

}  // namespace rimbrel::gui::x11
