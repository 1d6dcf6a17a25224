// What the X11 platform tests share: a stand-in host window on a connection
// of its own, a view that records what reaches it, and pumping helpers.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "gui/DragContainer.h"
#include "gui/DrawContext.h"
#include "gui/Frame.h"
#include "gui/View.h"
#include "platform/x11/X11Platform.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace rimbrel::test {

using namespace rimbrel::gui;

// A view painted in one colour that records its mouse and drag events.
class RecordingView : public CView {
public:
    struct Event {
        std::string kind;  // down, up, moved, exited, enter, move, leave, drop
        CPoint where;
        int32_t buttons = 0;
        std::vector<std::string> paths;
    };

    RecordingView(const CRect& r, CColor c, bool takesDrops) : CView(r), color(c), drops(takesDrops) {}

    void draw(CDrawContext* context) override {
        context->setFillColor(color);
        context->drawRect(size, kDrawFilled);
        ++draws;
        setDirty(false);
    }
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& b) override {
        record("down", where, b);
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& b) override {
        record("up", where, b);
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& b) override {
        record("moved", where, b);
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseExited(CPoint& where, const CButtonState& b) override {
        record("exited", where, b);
        return kMouseEventHandled;
    }
    bool onDrop(CDragContainer* drag, CPoint& where) override {
        record("drop", where, 0, drag);
        return drops;
    }
    void onDragEnter(CDragContainer* drag, CPoint& where) override { record("enter", where, 0, drag); }
    void onDragLeave(CDragContainer* drag, CPoint& where) override { record("leave", where, 0, drag); }
    void onDragMove(CDragContainer* drag, CPoint& where) override { record("move", where, 0, drag); }
    bool acceptsDrops() const override { return drops; }

    std::vector<std::string> kinds() const {
        std::vector<std::string> k;
        for (const Event& e : events)
            if (e.kind != "moved")
                k.push_back(e.kind);
        return k;
    }
    const Event* last(const std::string& kind) const {
        for (auto it = events.rbegin(); it != events.rend(); ++it)
            if (it->kind == kind)
                return &*it;
        return nullptr;
    }

    CColor color;
    bool drops;
    int draws = 0;
    std::vector<Event> events;

private:
    void record(const char* kind, const CPoint& where, int32_t buttons, CDragContainer* drag = nullptr) {
        Event e{kind, where, buttons, {}};
        if (drag) {
            int32_t bytes = 0, type = 0;
            for (const void* item = drag->first(bytes, type); item; item = drag->next(bytes, type))
                e.paths.emplace_back(static_cast<const char*>(item));
        }
        events.push_back(std::move(e));
    }
};

// How long a test waits for something that should happen at once: long, so
// that a busy machine never fails a test, and only ever waited out when the
// awaited thing never comes.
constexpr int kPatienceMs = 30000;

// Pumps the platform as a host's idle calls would, until `done` or timeout.
inline bool pumpUntil(const std::function<bool()>& done, int timeoutMs = kPatienceMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        gui::x11::pump();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

inline void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

// A host: a top-level window of its own connection, the parent of frames.
class X11Test : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY"))
            GTEST_SKIP() << "no X display";
        hostDisplay = XOpenDisplay(nullptr);
        if (!hostDisplay)
            GTEST_SKIP() << "cannot open the X display";
        gui::x11::install();
        root = DefaultRootWindow(hostDisplay);
        host = XCreateSimpleWindow(hostDisplay, root, hostX, hostY, 540, 786, 0, 0, 0);
        XSelectInput(hostDisplay, host, StructureNotifyMask);
        XMapWindow(hostDisplay, host);
        XSync(hostDisplay, False);
        waitMapped(host);
    }

    void TearDown() override {
        if (!hostDisplay)
            return;
        delete frame;
        frame = nullptr;
        if (host)
            XDestroyWindow(hostDisplay, host);
        XCloseDisplay(hostDisplay);
        gui::x11::pump();
    }

    // Waits for the window's MapNotify (StructureNotifyMask is selected).
    void waitMapped(Window w) {
        XEvent e;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
        while (!XCheckTypedWindowEvent(hostDisplay, w, MapNotify, &e)) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the host window was never mapped";
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    // A frame in the host window with views `views` (taken over).
    CFrame* openFrame(Window parent = 0, VSTGUIEditorInterface* editor = nullptr) {
        frame = new CFrame(CRect(0, 0, 540, 786), reinterpret_cast<void*>(static_cast<uintptr_t>(parent ? parent : host)),
                           editor);
        return frame;
    }

    Window frameWindow() const {
        return frame ? static_cast<Window>(gui::x11::frameWindow(frame->getPlatformFrame())) : None;
    }

    // The pixel at (x, y) of the host window, as the screen shows it.
    CColor screenPixel(int x, int y) {
        XSync(hostDisplay, False);
        XImage* image = XGetImage(hostDisplay, host, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return CColor(0, 0, 0, 0);
        const unsigned long p = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        return CColor(static_cast<uint8_t>((p >> 16) & 0xff), static_cast<uint8_t>((p >> 8) & 0xff),
                      static_cast<uint8_t>(p & 0xff));
    }

    bool waitForPixel(int x, int y, CColor c, int timeoutMs = kPatienceMs) {
        return pumpUntil([&] { return screenPixel(x, y) == c; }, timeoutMs);
    }

    unsigned long property(Window w, const char* name, Atom type) {
        Atom prop = XInternAtom(hostDisplay, name, False);
        Atom actualType = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        unsigned long value = 0;
        if (XGetWindowProperty(hostDisplay, w, prop, 0, 1, False, type, &actualType, &format, &items, &after,
                               &data) == Success &&
            actualType == type && items >= 1 && data)
            value = static_cast<unsigned long>(*reinterpret_cast<long*>(data));
        if (data)
            XFree(data);
        return value;
    }

    bool hasProperty(Window w, const char* name) {
        Atom prop = XInternAtom(hostDisplay, name, False);
        int count = 0;
        Atom* props = XListProperties(hostDisplay, w, &count);
        bool found = false;
        for (int i = 0; i < count; ++i)
            found = found || props[i] == prop;
        if (props)
            XFree(props);
        return found;
    }

    unsigned childCount(Window w) {
        Window r = None, parent = None;
        Window* children = nullptr;
        unsigned count = 0;
        XQueryTree(hostDisplay, w, &r, &parent, &children, &count);
        if (children)
            XFree(children);
        return count;
    }

    static constexpr int hostX = 20;
    static constexpr int hostY = 30;
    Display* hostDisplay = nullptr;
    Window root = None;
    Window host = None;
    CFrame* frame = nullptr;
};

}  // namespace rimbrel::test
