// An XDND drag source of its own: what a file manager does when the user
// drags files onto a window, message by message, on its own X connection.
//
//   enter()  finds the window under a root point the way a file manager does
//            (the top-level client under the pointer, following its
//            XdndProxy; or, like Qt, the deepest XdndAware window), takes
//            XdndSelection, sends XdndEnter (text/uri-list with the paths as
//            percent-encoded file:// URIs) and a first XdndPosition, waits
//            for the XdndStatus;
//   move()   another XdndPosition, waiting for its XdndStatus;
//   drop()   XdndDrop, serves the target's SelectionRequests (in one piece
//            or INCR), waits for XdndFinished;
//   leave()  XdndLeave.
// Selection requests are served while waiting for any answer, since targets
// ask for the data as soon as a drag enters. `idle` runs while waiting, so the
// target may be pumped by the very same thread.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace rimbrel::host {

class DragSource {
public:
    enum class Lookup {
        TopLevel,  // the top-level client under the point (GTK file managers)
        Deepest,   // the deepest XdndAware window under the point (Qt)
    };

    struct Options {
        Lookup lookup = Lookup::TopLevel;
        // Types offered besides text/uri-list; more than two of them make the
        // source publish XdndTypeList.
        std::vector<std::string> extraTypes;
        // Data longer than this goes over INCR, in pieces of incrPiece bytes.
        std::size_t incrThreshold = 1 << 20;
        std::size_t incrPiece = 1 << 16;
        int timeoutMs = 5000;
        // Answer selection requests with nothing (a broken source).
        bool refuseData = false;
        // Leave selection requests unanswered (a source that hangs).
        bool ignoreDataRequests = false;
    };

    struct Reply {
        bool answered = false;  // an XdndStatus came back
        bool accepted = false;
        std::string action;  // e.g. "XdndActionCopy"
    };

    struct Result {
        bool targetFound = false;
        bool finished = false;  // XdndFinished came back
        bool accepted = false;  // ... saying the drop was taken
        int dataRequests = 0;   // SelectionRequests served
        std::string error;
    };

    // Opens its own connection (nullptr: $DISPLAY). Check ok().
    explicit DragSource(const char* displayName = nullptr);
    ~DragSource();
    DragSource(const DragSource&) = delete;
    DragSource& operator=(const DragSource&) = delete;

    bool ok() const;
    Options& options();
    void setIdle(std::function<void()> idle);

    // The steps of one drag. enter() answers false when no XdndAware window
    // lies under the point.
    bool enter(const std::vector<std::string>& paths, int rootX, int rootY);
    Reply move(int rootX, int rootY);
    Reply lastStatus() const;
    void leave();
    Result drop();
    // Waits on for the XdndFinished of a drop whose wait timed out.
    Result awaitFinished();

    // A whole drag: enter at the point, then drop.
    Result dragAndDrop(const std::vector<std::string>& paths, int rootX, int rootY);

    // The window messages were sent to, and the one they named (differ when
    // the target is reached through a proxy).
    unsigned long targetWindow() const;
    unsigned long proxyWindow() const;

private:
    struct State;
    std::unique_ptr<State> s;
};

}  // namespace rimbrel::host
