#include "platform/win32/Win32Frame.h"

#include <windowsx.h>

#include <gdiplus.h>
#include <ole2.h>

#include <cmath>

#include "gui/Timer.h"
#include "platform/win32/GdiplusGraphics.h"
#include "platform/win32/OleDropTarget.h"
#include "platform/win32/Win32Dialogs.h"
#include "platform/win32/Win32Platform.h"

namespace rimbrel::gui::win32 {

namespace {

constexpr UINT_PTR kPumpTimer = 1;
constexpr UINT kPumpMs = 15;

CButtonState modifiersNow(WPARAM wParam) {
    int32_t s = 0;
    if (wParam & MK_LBUTTON)
        s |= kLButton;
    if (wParam & MK_MBUTTON)
        s |= kMButton;
    if (wParam & MK_RBUTTON)
        s |= kRButton;
    if (wParam & MK_SHIFT)
        s |= kShift;
    if (wParam & MK_CONTROL)
        s |= kControl;
    if (GetKeyState(VK_MENU) < 0)
        s |= kAlt;
    if (GetKeyState(VK_LWIN) < 0 || GetKeyState(VK_RWIN) < 0)
        s |= kApple;
    return s;
}

int32_t buttonOf(UINT message) {
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK: return kLButton;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP: return kMButton;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP: return kRButton;
        default: return 0;
    }
}

LPCWSTR systemCursor(CCursorType type) {
    switch (type) {
        case kCursorWait: return IDC_WAIT;
        case kCursorHSize: return IDC_SIZEWE;
        case kCursorVSize: return IDC_SIZENS;
        case kCursorSizeAll: return IDC_SIZEALL;
        case kCursorNESWSize: return IDC_SIZENESW;
        case kCursorNWSESize: return IDC_SIZENWSE;
        case kCursorCopy: return IDC_ARROW;  // Windows has no copy arrow of its own
        case kCursorNotAllowed: return IDC_NO;
        case kCursorHand: return IDC_HAND;
        default: return IDC_ARROW;
    }
}

// A key as a host would hand it over: the unshifted character of letters,
// digits and the space, and the modifiers held.
CKeyCode keyCodeOf(WPARAM virtualKey) {
    CKeyCode key;
    if (virtualKey >= 'A' && virtualKey <= 'Z')
        key.character = static_cast<int32_t>(virtualKey - 'A' + 'a');
    else if ((virtualKey >= '0' && virtualKey <= '9') || virtualKey == VK_SPACE)
        key.character = static_cast<int32_t>(virtualKey);
    if (GetKeyState(VK_SHIFT) < 0)
        key.modifier |= kModifierShift;
    if (GetKeyState(VK_CONTROL) < 0)
        key.modifier |= kModifierControl;
    if (GetKeyState(VK_MENU) < 0)
        key.modifier |= kModifierAlternate;
    if (GetKeyState(VK_LWIN) < 0 || GetKeyState(VK_RWIN) < 0)
        key.modifier |= kModifierCommand;
    return key;
}

}  // namespace

Win32Frame::Win32Frame(IPlatformFrameCallback* f, const CRect& r, HWND parent) : frame(f), size(r) {
    if (!parent || !IsWindow(parent) || !gdiplus.running())
        return;
    const ATOM windowClass = registerFrameClass();
    if (!windowClass)
        return;
    const int width = std::max(1, static_cast<int>(std::lround(r.getWidth())));
    const int height = std::max(1, static_cast<int>(std::lround(r.getHeight())));

    HDC screen = GetDC(nullptr);
    backingDc = CreateCompatibleDC(screen);
    backing = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    if (!backingDc || !backing)
        return;
    backingOld = SelectObject(backingDc, backing);

    cursor = LoadCursorW(nullptr, IDC_ARROW);
    HWND w = CreateWindowExW(0, MAKEINTATOM(windowClass), L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, width,
                             height, parent, nullptr, frameModule(), this);
    if (!w)
        return;
    window = w;
    dialogs = std::make_unique<Win32Dialogs>(window);
    SetTimer(window, kPumpTimer, kPumpMs, nullptr);

    // Drops arrive through OLE, which the UI thread must have started.
    const HRESULT ole = OleInitialize(nullptr);
    oleStarted = SUCCEEDED(ole);
    if (oleStarted) {
        dropTarget = new OleDropTarget(window, frame);
        if (FAILED(RegisterDragDrop(window, dropTarget))) {
            dropTarget->detach();
            dropTarget->Release();
            dropTarget = nullptr;
        }
    }
    frameOpened(this);
    InvalidateRect(window, nullptr, FALSE);
}

Win32Frame::~Win32Frame() {
    dialogs.reset();  // pending answers are never delivered
    if (window) {
        HWND w = window;
        windowGoing();
        SetWindowLongPtrW(w, GWLP_USERDATA, 0);
        DestroyWindow(w);
    }
    if (oleStarted)
        OleUninitialize();
    if (backingDc) {
        if (backingOld)
            SelectObject(backingDc, backingOld);
        DeleteDC(backingDc);
    }
    if (backing)
        DeleteObject(backing);
    frameClosed(this);
}

// The window goes, by our hand or with its parent: nothing may reach the
// frame from it any more.
void Win32Frame::windowGoing() {
    if (!window)
        return;
    KillTimer(window, kPumpTimer);
    if (dropTarget) {
        RevokeDragDrop(window);
        dropTarget->detach();
        dropTarget->Release();
        dropTarget = nullptr;
    }
    if (GetCapture() == window)
        ReleaseCapture();
    if (dialogs)
        dialogs->windowGone();
    window = nullptr;
}

// --- IPlatformFrame ---

void Win32Frame::invalidRect(const CRect& rect) {
    if (!window)
        return;
    RECT r{static_cast<LONG>(std::floor(rect.left)), static_cast<LONG>(std::floor(rect.top)),
           static_cast<LONG>(std::ceil(rect.right)), static_cast<LONG>(std::ceil(rect.bottom))};
    InvalidateRect(window, &r, FALSE);
}

void Win32Frame::updateNow() {
    if (window)
        UpdateWindow(window);
}

void Win32Frame::setMouseCursor(CCursorType type) {
    cursor = LoadCursorW(nullptr, systemCursor(type));
    POINT p;
    if (window && GetCursorPos(&p) && WindowFromPoint(p) == window)
        SetCursor(cursor);
}

uint64_t Win32Frame::getTicks() {
    return CTimerService::now();
}

void Win32Frame::showMessageBox(const std::string& caption, const std::string& text) {
    if (dialogs)
        dialogs->showMessageBox(caption, text);
}

bool Win32Frame::runFileSelector(const FileSelectorRequest& request, FileSelectorDone done) {
    return dialogs && dialogs->runFileSelector(request, std::move(done));
}

bool Win32Frame::askQuestion(const std::string& caption, const std::string& text, QuestionDone done) {
    return dialogs && dialogs->askQuestion(caption, text, std::move(done));
}

// --- painting ---

void Win32Frame::paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    const RECT& area = ps.rcPaint;
    if (area.right > area.left && area.bottom > area.top) {
        {
            Gdiplus::Graphics graphics(backingDc);
            const Gdiplus::Rect clip(area.left, area.top, area.right - area.left, area.bottom - area.top);
            graphics.SetClip(clip);
            graphics.Clear(Gdiplus::Color(255, 0, 0, 0));
            GdiplusGraphics drawing(graphics);
            frame->platformDrawRect(drawing, CRect(area.left, area.top, area.right, area.bottom));
        }
        BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, backingDc, area.left,
               area.top, SRCCOPY);
    }
    EndPaint(window, &ps);
}

// --- events ---

void Win32Frame::mouseButton(UINT message, WPARAM wParam, LPARAM lParam) {
    CPoint where(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    const int32_t bit = buttonOf(message);
    const bool down = message == WM_LBUTTONDOWN || message == WM_MBUTTONDOWN || message == WM_RBUTTONDOWN ||
                      message == WM_LBUTTONDBLCLK;
    if (down) {
        SetFocus(window);
        SetCapture(window);
        frame->platformOnMouseDown(where, CButtonState(modifiersNow(wParam) | bit));
    } else {
        // The released button is still part of the state of a release.
        CButtonState state(modifiersNow(wParam) | bit);
        if (!(wParam & (MK_LBUTTON | MK_MBUTTON | MK_RBUTTON)) && GetCapture() == window)
            ReleaseCapture();
        frame->platformOnMouseUp(where, state);
    }
}

LRESULT Win32Frame::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: paint(); return 0;
        case WM_ERASEBKGND: return 1;  // the paint covers everything
        case WM_TIMER:
            if (wParam == kPumpTimer) {
                pump();
                return 0;
            }
            break;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_MBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_MBUTTONUP:
        case WM_RBUTTONUP: mouseButton(message, wParam, lParam); return 0;
        case WM_MOUSEMOVE: {
            if (!trackingLeave) {
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
                trackingLeave = TrackMouseEvent(&track) != FALSE;
            }
            CPoint where(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            frame->platformOnMouseMoved(where, modifiersNow(wParam));
            return 0;
        }
        case WM_MOUSELEAVE: {
            trackingLeave = false;
            POINT p;
            GetCursorPos(&p);
            ScreenToClient(window, &p);
            CPoint where(p.x, p.y);
            frame->platformOnMouseExited(where, CButtonState(modifiersNow(0)));
            return 0;
        }
        case WM_SETCURSOR:
            if (LOWORD(lParam) == HTCLIENT) {
                SetCursor(cursor);
                return TRUE;
            }
            break;
        case WM_KEYDOWN: {
            CKeyCode key = keyCodeOf(wParam);
            if (frame->platformOnKeyDown(key))
                return 0;
            break;
        }
        case WM_KEYUP: {
            CKeyCode key = keyCodeOf(wParam);
            if (frame->platformOnKeyUp(key))
                return 0;
            break;
        }
        case WM_GETDLGCODE: return DLGC_WANTALLKEYS;
        default:
            if (dialogs && dialogs->handles(message)) {
                dialogs->run(message);  // may run for long; `this` may be gone after
                return 0;
            }
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32Frame::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    auto* self = reinterpret_cast<Win32Frame*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || self->window != hwnd)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_DESTROY) {
        // The host destroyed its window first: the frame stays until the
        // editor closes, without a window.
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->windowGoing();
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->handle(message, wParam, lParam);
}

}  // namespace rimbrel::gui::win32
