// The boundary between a frame and the window system it lives in: the
// window, its event pump, its clock and cursor.
//
// Calls go down from the frame to its platform through IPlatformFrame; events
// come up from the platform through IPlatformFrameCallback, which CFrame
// implements. Views and controls never see either: they talk to their frame.
//
// A platform (X11 window, headless image surface, ...) implements
// IPlatformFrame, holds the IPlatformFrameCallback it was created for, and
// from its pump:
//   - turns window-system input into platformOnMouse*/platformOnDrag*/
//     platformOnKey* calls,
//   - repaints what was invalidated by calling platformDrawRect with its own
//     IPlatformGraphics over the window's pixels,
//   - fires the toolkit's due timers (CTimerService::fireDue in
//     gui/Timer.h, which reads the same clock as getTicks) and finishes the
//     dialogs that ended.
// Everything happens on the UI thread (the thread that pumps).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Dialogs.h"
#include "platform/DragData.h"
#include "platform/Drawing.h"
#include "platform/Events.h"
#include "platform/Geometry.h"

namespace rimbrel::gui {

class IPlatformFrameCallback {
public:
    virtual ~IPlatformFrameCallback() = default;

    // Paints the frame's contents within `updateRect` (window coordinates)
    // on `graphics`, whose clip the platform may already have narrowed.
    virtual void platformDrawRect(IPlatformGraphics& graphics, const CRect& updateRect) = 0;

    virtual CMouseEventResult platformOnMouseDown(CPoint& where, const CButtonState& buttons) = 0;
    virtual CMouseEventResult platformOnMouseMoved(CPoint& where, const CButtonState& buttons) = 0;
    // `buttons` of a release still hold the button that was released.
    virtual CMouseEventResult platformOnMouseUp(CPoint& where, const CButtonState& buttons) = 0;
    // The pointer left the window.
    virtual CMouseEventResult platformOnMouseExited(CPoint& where, const CButtonState& buttons) = 0;

    // Drag and drop of `drag` over the window. Enter and move answer whether
    // the view under the pointer would take a drop. A drop answers whether it
    // was taken; the frame sends the view its leave after the drop itself, so
    // a platform sends no leave after a drop.
    virtual DragOperation platformOnDragEnter(CDragContainer* drag, const CPoint& where) = 0;
    virtual DragOperation platformOnDragMove(CDragContainer* drag, const CPoint& where) = 0;
    virtual void platformOnDragLeave(CDragContainer* drag, const CPoint& where) = 0;
    virtual bool platformOnDrop(CDragContainer* drag, const CPoint& where) = 0;

    // Key events: true when a view used the key.
    virtual bool platformOnKeyDown(CKeyCode& key) = 0;
    virtual bool platformOnKeyUp(CKeyCode& key) = 0;
};

// One window of the platform. Its dialogs (file selector, message box,
// question: IPlatformDialogs) belong to it and go with it.
class IPlatformFrame : public IPlatformDialogs {
public:
    ~IPlatformFrame() override = default;

    // The part `rect` of the window must be repainted (soon, from the pump).
    virtual void invalidRect(const CRect& rect) = 0;
    // Repaint what was invalidated now rather than at the next pump.
    virtual void updateNow() = 0;
    virtual void setMouseCursor(CCursorType type) = 0;
    // Milliseconds of a monotonic clock (the one CTimerService uses).
    virtual uint64_t getTicks() = 0;
};

// Makes the platform of a frame from the system window handed to it (for X11
// the parent window id). Installed once per process by the platform in use.
using PlatformFrameFactory =
    std::function<IPlatformFrame*(IPlatformFrameCallback* frame, const CRect& size, void* systemWindow)>;

// Installs `factory` and answers the one it replaces.
PlatformFrameFactory setPlatformFrameFactory(PlatformFrameFactory factory);
const PlatformFrameFactory& getPlatformFrameFactory();

// The platform's pump, run from every host idle call on the UI thread. The
// platform in use installs it (the X11 backend does, once per process).
using PlatformPump = std::function<void()>;
void setPlatformPump(PlatformPump pump);
// Runs the installed pump; with none installed only the due timers fire.
void runPlatformPump();

}  // namespace rimbrel::gui
