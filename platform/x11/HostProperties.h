// Properties the platform sets on windows that belong to the host (the drop
// proxy on its top-level and the windows in between), remembered so that
// exactly what was there before is put back, and never a property the host
// set or changed itself.
//
// Every change the platform makes is counted until its PropertyNotify comes
// back; a notification about a remembered property that is not one of ours
// means the host changed it, and from then on it is the host's. This needs
// PropertyChangeMask selected on the window (the drop proxy watches every
// window it changes).
#pragma once

#include <map>
#include <string>
#include <utility>

// Include after the toolkit's headers (X11Connection.h does): Xlib's macros
// clash with names in them.
#include <X11/Xlib.h>

namespace rimbrel::gui::x11 {

class HostProperties {
public:
    void setDisplay(Display* display) { dpy = display; }

    // Sets a one-item 32-bit property; the value before the first change is
    // kept until restore().
    void set(Window window, Atom property, Atom type, long value);
    // Puts back the value from before the first change (deletes the property
    // when there was none), unless the host has changed it since.
    void restore(Window window, Atom property);
    // Whether the host itself has the property on the window (it had it
    // before we touched it, or set it since).
    bool hostHas(Window window, Atom property);
    // Whether the platform changed the property and it is still its own.
    bool changed(Window window, Atom property) const;

    // A PropertyNotify of a watched window: our own change coming back, or
    // the host's.
    void notice(const XPropertyEvent& event);
    // The window is gone: nothing of it is kept (its id may be used again).
    void forget(Window window);

private:
    using Key = std::pair<Window, Atom>;
    struct Before {
        bool existed = false;
        Atom type = None;
        int format = 0;
        std::string bytes;  // as Xlib hands them over (32-bit items as longs)
        long written = 0;
        bool hostChanged = false;
    };
    void expectEcho(const Key& key) { ++echoes[key]; }

    Display* dpy = nullptr;
    std::map<Key, Before> changes;
    std::map<Key, int> echoes;  // our own changes whose notification is still to come
};

}  // namespace rimbrel::gui::x11
