#include "tools/rimbrel-host/HostDropArea.h"

#include <X11/Xatom.h>

#include <cstdio>

namespace rimbrel::host {

HostDropArea::HostDropArea(Display* d, Window w)
    : dpy(d),
      window(w),
      xdndAware(XInternAtom(d, "XdndAware", False)),
      xdndEnter(XInternAtom(d, "XdndEnter", False)),
      xdndPosition(XInternAtom(d, "XdndPosition", False)),
      xdndStatus(XInternAtom(d, "XdndStatus", False)),
      xdndLeave(XInternAtom(d, "XdndLeave", False)),
      xdndDrop(XInternAtom(d, "XdndDrop", False)),
      xdndFinished(XInternAtom(d, "XdndFinished", False)) {
    long version = 5;
    XChangeProperty(dpy, window, xdndAware, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&version),
                    1);
}

void HostDropArea::answer(Window to, Atom type, long l1, long l4) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.display = dpy;
    e.xclient.window = to;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    // Answers name the window the source addressed, whoever passed the
    // message on.
    e.xclient.data.l[0] = static_cast<long>(window);
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[4] = l4;
    XSendEvent(dpy, to, False, NoEventMask, &e);
    XFlush(dpy);
}

bool HostDropArea::handle(const XEvent& event) {
    if (event.type != ClientMessage || event.xclient.window != window || event.xclient.format != 32)
        return false;
    const Atom type = event.xclient.message_type;
    const auto from = static_cast<Window>(event.xclient.data.l[0]);
    if (type == xdndEnter) {
        std::printf("host area: drag entered\n");
    } else if (type == xdndPosition) {
        // Not accepted, and no rectangle: positions keep coming.
        answer(from, xdndStatus, 0, None);
    } else if (type == xdndLeave) {
        // Nothing was taken, nothing to undo.
    } else if (type == xdndDrop) {
        answer(from, xdndFinished, 0, None);
        std::printf("host area: drop refused\n");
    } else {
        return false;
    }
    std::fflush(stdout);
    return true;
}

}  // namespace rimbrel::host
