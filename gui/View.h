// The base of everything the frame shows.
#pragma once

#include "gui/Base.h"
#include "platform/Events.h"
#include "platform/Geometry.h"

namespace rimbrel::gui {

class CDrawContext;
class CDragContainer;
class CFrame;
class CBitmap;

class CView : public CBaseObject {
public:
    explicit CView(const CRect& size);
    CView(const CView& other);
    ~CView() override;

    // Drawing. draw() paints the whole view and clears the dirty flag.
    virtual void draw(CDrawContext* context);
    // Marks the view for redraw: sets the dirty flag and asks the frame to
    // repaint its rectangle.
    virtual void setDirty(bool state = true);
    bool isDirty() const { return dirty; }
    void invalid() { setDirty(true); }

    // Mouse. `where` is in window coordinates.
    virtual CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseEntered(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseExited(CPoint& where, const CButtonState& buttons);

    // Drag and drop. onDrop answers whether the drop was taken.
    virtual bool onDrop(CDragContainer* drag, CPoint& where);
    virtual void onDragEnter(CDragContainer* drag, CPoint& where);
    virtual void onDragLeave(CDragContainer* drag, CPoint& where);
    virtual void onDragMove(CDragContainer* drag, CPoint& where);
    // Whether the view takes drops (the platform shows the drag as refused
    // over views that do not). Every drag event reaches the view either way.
    virtual bool acceptsDrops() const { return false; }

    // Keys: 1 when the key was used, -1 when not.
    virtual int32_t onKeyDown(CKeyCode& key) { return -1; }
    virtual int32_t onKeyUp(CKeyCode& key) { return -1; }

    virtual bool isTypeOf(const char* className) const;
    // A new view like this one (one reference, in no frame).
    virtual CView* newCopy() const { return new CView(*this); }

    const CRect& getViewSize() const { return size; }
    virtual void setViewSize(const CRect& rect, bool invalidate = true);
    CCoord getWidth() const { return size.getWidth(); }
    CCoord getHeight() const { return size.getHeight(); }
    bool hitTest(const CPoint& where) const { return size.pointInside(where); }

    void setMouseEnabled(bool state) { mouseEnabled = state; }
    bool getMouseEnabled() const { return mouseEnabled; }
    void setVisible(bool state);
    bool isVisible() const { return visible; }

    // The frame holding the view (nullptr outside any frame).
    CFrame* getFrame() const { return frame; }
    // Set by the frame when the view is added or removed.
    void setFrame(CFrame* f) { frame = f; }

    // An optional picture drawn behind the view's own drawing (remembered).
    void setBackground(CBitmap* bitmap);
    CBitmap* getBackground() const { return background; }

protected:
    CRect size;
    bool dirty = false;
    bool mouseEnabled = true;
    bool visible = true;
    CFrame* frame = nullptr;
    CBitmap* background = nullptr;
};

}  // namespace rimbrel::gui
