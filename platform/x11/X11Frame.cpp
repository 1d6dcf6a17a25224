#include "platform/x11/X11Frame.h"

#include <chrono>
#include <cmath>

#include "gui/Timer.h"
#include "platform/cairo/CairoGraphics.h"
#include "platform/x11/DropProxy.h"
#include "platform/x11/XdndTarget.h"

#include <X11/Xatom.h>
#include <cairo-xlib.h>
#include <cairo.h>

namespace rimbrel::gui::x11 {

namespace {

constexpr long kEventMask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            EnterWindowMask | LeaveWindowMask | StructureNotifyMask | PropertyChangeMask |
                            KeyPressMask | KeyReleaseMask;

// Whole pixels covering `r`: clipping on fractions would blend the edges of
// a repaint with what was there.
CRect pixelBounds(const CRect& r) {
    return CRect(std::floor(r.left), std::floor(r.top), std::ceil(r.right), std::ceil(r.bottom));
}

CButtonState buttonsOf(unsigned int state) {
    int32_t s = 0;
    if (state & Button1Mask)
        s |= kLButton;
    if (state & Button2Mask)
        s |= kMButton;
    if (state & Button3Mask)
        s |= kRButton;
    if (state & ShiftMask)
        s |= kShift;
    if (state & ControlMask)
        s |= kControl;
    if (state & Mod1Mask)
        s |= kAlt;
    if (state & Mod4Mask)
        s |= kApple;
    return s;
}

int32_t buttonBit(unsigned int button) {
    switch (button) {
        case Button1: return kLButton;
        case Button2: return kMButton;
        case Button3: return kRButton;
        default: return 0;  // wheel (4, 5) and side buttons
    }
}

// A key event as the host would hand it over: the unshifted character of
// printable keys (Ctrl+Z arrives as 'z' with the Control bit) and the
// modifiers held.
CKeyCode keyCodeOf(XKeyEvent& e) {
    CKeyCode key;
    const KeySym sym = XLookupKeysym(&e, 0);
    if (sym >= 0x20 && sym <= 0x7e)
        key.character = static_cast<int32_t>(sym);
    if (e.state & ShiftMask)
        key.modifier |= kModifierShift;
    if (e.state & ControlMask)
        key.modifier |= kModifierControl;
    if (e.state & Mod1Mask)
        key.modifier |= kModifierAlternate;
    if (e.state & Mod4Mask)
        key.modifier |= kModifierCommand;
    return key;
}

void setWindowProperty(Display* dpy, Window w, Atom property, Atom type, long value) {
    XChangeProperty(dpy, w, property, type, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&value), 1);
}

}  // namespace

X11Frame::X11Frame(Connection& c, IPlatformFrameCallback* f, const CRect& r, Window parent)
    : connection(c), dpy(c.display()), frame(f), size(r) {
    std::lock_guard<std::recursive_mutex> guard(connection.mutex());
    ErrorTrap trap(dpy);
    const int screen = DefaultScreen(dpy);
    const int width = std::max(1, static_cast<int>(std::lround(r.getWidth())));
    const int height = std::max(1, static_cast<int>(std::lround(r.getHeight())));

    XSetWindowAttributes attributes{};
    attributes.background_pixmap = None;  // nothing painted behind our back
    attributes.border_pixel = 0;
    attributes.colormap = DefaultColormap(dpy, screen);
    attributes.event_mask = kEventMask;
    attributes.bit_gravity = NorthWestGravity;
    Window w = XCreateWindow(dpy, parent, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                             DefaultDepth(dpy, screen), InputOutput, DefaultVisual(dpy, screen),
                             CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask | CWBitGravity, &attributes);
    XSync(dpy, False);
    if (trap.errors() > 0) {
        // Not a window of this display (or gone already).
        if (w)
            XDestroyWindow(dpy, w);
        XSync(dpy, False);
        return;
    }
    window = w;
    connection.addFrame(this);
    connection.route(window, this);

    const Atoms& atoms = connection.atoms();
    setWindowProperty(dpy, window, atoms.xdndAware, XA_ATOM, 5);
    // A proxy window names itself as its proxy (sources check that).
    setWindowProperty(dpy, window, atoms.xdndProxy, XA_WINDOW, static_cast<long>(window));
    proxy = std::make_unique<DropProxy>(connection, this, window);
    dnd = std::make_unique<XdndTarget>(dpy, atoms, window, frame,
                                       [this](int x, int y) { return rootToWindow(x, y); });
    // Drags over the rest of a proxied host window are the host's.
    dnd->passOutsideTo([this](Window addressed) { return proxy->hostTarget(addressed); },
                       [this](Window from, int x, int y) { return proxy->over(from, x, y); });

    backing = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    // The image's pixels are what a 24-bit RGB window holds: they go over as
    // they are. Other visuals get cairo's conversion.
    const Visual* visual = DefaultVisual(dpy, screen);
    depth = DefaultDepth(dpy, screen);
    if (visual->c_class == TrueColor && (depth == 24 || depth == 32) && visual->red_mask == 0xff0000 &&
        visual->green_mask == 0x00ff00 && visual->blue_mask == 0x0000ff) {
        gc = XCreateGC(dpy, window, 0, nullptr);
    } else {
        target = cairo_xlib_surface_create(dpy, window, DefaultVisual(dpy, screen), width, height);
        connection.keepCairoDevice(cairo_surface_get_device(target));
    }

    proxy->follow();
    XDefineCursor(dpy, window, connection.cursor(kCursorDefault));
    XMapWindow(dpy, window);
    invalidArea = CRect(0, 0, width, height);
    XFlush(dpy);
}

X11Frame::~X11Frame() {
    std::lock_guard<std::recursive_mutex> guard(connection.mutex());
    connection.dialogs().dropOwner(this);
    if (window == None)
        return;
    ErrorTrap trap(dpy);
    dnd.reset();
    proxy.reset();
    if (target)
        cairo_surface_destroy(target);
    if (gc)
        XFreeGC(dpy, gc);
    if (backing)
        cairo_surface_destroy(backing);
    connection.removeFrame(this);
    if (!windowGone)
        XDestroyWindow(dpy, window);
    // Whatever the server still sends about the window finds no frame.
    XSync(dpy, False);
}

// --- the host's top-level and the drop proxy ---

Window X11Frame::proxiedTopLevel() const {
    return proxy && proxy->owns() ? proxy->topLevel() : None;
}

Window X11Frame::hostTopLevel() const {
    return proxy ? proxy->topLevel() : None;
}

void X11Frame::takeOverProxy(Window top) {
    if (proxy && !windowGone && proxy->topLevel() == top && !proxy->owns())
        proxy->claim();
}

void X11Frame::ancestryChanged() {
    if (proxy)
        proxy->ancestryChanged();
}

CPoint X11Frame::rootToWindow(int rootX, int rootY) {
    int x = 0, y = 0;
    Window child = None;
    if (!XTranslateCoordinates(dpy, DefaultRootWindow(dpy), window, rootX, rootY, &x, &y, &child))
        return CPoint(-1, -1);
    return CPoint(x, y);
}

// --- IPlatformFrame ---

void X11Frame::invalidRect(const CRect& rect) {
    CRect r = pixelBounds(rect);
    r.bound(CRect(0, 0, std::ceil(size.getWidth()), std::ceil(size.getHeight())));
    invalidArea.unite(r);
}

void X11Frame::updateNow() {
    std::lock_guard<std::recursive_mutex> guard(connection.mutex());
    ErrorTrap trap(dpy);
    paint();
    XFlush(dpy);
}

void X11Frame::setMouseCursor(CCursorType type) {
    std::lock_guard<std::recursive_mutex> guard(connection.mutex());
    if (type == cursorType || window == None)
        return;
    cursorType = type;
    ErrorTrap trap(dpy);
    XDefineCursor(dpy, window, connection.cursor(type));
    XFlush(dpy);
}

uint64_t X11Frame::getTicks() {
    return CTimerService::now();
}

void X11Frame::showMessageBox(const std::string& caption, const std::string& text) {
    connection.dialogs().showMessageBox(caption, text);
}

bool X11Frame::runFileSelector(const FileSelectorRequest& request, FileSelectorDone done) {
    return connection.dialogs().runFileSelector(this, request, std::move(done));
}

bool X11Frame::askQuestion(const std::string& caption, const std::string& text, QuestionDone done) {
    return connection.dialogs().askQuestion(this, caption, text, std::move(done));
}

// --- painting ---

void X11Frame::paint() {
    if (window == None || windowGone)
        return;
    if (!invalidArea.isEmpty()) {
        const CRect area = invalidArea;
        invalidArea = CRect();
        cairo_t* cr = cairo_create(backing);
        cairo_rectangle(cr, area.left, area.top, area.getWidth(), area.getHeight());
        cairo_clip(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        {
            cairo::CairoGraphics graphics(cr);
            frame->platformDrawRect(graphics, area);
        }
        cairo_destroy(cr);
        cairo_surface_flush(backing);
        backingPainted = true;
        exposedArea.unite(area);
    }
    if (!exposedArea.isEmpty()) {
        const CRect area = exposedArea;
        exposedArea = CRect();
        present(area);
    }
}

void X11Frame::present(const CRect& area) {
    if (gc) {
        XImage image{};
        image.width = cairo_image_surface_get_width(backing);
        image.height = cairo_image_surface_get_height(backing);
        image.format = ZPixmap;
        image.data = reinterpret_cast<char*>(cairo_image_surface_get_data(backing));
        const uint32_t probe = 1;
        image.byte_order = *reinterpret_cast<const unsigned char*>(&probe) == 1 ? LSBFirst : MSBFirst;
        image.bitmap_unit = 32;
        image.bitmap_bit_order = image.byte_order;
        image.bitmap_pad = 32;
        image.depth = depth;
        image.bytes_per_line = cairo_image_surface_get_stride(backing);
        image.bits_per_pixel = 32;
        image.red_mask = 0xff0000;
        image.green_mask = 0x00ff00;
        image.blue_mask = 0x0000ff;
        if (!XInitImage(&image))
            return;
        const int x = static_cast<int>(area.left), y = static_cast<int>(area.top);
        XPutImage(dpy, window, gc, &image, x, y, x, y, static_cast<unsigned>(area.getWidth()),
                  static_cast<unsigned>(area.getHeight()));
        return;
    }
    cairo_t* cr = cairo_create(target);
    cairo_rectangle(cr, area.left, area.top, area.getWidth(), area.getHeight());
    cairo_clip(cr);
    cairo_set_source_surface(cr, backing, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(target);
}

void X11Frame::idle() {
    if (window == None)
        return;
    if (proxy && !windowGone)
        proxy->idle();
    if (dnd)
        dnd->idle(std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count());
    paint();
}

// --- events ---

void X11Frame::handleEvent(XEvent& event) {
    switch (event.type) {
        case Expose: {
            const XExposeEvent& e = event.xexpose;
            const CRect area(e.x, e.y, e.x + e.width, e.y + e.height);
            if (backingPainted)
                exposedArea.unite(area);
            else
                invalidRect(area);
            break;
        }
        case ButtonPress: {
            const int32_t bit = buttonBit(event.xbutton.button);
            if (!bit)
                break;
            CPoint where(event.xbutton.x, event.xbutton.y);
            frame->platformOnMouseDown(where, CButtonState(buttonsOf(event.xbutton.state) | bit));
            break;
        }
        case ButtonRelease: {
            const int32_t bit = buttonBit(event.xbutton.button);
            if (!bit)
                break;
            CPoint where(event.xbutton.x, event.xbutton.y);
            // The released button is still part of the state of a release.
            frame->platformOnMouseUp(where, CButtonState(buttonsOf(event.xbutton.state) | bit));
            break;
        }
        case MotionNotify: {
            CPoint where(event.xmotion.x, event.xmotion.y);
            frame->platformOnMouseMoved(where, buttonsOf(event.xmotion.state));
            break;
        }
        case EnterNotify: {
            CPoint where(event.xcrossing.x, event.xcrossing.y);
            frame->platformOnMouseMoved(where, buttonsOf(event.xcrossing.state));
            break;
        }
        case LeaveNotify: {
            if (event.xcrossing.detail == NotifyInferior)
                break;
            CPoint where(event.xcrossing.x, event.xcrossing.y);
            frame->platformOnMouseExited(where, buttonsOf(event.xcrossing.state));
            break;
        }
        case KeyPress: {
            CKeyCode key = keyCodeOf(event.xkey);
            frame->platformOnKeyDown(key);
            break;
        }
        case KeyRelease: {
            CKeyCode key = keyCodeOf(event.xkey);
            frame->platformOnKeyUp(key);
            break;
        }
        case ClientMessage:
            if (dnd)
                dnd->handleClientMessage(event.xclient);
            break;
        case SelectionNotify:
            if (dnd)
                dnd->handleSelectionNotify(event.xselection);
            break;
        case PropertyNotify:
            if (dnd)
                dnd->handlePropertyNotify(event.xproperty);
            break;
        case DestroyNotify:
            if (event.xdestroywindow.window == window)
                windowGone = true;  // the host destroyed its window first
            break;
        case ReparentNotify:
            if (proxy && event.xreparent.window == window)
                proxy->ancestryChanged();
            break;
        default:
            break;
    }
}

}  // namespace rimbrel::gui::x11
