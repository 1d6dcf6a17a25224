// The drop-target side of the XDND protocol (versions 3 to 5) for one frame
// window, turning a desktop drag of files into the frame's drag calls.
//
// One drag, as a file manager runs it:
//   XdndEnter     the source and (up to three of) its types; more are in the
//                 source's XdndTypeList property. When text/uri-list is among
//                 them the data is asked for at once (XConvertSelection of
//                 XdndSelection into a property of the frame window), so that
//                 the views see the files while they are only hovering.
//   XdndPosition  the pointer in root coordinates. The frame gets its drag
//                 enter (first time) or move there, and the source an
//                 XdndStatus: accepted, with XdndActionCopy, only over a view
//                 that takes drops. While the data is still on its way the
//                 answer waits for it (a source waits for every status).
//   XdndLeave     the frame gets its drag leave.
//   XdndDrop      the frame gets the drop (it sends the view its leave
//                 itself); the source always gets XdndFinished, saying
//                 whether the drop was taken, even after a refusal.
// The data is read in full however long it is (property read in pieces,
// INCR transfers included) and parsed as a text/uri-list: local file paths,
// percent-decoded, in list order. Drags that offer no text/uri-list, or whose
// list names no local file, are refused everywhere and never shown to the
// views.
//
// Drags that reach the frame through the proxy on a host window that takes
// drops itself belong to the host while the pointer is not over the frame's
// window: their messages are passed on to that window as they came (its
// answers go straight to the source), with an XdndEnter replayed when the
// pointer crosses over to the host and an XdndLeave when it comes back.
// Every answer the frame gives names the window the source addressed, as
// the protocol's proxy rule asks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gui/DragContainer.h"
#include "platform/Geometry.h"
#include "platform/Windows.h"
#include "platform/x11/X11Connection.h"  // includes Xlib after the toolkit

namespace rimbrel::gui::x11 {

class XdndTarget {
public:
    // Where a point of the root window lies in the frame window.
    using RootToWindow = std::function<CPoint(int rootX, int rootY)>;
    // The host window that takes a drag addressed to `addressed` while the
    // pointer is elsewhere than over the frame (None: nobody, we answer).
    using HostTarget = std::function<Window(Window addressed)>;
    // Whether a root point lies over the frame's window, seen from `host`.
    using OverFrame = std::function<bool(Window host, int rootX, int rootY)>;

    XdndTarget(Display* display, const Atoms& atoms, Window window, IPlatformFrameCallback* frame,
               RootToWindow rootToWindow);
    // The frame is going away: a drag in progress ends without telling the
    // views; a source waiting for an answer is refused.
    ~XdndTarget();
    XdndTarget(const XdndTarget&) = delete;
    XdndTarget& operator=(const XdndTarget&) = delete;

    // Passes drags outside the frame on to the host (see above).
    void passOutsideTo(HostTarget hostTarget, OverFrame overFrame);

    // Each answers whether the event belonged to the drop protocol.
    bool handleClientMessage(const XClientMessageEvent& event);
    bool handleSelectionNotify(const XSelectionEvent& event);
    bool handlePropertyNotify(const XPropertyEvent& event);
    // Gives up on data that does not come (a broken source).
    void idle(uint64_t nowMs);

    bool dragInProgress() const { return source != None; }

    // How long the data of a drag may take before the drag is refused.
    static constexpr uint64_t kDataTimeoutMs = 3000;

private:
    enum class Transfer { Idle,
                          Requested,
                          Incremental,
                          Done,
                          Failed };
    enum class Side { Ours,
                      Host };

    void onEnter(const XClientMessageEvent& event);
    void onPosition(const XClientMessageEvent& event);
    void onLeave(const XClientMessageEvent& event);
    void onDrop(const XClientMessageEvent& event);

    void request(Time time);
    void dataArrived(bool ok);
    // Shows the drag to the frame at the last position (enter or move) and
    // answers the position the source waits on.
    void showAndAnswer();
    void finishDrop();
    void sendStatus(bool accept);
    void sendFinished(bool accepted);
    void send(Atom type, long l1, long l2, long l3, long l4);
    void reset();
    // The pointer went over the host's part of the window, or came back.
    void toHost(Window host);
    void backFromHost();
    void passOn(const XClientMessageEvent& event, Window to);

    Display* dpy;
    const Atoms& atoms;
    Window window;
    IPlatformFrameCallback* frame;
    RootToWindow toWindow;
    HostTarget hostTarget;
    OverFrame overFrame;

    // The drag in progress.
    Window source = None;
    Window addressed = None;  // the window the source talks to (ours or a proxied top-level)
    int version = 0;
    bool offersUriList = false;
    Transfer transfer = Transfer::Idle;
    bool retried = false;
    uint64_t requestedAt = 0;
    std::string data;
    CItemDragContainer* container = nullptr;
    bool entered = false;
    bool havePosition = false;
    CPoint position;
    Time lastTime = CurrentTime;
    bool statusOwed = false;
    bool dropPending = false;
    // Who has the drag: the frame, or the host window it is passed on to.
    Side side = Side::Ours;
    Window host = None;
    XClientMessageEvent enterMessage{};  // replayed to the host
};

// Reads a whole property of `window` (in pieces, so no size limit applies).
// Answers false when there is none; `type` and `format` tell what it holds.
bool readWholeProperty(Display* display, Window window, Atom property, bool deleteIt, std::string& bytes,
                       Atom& type, int& format);

}  // namespace rimbrel::gui::x11
