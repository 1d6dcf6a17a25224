#include "editor/KeyButton.h"

#include <algorithm>
#include <cstring>

#include "gui/DrawContext.h"

namespace rimbrel {

CKeyButton::CKeyButton(const gui::CRect& rect, gui::CControlListener* owner, int32_t keyTag, bool white)
    : gui::COnOffButton(rect, owner, keyTag, nullptr, 0), whiteKey(white)
{
}

void CKeyButton::draw(gui::CDrawContext* context)
{
    if (sounding) {
        // White keys: the key's face. Black keys: a square inside the round cap.
        gui::CRect light = size;
        if (whiteKey) {
            light.inset(4, 4);
        } else {
            const gui::CPoint centre((size.left + size.right) / 2, (size.top + size.bottom) / 2);
            const double half = std::min(size.getWidth(), size.getHeight()) / 2 - 7;
            light = gui::CRect(centre.x - half, centre.y - half, centre.x + half, centre.y + half);
        }
        context->setFillColor(kLitFill);
        context->drawRect(light, gui::kDrawFilled);
        context->setFrameColor(kLitEdge);
        context->setLineWidth(2);
        context->drawRect(light, gui::kDrawStroked);
    }
    dirty = false;
}

gui::CMouseEventResult CKeyButton::onMouseDown(gui::CPoint& where, const gui::CButtonState& buttons)
{
    if (!buttons.isLeftButton())
        return gui::kMouseEventNotHandled;
    pressed = true;
    gui::COnOffButton::onMouseDown(where, buttons);
    // Keep the press: its release lets the key go.
    return gui::kMouseEventHandled;
}

gui::CMouseEventResult CKeyButton::onMouseUp(gui::CPoint&, const gui::CButtonState&)
{
    if (pressed) {
        pressed = false;
        releasing = true;
        valueChanged();
        releasing = false;
    }
    return gui::kMouseEventHandled;
}

void CKeyButton::setSounding(bool state)
{
    if (state == sounding)
        return;
    sounding = state;
    setDirty(true);
}

bool CKeyButton::isTypeOf(const char* className) const
{
    return (className && std::strcmp(className, "CKeyButton") == 0) || gui::COnOffButton::isTypeOf(className);
}

}  // namespace rimbrel
