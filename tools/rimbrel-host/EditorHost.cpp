#include "tools/rimbrel-host/EditorHost.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <sstream>
#include <thread>
#include <tuple>

#include "tools/rimbrel-host/DragSource.h"
#include "tools/rimbrel-host/HostDropArea.h"
#include "tools/rimbrel-host/PluginLoader.h"
#include "tools/rimbrel-host/RealtimeAudio.h"
#include "resources/EditorGeometry.h"

namespace rimbrel::host {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kIdleMs = 20;
constexpr int kActionSpacingMs = 200;

// The host survives X errors (a plug-in's window gone at the wrong moment);
// it reports them.
int reportXError(Display* display, XErrorEvent* e) {
    char text[256] = {0};
    XGetErrorText(display, e->error_code, text, sizeof text);
    std::fprintf(stderr, "rimbrel-host: X error: %s (request %d)\n", text, e->request_code);
    return 0;
}

// SIGINT or SIGTERM ends the run as closing the window does: the editor
// closed and the effect destroyed, so scripts can stop a run cleanly.
volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

int msSince(Clock::time_point t) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

// The window's contents as the screen shows them (the plug-in's child
// window included), written as PNG.
bool writeScreenshot(Display* dpy, Window window, const std::string& path, std::string& error) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy, window, &a)) {
        error = "cannot read the window";
        return false;
    }
    XImage* image = XGetImage(dpy, window, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height),
                              AllPlanes, ZPixmap);
    if (!image) {
        error = "cannot read the window's pixels";
        return false;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, a.width, a.height);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    auto channel = [](unsigned long pixel, unsigned long mask) -> uint32_t {
        if (!mask)
            return 0;
        int shift = 0;
        while (!((mask >> shift) & 1))
            ++shift;
        const unsigned long max = mask >> shift;
        return static_cast<uint32_t>(((pixel & mask) >> shift) * 255 / max);
    };
    for (int y = 0; y < a.height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int x = 0; x < a.width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            row[x] = (channel(p, image->red_mask) << 16) | (channel(p, image->green_mask) << 8) |
                     channel(p, image->blue_mask);
        }
    }
    cairo_surface_mark_dirty(surface);
    XDestroyImage(image);
    const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok)
        error = "cannot write " + path;
    return ok;
}

// What the editor may touch on the host's windows for drops: their XdndAware
// and XdndProxy properties (raw values, empty when absent).
struct DropProperties {
    std::vector<unsigned long> aware, proxy;
    bool operator==(const DropProperties&) const = default;
};

std::vector<unsigned long> rawProperty(Display* dpy, Window w, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* bytes = nullptr;
    std::vector<unsigned long> values;
    if (XGetWindowProperty(dpy, w, property, 0, 16, False, AnyPropertyType, &type, &format, &items, &after, &bytes) ==
            Success &&
        bytes && format == 32) {
        const auto* longs = reinterpret_cast<const long*>(bytes);
        values.assign(longs, longs + items);
        values.insert(values.begin(), type);
    }
    if (bytes)
        XFree(bytes);
    return values;
}

DropProperties dropProperties(Display* dpy, Window w) {
    return {rawProperty(dpy, w, XInternAtom(dpy, "XdndAware", False)),
            rawProperty(dpy, w, XInternAtom(dpy, "XdndProxy", False))};
}

// A synthetic click: press and release sent to the deepest window under the
// point, with the modifiers in the event's state.
void sendClick(Display* dpy, Window top, const EditorAction& action) {
    Window w = top, child = None;
    int x = action.x, y = action.y;
    for (int depth = 0; depth < 32; ++depth) {
        int cx = 0, cy = 0;
        if (!XTranslateCoordinates(dpy, top, w, action.x, action.y, &cx, &cy, &child))
            break;
        x = cx;
        y = cy;
        if (child == None)
            break;
        w = child;
    }
    int rootX = 0, rootY = 0;
    XTranslateCoordinates(dpy, top, DefaultRootWindow(dpy), action.x, action.y, &rootX, &rootY, &child);
    unsigned int mods = 0;
    if (action.shift)
        mods |= ShiftMask;
    if (action.control)
        mods |= ControlMask;
    if (action.alt)
        mods |= Mod1Mask;
    XEvent e{};
    e.xbutton.type = ButtonPress;
    e.xbutton.display = dpy;
    e.xbutton.window = w;
    e.xbutton.root = DefaultRootWindow(dpy);
    e.xbutton.subwindow = None;
    e.xbutton.time = CurrentTime;
    e.xbutton.x = x;
    e.xbutton.y = y;
    e.xbutton.x_root = rootX;
    e.xbutton.y_root = rootY;
    e.xbutton.state = mods;
    e.xbutton.button = Button1;
    e.xbutton.same_screen = True;
    XSendEvent(dpy, w, False, ButtonPressMask, &e);
    e.xbutton.type = ButtonRelease;
    e.xbutton.state = mods | Button1Mask;
    XSendEvent(dpy, w, False, ButtonReleaseMask, &e);
    XFlush(dpy);
}

class EditorSession {
public:
    EditorSession(const EditorOptions& o, Plugin& p, Display* d) : options(o), plugin(p), dpy(d) {}

    int run(std::string& error);

private:
    bool openWindow(int width, int height);
    void fitToEditor();
    void resizeTo(int width, int height);
    // embedLater: moves the editor's parent from the root into the top-level.
    void embedEditor();
    // One host idle round: the window's own events, then effEditIdle.
    void idleRound();
    void runAction(const EditorAction& action);
    void screenshot();

    const EditorOptions& options;
    Plugin& plugin;
    Display* dpy;
    Window top = None;           // the host's top-level
    Window editorParent = None;  // the window the editor opens in: top, or (embedLater) a window of its own
    int stripHeight = 0;         // the host's own area above the editor
    std::unique_ptr<HostDropArea> hostArea;
    Atom deleteWindow = None;
    bool quit = false;
    bool dropFailed = false;
    bool screenshotTaken = false;
    Clock::time_point lastIdle{};
};

bool EditorSession::openWindow(int width, int height) {
    const int screen = DefaultScreen(dpy);
    const Window root = RootWindow(dpy, screen);
    stripHeight = options.embedLater ? kHostStripHeight : 0;
    // The strip is grey, the editor's area black until the editor draws.
    top = XCreateSimpleWindow(dpy, root, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height + stripHeight),
                              0, BlackPixel(dpy, screen), options.embedLater ? 0x505058 : BlackPixel(dpy, screen));
    if (!top)
        return false;
    editorParent = top;
    if (options.embedLater) {
        hostArea = std::make_unique<HostDropArea>(dpy, top);
        editorParent = XCreateSimpleWindow(dpy, root, 0, 0, static_cast<unsigned>(width),
                                           static_cast<unsigned>(height), 0, BlackPixel(dpy, screen),
                                           BlackPixel(dpy, screen));
        if (!editorParent)
            return false;
    }
    const std::string name = "rimbrel-host: " + plugin.text(effGetEffectName);
    XStoreName(dpy, top, name.c_str());
    deleteWindow = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(dpy, top, &deleteWindow, 1);
    XSelectInput(dpy, top, StructureNotifyMask);
    fitToEditor();
    XMapRaised(dpy, top);
    XFlush(dpy);
    // Wait for the window to be mapped, as a host shows its window before
    // the plug-in draws.
    const auto start = Clock::now();
    while (msSince(start) < 2000) {
        XEvent e;
        if (XCheckTypedWindowEvent(dpy, top, MapNotify, &e))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Sizes the window to the editor's rectangle, fixed.
void EditorSession::fitToEditor() {
    ERect* rect = nullptr;
    if (!plugin.dispatch(effEditGetRect, 0, 0, &rect) || !rect)
        return;
    resizeTo(rect->right - rect->left, rect->bottom - rect->top);
}

// The editor's area gets width x height; the top-level that and its strip.
void EditorSession::resizeTo(int width, int height) {
    if (width <= 0 || height <= 0 || !top)
        return;
    XSizeHints* hints = XAllocSizeHints();
    hints->flags = PMinSize | PMaxSize;
    hints->min_width = hints->max_width = width;
    hints->min_height = hints->max_height = height + stripHeight;
    XSetWMNormalHints(dpy, top, hints);
    XFree(hints);
    XResizeWindow(dpy, top, static_cast<unsigned>(width), static_cast<unsigned>(height + stripHeight));
    if (editorParent != top)
        XResizeWindow(dpy, editorParent, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XFlush(dpy);
}

void EditorSession::embedEditor() {
    XReparentWindow(dpy, editorParent, top, 0, stripHeight);
    XMapWindow(dpy, editorParent);
    XSync(dpy, False);
    std::printf("editor embedded\n");
    std::fflush(stdout);
}

void EditorSession::idleRound() {
    while (XPending(dpy)) {
        XEvent e;
        XNextEvent(dpy, &e);
        if (hostArea && hostArea->handle(e))
            continue;
        if (e.type == ClientMessage && static_cast<Atom>(e.xclient.data.l[0]) == deleteWindow)
            quit = true;
        if (e.type == DestroyNotify && e.xdestroywindow.window == top)
            quit = true;
    }
    if (stopRequested)
        quit = true;
    lastIdle = Clock::now();
    plugin.dispatch(effEditIdle);
}

void EditorSession::screenshot() {
    if (screenshotTaken || options.screenshotPath.empty())
        return;
    screenshotTaken = true;
    XSync(dpy, False);
    std::string error;
    if (!writeScreenshot(dpy, editorParent, options.screenshotPath, error))
        std::fprintf(stderr, "rimbrel-host: screenshot: %s\n", error.c_str());
}

void EditorSession::runAction(const EditorAction& action) {
    if (action.kind == EditorAction::Click) {
        sendClick(dpy, editorParent, action);
        return;
    }
    // Points of the editor are counted from its parent; the host's strip
    // from the top-level.
    int x = 0, y = 0;
    Window origin = editorParent;
    if (action.onHostArea) {
        XWindowAttributes a{};
        XGetWindowAttributes(dpy, top, &a);
        x = a.width / 2;
        y = stripHeight / 2;
        origin = top;
    } else {
        dropPoint(action.key, x, y);
    }
    int rootX = 0, rootY = 0;
    Window child = None;
    XRaiseWindow(dpy, top);
    XSync(dpy, False);
    XTranslateCoordinates(dpy, origin, DefaultRootWindow(dpy), x, y, &rootX, &rootY, &child);

    DragSource source;
    if (options.dropToDeepestWindow)
        source.options().lookup = DragSource::Lookup::Deepest;
    // The host keeps idling at its pace while the drag runs.
    source.setIdle([this] {
        if (msSince(lastIdle) >= kIdleMs)
            idleRound();
    });
    const DragSource::Result result = source.dragAndDrop(action.paths, rootX, rootY);
    if (!result.error.empty()) {
        std::fprintf(stderr, "rimbrel-host: drop: %s\n", result.error.c_str());
        if (!result.targetFound)
            dropFailed = true;
    }
    std::printf("%s\n", result.finished && result.accepted ? "drop accepted" : "drop refused");
    std::fflush(stdout);
}

int EditorSession::run(std::string& error) {
    plugin.dispatch(effOpen);
    plugin.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(options.sampleRate));
    plugin.dispatch(effSetBlockSize, 0, options.blockSize);

    int width = 540, height = 786;
    ERect* rect = nullptr;
    if (plugin.dispatch(effEditGetRect, 0, 0, &rect) && rect && rect->right > rect->left &&
        rect->bottom > rect->top) {
        width = rect->right - rect->left;
        height = rect->bottom - rect->top;
    }
    if (!openWindow(width, height)) {
        error = "cannot create the window";
        return 1;
    }
    HostState& host = hostState();
    host.sampleRate = options.sampleRate;
    host.blockSize = options.blockSize;
    host.processLevel = kVstProcessLevelRealtime;
    host.sizeWindow = [this](int w, int h) {
        if (w <= 0 || h <= 0)
            return false;
        resizeTo(w, h);
        return true;
    };

    RealtimeAudio audio(plugin, options.sampleRate, options.blockSize, options.events, !options.recordPath.empty(),
                        options.seconds);
    audio.start();

    // The editor must leave the drop properties of the host's windows as
    // it found them: a host's own XdndAware in particular.
    const DropProperties topBefore = dropProperties(dpy, top);
    const DropProperties parentBefore = dropProperties(dpy, editorParent);
    if (!plugin.dispatch(effEditOpen, 0, reinterpret_cast<VstIntPtr>(dpy),
                         reinterpret_cast<void*>(static_cast<uintptr_t>(editorParent)))) {
        std::fprintf(stderr, "rimbrel-host: the editor did not open\n");
    }
    fitToEditor();  // some editors know their size only once open
    if (editorParent != top) {
        idleRound();
        embedEditor();
    }

    const auto opened = Clock::now();
    auto lastAction = opened;
    std::size_t nextAction = 0;
    for (int tick = 1; !quit; ++tick) {
        idleRound();
        const int elapsed = msSince(opened);
        if (nextAction < options.actions.size() &&
            elapsed >= options.actionsAfterMs + static_cast<int>(nextAction) * kActionSpacingMs) {
            runAction(options.actions[nextAction++]);
            lastAction = Clock::now();
        }
        if (options.screenshotAtMs >= 0 && elapsed >= options.screenshotAtMs)
            screenshot();
        // The run ends on time, but not before every action was made and
        // the editor had a few idle rounds to take the last one in.
        if (options.seconds > 0 && msSince(opened) >= static_cast<int>(options.seconds * 1000) &&
            nextAction >= options.actions.size() && msSince(lastAction) >= 5 * kIdleMs)
            break;
        std::this_thread::sleep_until(opened + std::chrono::milliseconds(tick * kIdleMs));
    }
    screenshot();

    plugin.dispatch(effEditClose);
    bool propertiesKept = true;
    for (auto [window, before, name] : {std::tuple{top, topBefore, "top-level"},
                                        std::tuple{editorParent, parentBefore, "editor's parent"}}) {
        if (dropProperties(dpy, window) != before) {
            std::fprintf(stderr, "rimbrel-host: the editor left the %s's XdndAware or XdndProxy changed\n", name);
            propertiesKept = false;
        }
    }
    audio.stop();
    plugin.dispatch(effStopProcess);
    plugin.dispatch(effMainsChanged, 0, 0);
    host.sizeWindow = nullptr;
    plugin.close();

    int code = dropFailed || !propertiesKept ? 1 : 0;
    if (!options.recordPath.empty() && !audio.writeRecording(options.recordPath, error))
        code = 1;
    XDestroyWindow(dpy, top);  // and the editor's parent inside it
    XSync(dpy, False);
    return code;
}

}  // namespace

void dropPoint(int key, int& x, int& y) {
    if (key < 0) {
        // The drop button, (8, 11, 256, 65).
        x = (8 + 256) / 2;
        y = (11 + 65) / 2;
        return;
    }
    // The middle of key k's name label.
    x = rimbrel::geometry::nameLabelMiddleX();
    y = rimbrel::geometry::nameLabelMiddleY(key);
}

int runEditor(const EditorOptions& options, std::string& error) {
    auto plugin = Plugin::load(options.pluginPath, error);
    if (!plugin)
        return 1;
    if (!(plugin->effect()->flags & effFlagsHasEditor)) {
        error = options.pluginPath + ": the plug-in has no editor";
        return 1;
    }
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        error = "cannot open the X display";
        return 1;
    }
    XErrorHandler previous = XSetErrorHandler(reportXError);
    stopRequested = 0;
    auto previousInt = std::signal(SIGINT, requestStop);
    auto previousTerm = std::signal(SIGTERM, requestStop);
    int code = 0;
    auto runSession = [&] {
        EditorSession session(options, *plugin, dpy);
        code = session.run(error);
    };
    if (options.uiThread) {
        // Like hosts with an editor thread: every editor request, the
        // plug-in's window and its idle calls stay on that one thread.
        std::thread ui(runSession);
        ui.join();
    } else {
        runSession();
    }
    plugin.reset();
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    XSetErrorHandler(previous);
    XCloseDisplay(dpy);
    return code;
}

}  // namespace rimbrel::host
