// The platform of one frame on X11: a child window of the host's parent
// window, painted from an offscreen image (so repaints never flicker and an
// expose only copies), fed with the window's mouse and drop events by the
// pump.
#pragma once

#include <memory>

#include "platform/Windows.h"
#include "platform/x11/X11Connection.h"  // includes Xlib after the toolkit

typedef struct _cairo_surface cairo_surface_t;

namespace rimbrel::gui::x11 {

class XdndTarget;
class DropProxy;

class X11Frame : public IPlatformFrame {
public:
    // Makes the window inside `parent`; valid() tells whether that worked.
    // Runs on the UI thread with the connection open.
    X11Frame(Connection& connection, IPlatformFrameCallback* frame, const CRect& size, Window parent);
    ~X11Frame() override;
    X11Frame(const X11Frame&) = delete;
    X11Frame& operator=(const X11Frame&) = delete;

    bool valid() const { return window != None; }
    Window getWindow() const { return window; }
    // The host's top-level window that proxies drops for this frame (None
    // while it does not).
    Window proxiedTopLevel() const;
    Window hostTopLevel() const;

    // --- IPlatformFrame ---
    void invalidRect(const CRect& rect) override;
    void updateNow() override;
    void setMouseCursor(CCursorType type) override;
    uint64_t getTicks() override;
    void showMessageBox(const std::string& caption, const std::string& text) override;
    bool runFileSelector(const FileSelectorRequest& request, FileSelectorDone done) override;
    bool askQuestion(const std::string& caption, const std::string& text, QuestionDone done) override;

    // --- from the pump ---
    void handleEvent(XEvent& event);
    // Repaints what was marked, gives up on drops whose data does not come.
    void idle();
    // Another frame of the same top-level closed: this one takes over the
    // top-level's drop proxy.
    void takeOverProxy(Window top);
    // A window above this one was reparented (or marked by a window
    // manager): the drop proxy follows at the next idle.
    void ancestryChanged();

private:
    void paint();
    void present(const CRect& area);
    CPoint rootToWindow(int rootX, int rootY);

    Connection& connection;
    Display* dpy;
    IPlatformFrameCallback* frame;
    CRect size;
    Window window = None;
    bool windowGone = false;
    cairo_surface_t* backing = nullptr;  // what the window shows
    cairo_surface_t* target = nullptr;   // the window, for visuals other than 24-bit RGB
    GC gc = nullptr;                     // copies the image to a 24-bit RGB window
    int depth = 0;
    bool backingPainted = false;
    CRect invalidArea;
    CRect exposedArea;
    CCursorType cursorType = kCursorDefault;
    std::unique_ptr<XdndTarget> dnd;
    std::unique_ptr<DropProxy> proxy;
};

}  // namespace rimbrel::gui::x11
