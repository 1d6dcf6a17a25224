#include "gui/View.h"

#include <cstring>

#include "gui/Bitmap.h"
#include "gui/DrawContext.h"
#include "gui/Frame.h"

namespace rimbrel::gui {

CView::CView(const CRect& r) : size(r) {}

CView::CView(const CView& other)
    : CBaseObject(other),
      size(other.size),
      dirty(false),
      mouseEnabled(other.mouseEnabled),
      visible(other.visible),
      frame(nullptr),
      background(other.background) {
    if (background)
        background->remember();
}

CView::~CView() {
    if (background)
        background->forget();
}

void CView::draw(CDrawContext* context) {
    if (background)
        background->draw(context, size);
    dirty = false;
}

void CView::setDirty(bool state) {
    dirty = state;
    if (state && frame && frame != this)
        frame->invalidRect(size);
}

CMouseEventResult CView::onMouseDown(CPoint&, const CButtonState&) {
    return kMouseEventNotImplemented;
}

CMouseEventResult CView::onMouseUp(CPoint&, const CButtonState&) {
    return kMouseEventNotImplemented;
}

CMouseEventResult CView::onMouseMoved(CPoint&, const CButtonState&) {
    return kMouseEventNotImplemented;
}

CMouseEventResult CView::onMouseEntered(CPoint&, const CButtonState&) {
    return kMouseEventNotImplemented;
}

CMouseEventResult CView::onMouseExited(CPoint&, const CButtonState&) {
    return kMouseEventNotImplemented;
}

bool CView::onDrop(CDragContainer*, CPoint&) {
    return false;
}

void CView::onDragEnter(CDragContainer*, CPoint&) {}
void CView::onDragLeave(CDragContainer*, CPoint&) {}
void CView::onDragMove(CDragContainer*, CPoint&) {}

bool CView::isTypeOf(const char* className) const {
    return className && std::strcmp(className, "CView") == 0;
}

void CView::setViewSize(const CRect& rect, bool invalidate) {
    if (invalidate && frame && frame != this)
        frame->invalidRect(size);
    size = rect;
    if (invalidate)
        setDirty(true);
}

void CView::setVisible(bool state) {
    if (visible == state)
        return;
    visible = state;
    if (frame && frame != this)
        frame->invalidRect(size);
}

void CView::setBackground(CBitmap* bitmap) {
    if (bitmap == background)
        return;
    if (bitmap)
        bitmap->remember();
    if (background)
        background->forget();
    background = bitmap;
    setDirty(true);
}

}  // namespace rimbrel::gui
