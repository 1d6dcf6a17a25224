#include "gui/Control.h"

#include <cstring>

namespace rimbrel::gui {

CControl::CControl(const CRect& r, CControlListener* l, int32_t t, CBitmap* bitmap) : CView(r), listener(l), tag(t) {
    if (bitmap)
        setBackground(bitmap);
    dirty = false;
}

void CControl::valueChanged() {
    if (listener)
        listener->valueChanged(this);
}

void CControl::bounceValue() {
    if (value > vmax)
        value = vmax;
    else if (value < vmin)
        value = vmin;
}

CMouseEventResult CControl::onMouseEntered(CPoint&, const CButtonState&) {
    if (listener)
        listener->HandleMouseEntered(this);
    return kMouseEventHandled;
}

CMouseEventResult CControl::onMouseExited(CPoint&, const CButtonState&) {
    if (listener)
        listener->HandleMouseExited(this);
    return kMouseEventHandled;
}

bool CControl::isTypeOf(const char* className) const {
    return (className && std::strcmp(className, "CControl") == 0) || CView::isTypeOf(className);
}

}  // namespace rimbrel::gui
