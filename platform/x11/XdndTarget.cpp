#include "platform/x11/XdndTarget.h"

#include <chrono>

#include "gui/DragContainer.h"
#include "platform/x11/UriList.h"

#include <X11/Xatom.h>

namespace rimbrel::gui::x11 {

namespace {
constexpr int kOurVersion = 5;

uint64_t nowMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
}  // namespace

bool readWholeProperty(Display* display, Window window, Atom property, bool deleteIt, std::string& bytes,
                       Atom& type, int& format) {
    // 32-bit units per request: 1 MiB at a time.
    constexpr long kPiece = 1L << 18;
    bytes.clear();
    type = None;
    format = 0;
    long offset = 0;
    for (;;) {
        Atom actualType = None;
        int actualFormat = 0;
        unsigned long items = 0, after = 0;
        unsigned char* chunk = nullptr;
        const int rc = XGetWindowProperty(display, window, property, offset, kPiece, False, AnyPropertyType,
                                          &actualType, &actualFormat, &items, &after, &chunk);
        if (rc != Success || actualType == None) {
            if (chunk)
                XFree(chunk);
            return false;
        }
        type = actualType;
        format = actualFormat;
        // Xlib hands 32-bit items over as longs.
        const std::size_t unit = actualFormat == 32 ? sizeof(long) : static_cast<std::size_t>(actualFormat / 8);
        if (chunk && items > 0)
            bytes.append(reinterpret_cast<const char*>(chunk), items * unit);
        if (chunk)
            XFree(chunk);
        if (after == 0)
            break;
        offset += kPiece;
    }
    if (deleteIt)
        XDeleteProperty(display, window, property);
    return true;
}

XdndTarget::XdndTarget(Display* d, const Atoms& a, Window w, IPlatformFrameCallback* f, RootToWindow r)
    : dpy(d), atoms(a), window(w), frame(f), toWindow(std::move(r)) {
}

void XdndTarget::passOutsideTo(HostTarget target, OverFrame over) {
    hostTarget = std::move(target);
    overFrame = std::move(over);
}

XdndTarget::~XdndTarget() {
    // The host is told the drag it was shown is over.
    if (side == Side::Host)
        backFromHost();
    // A source waiting for an answer gets a refusal rather than nothing.
    if (dropPending)
        sendFinished(false);
    else if (statusOwed)
        sendStatus(false);
    if (container)
        container->forget();
}

void XdndTarget::reset() {
    if (transfer == Transfer::Requested || transfer == Transfer::Incremental)
        XDeleteProperty(dpy, window, atoms.dropData);
    source = None;
    addressed = None;
    version = 0;
    offersUriList = false;
    transfer = Transfer::Idle;
    retried = false;
    data.clear();
    data.shrink_to_fit();
    if (container)
        container->forget();
    container = nullptr;
    entered = false;
    havePosition = false;
    lastTime = CurrentTime;
    statusOwed = false;
    dropPending = false;
    side = Side::Ours;
    host = None;
}

void XdndTarget::passOn(const XClientMessageEvent& event, Window to) {
    // Straight to the host's window: following its XdndProxy (as a source
    // does) would lead back here.
    XEvent copy{};
    copy.xclient = event;
    copy.xclient.window = to;
    copy.xclient.display = dpy;
    XSendEvent(dpy, to, False, NoEventMask, &copy);
    XFlush(dpy);
}

void XdndTarget::toHost(Window to) {
    if (side == Side::Host && host == to)
        return;
    if (side == Side::Host)
        backFromHost();
    // The views lose the drag; the host gets it from its start, and answers
    // the source itself from now on.
    if (entered)
        frame->platformOnDragLeave(container, position);
    entered = false;
    havePosition = false;
    statusOwed = false;
    side = Side::Host;
    host = to;
    passOn(enterMessage, host);
}

void XdndTarget::backFromHost() {
    XClientMessageEvent leave = enterMessage;
    leave.message_type = atoms.xdndLeave;
    for (int i = 1; i < 5; ++i)
        leave.data.l[i] = 0;
    passOn(leave, host);
    side = Side::Ours;
    host = None;
}

bool XdndTarget::handleClientMessage(const XClientMessageEvent& event) {
    if (event.format != 32)
        return false;
    if (event.message_type == atoms.xdndEnter)
        onEnter(event);
    else if (event.message_type == atoms.xdndPosition)
        onPosition(event);
    else if (event.message_type == atoms.xdndLeave)
        onLeave(event);
    else if (event.message_type == atoms.xdndDrop)
        onDrop(event);
    else
        return false;
    return true;
}

void XdndTarget::onEnter(const XClientMessageEvent& event) {
    const Window from = static_cast<Window>(event.data.l[0]);
    const int theirVersion = static_cast<int>((static_cast<unsigned long>(event.data.l[1]) >> 24) & 0xff);
    if (source != None) {
        // A new drag while one was going on: the old one is over.
        if (side == Side::Host)
            backFromHost();
        if (entered)
            frame->platformOnDragLeave(container, position);
        reset();
    }
    if (theirVersion < 3)
        return;  // too old to be spoken to
    source = from;
    addressed = event.window;
    version = theirVersion < kOurVersion ? theirVersion : kOurVersion;
    enterMessage = event;

    std::vector<Atom> types;
    if (event.data.l[1] & 1) {
        std::string bytes;
        Atom type = None;
        int format = 0;
        if (readWholeProperty(dpy, from, atoms.xdndTypeList, false, bytes, type, format) && format == 32) {
            const long* list = reinterpret_cast<const long*>(bytes.data());
            for (std::size_t i = 0; i < bytes.size() / sizeof(long); ++i)
                types.push_back(static_cast<Atom>(list[i]));
        }
    }
    for (int i = 2; i <= 4; ++i)
        if (event.data.l[i])
            types.push_back(static_cast<Atom>(event.data.l[i]));
    for (Atom t : types)
        if (t == atoms.textUriList)
            offersUriList = true;
    if (offersUriList)
        request(CurrentTime);
}

void XdndTarget::request(Time time) {
    XDeleteProperty(dpy, window, atoms.dropData);
    XConvertSelection(dpy, atoms.xdndSelection, atoms.textUriList, atoms.dropData, window, time);
    transfer = Transfer::Requested;
    requestedAt = nowMs();
    data.clear();
}

void XdndTarget::onPosition(const XClientMessageEvent& event) {
    const Window from = static_cast<Window>(event.data.l[0]);
    if (source == None || from != source) {
        // A position without its enter: refuse it, the source waits for an answer.
        const Window saveSource = source, saveAddressed = addressed;
        source = from;
        addressed = event.window;
        sendStatus(false);
        source = saveSource;
        addressed = saveAddressed;
        return;
    }
    const unsigned long xy = static_cast<unsigned long>(event.data.l[2]);
    const int rootX = static_cast<int>((xy >> 16) & 0xffff), rootY = static_cast<int>(xy & 0xffff);
    const Window hostWindow = hostTarget ? hostTarget(addressed) : None;
    if (hostWindow != None && overFrame && !overFrame(hostWindow, rootX, rootY)) {
        toHost(hostWindow);
        passOn(event, host);
        return;
    }
    if (side == Side::Host)
        backFromHost();
    position = toWindow(rootX, rootY);
    havePosition = true;
    lastTime = static_cast<Time>(event.data.l[3]);
    if (transfer == Transfer::Requested || transfer == Transfer::Incremental) {
        statusOwed = true;  // answered when the data is here
        return;
    }
    if (transfer == Transfer::Failed && offersUriList && !retried && lastTime != CurrentTime) {
        // Some sources only answer requests that carry a time of the drag.
        retried = true;
        request(lastTime);
        statusOwed = true;
        return;
    }
    statusOwed = true;
    showAndAnswer();
}

void XdndTarget::showAndAnswer() {
    bool accept = false;
    if (container && havePosition && side == Side::Ours) {
        if (entered) {
            accept = frame->platformOnDragMove(container, position) == DragOperation::Copy;
        } else {
            entered = true;
            accept = frame->platformOnDragEnter(container, position) == DragOperation::Copy;
        }
    }
    if (statusOwed) {
        statusOwed = false;
        sendStatus(accept);
    }
}

void XdndTarget::onLeave(const XClientMessageEvent& event) {
    if (source == None || static_cast<Window>(event.data.l[0]) != source)
        return;
    if (side == Side::Host)
        passOn(event, host);
    if (entered)
        frame->platformOnDragLeave(container, position);
    reset();
}

void XdndTarget::onDrop(const XClientMessageEvent& event) {
    const Window from = static_cast<Window>(event.data.l[0]);
    if (source == None || from != source) {
        // A drop without its enter still gets its answer.
        const Window saveSource = source, saveAddressed = addressed;
        const int saveVersion = version;
        source = from;
        addressed = event.window;
        version = kOurVersion;
        sendFinished(false);
        source = saveSource;
        addressed = saveAddressed;
        version = saveVersion;
        return;
    }
    if (side == Side::Host) {
        // The host takes it (or not) and finishes it with the source.
        passOn(event, host);
        reset();
        return;
    }
    statusOwed = false;  // the source no longer waits for a status
    dropPending = true;
    const Time dropTime = static_cast<Time>(event.data.l[2]);
    if (transfer == Transfer::Requested || transfer == Transfer::Incremental)
        return;  // finished when the data is here
    if (transfer == Transfer::Failed && offersUriList && !retried) {
        retried = true;
        request(dropTime);
        return;
    }
    finishDrop();
}

void XdndTarget::finishDrop() {
    bool taken = false;
    if (container) {
        if (!havePosition)
            position = CPoint(-1, -1);
        taken = frame->platformOnDrop(container, position);
        // The frame has sent the view its leave after the drop.
    } else if (entered) {
        frame->platformOnDragLeave(container, position);
    }
    sendFinished(taken);
    reset();
}

void XdndTarget::dataArrived(bool ok) {
    if (ok) {
        transfer = Transfer::Done;
        std::vector<std::string> paths = parseUriList(data);
        data.clear();
        data.shrink_to_fit();
        if (!paths.empty())
            container = CItemDragContainer::fromPaths(paths);
    } else {
        transfer = Transfer::Failed;
        data.clear();
        if (offersUriList && !retried && (dropPending || statusOwed) && lastTime != CurrentTime) {
            retried = true;
            request(lastTime);
            return;
        }
    }
    if (dropPending)
        finishDrop();
    else if (havePosition)
        showAndAnswer();
}

bool XdndTarget::handleSelectionNotify(const XSelectionEvent& event) {
    if (event.requestor != window || event.selection != atoms.xdndSelection)
        return false;
    if (transfer != Transfer::Requested)
        return true;  // an answer to a request given up on
    if (event.property == None) {
        dataArrived(false);
        return true;
    }
    Atom type = None;
    int format = 0;
    std::string bytes;
    if (!readWholeProperty(dpy, window, event.property, false, bytes, type, format)) {
        dataArrived(false);
        return true;
    }
    if (type == atoms.incr) {
        // The source hands the data over in pieces: deleting the property
        // asks for the first one; each arrives as a new value of it.
        transfer = Transfer::Incremental;
        requestedAt = nowMs();
        data.clear();
        XDeleteProperty(dpy, window, event.property);
        return true;
    }
    XDeleteProperty(dpy, window, event.property);
    if (format != 8) {
        dataArrived(false);
        return true;
    }
    data = std::move(bytes);
    dataArrived(true);
    return true;
}

bool XdndTarget::handlePropertyNotify(const XPropertyEvent& event) {
    if (event.window != window || event.atom != atoms.dropData)
        return false;
    if (transfer != Transfer::Incremental || event.state != PropertyNewValue)
        return true;
    Atom type = None;
    int format = 0;
    std::string bytes;
    if (!readWholeProperty(dpy, window, atoms.dropData, false, bytes, type, format)) {
        return true;  // not there any more: wait for the next piece
    }
    XDeleteProperty(dpy, window, atoms.dropData);  // asks for the next piece
    requestedAt = nowMs();
    if (bytes.empty()) {
        dataArrived(format == 8 || format == 0 || !data.empty());
        return true;
    }
    data += bytes;
    return true;
}

void XdndTarget::idle(uint64_t now) {
    if (source == None)
        return;
    if ((transfer == Transfer::Requested || transfer == Transfer::Incremental) &&
        now - requestedAt > kDataTimeoutMs) {
        retried = true;  // no second chance for a source that does not answer
        dataArrived(false);
    }
}

void XdndTarget::sendStatus(bool accept) {
    // Bit 1: send positions even while the pointer stays in the rectangle
    // (empty here), since views differ within the window.
    send(atoms.xdndStatus, (accept ? 1 : 0) | 2, 0, 0, accept ? static_cast<long>(atoms.xdndActionCopy) : 0);
}

void XdndTarget::sendFinished(bool accepted) {
    if (version >= 5)
        send(atoms.xdndFinished, accepted ? 1 : 0, accepted ? static_cast<long>(atoms.xdndActionCopy) : 0, 0, 0);
    else
        send(atoms.xdndFinished, 0, 0, 0, 0);
}

void XdndTarget::send(Atom type, long l1, long l2, long l3, long l4) {
    if (source == None)
        return;
    XEvent reply{};
    reply.xclient.type = ClientMessage;
    reply.xclient.display = dpy;
    reply.xclient.window = source;
    reply.xclient.message_type = type;
    reply.xclient.format = 32;
    reply.xclient.data.l[0] = static_cast<long>(addressed != None ? addressed : window);
    reply.xclient.data.l[1] = l1;
    reply.xclient.data.l[2] = l2;
    reply.xclient.data.l[3] = l3;
    reply.xclient.data.l[4] = l4;
    XSendEvent(dpy, source, False, NoEventMask, &reply);
    XFlush(dpy);
}

}  // namespace rimbrel::gui::x11
