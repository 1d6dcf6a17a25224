#include "editor/KeyButton.h"

#include <cstring>

#include "gui/DrawContext.h"

namespace rimbrel {

CKeyButton::CKeyButton(const gui::CRect& rect, gui::CControlListener* owner, int32_t keyTag,
                       const gui::CRect& lightRect, bool isRound)
    : gui::COnOffButton(rect, owner, keyTag, nullptr, 0), light(lightRect), round(isRound) {
}

void CKeyButton::draw(gui::CDrawContext* context) {
    if (sounding) {
        context->setFillColor(kLitFill);
        context->setFrameColor(kLitEdge);
        context->setLineWidth(2);
        if (round)
            context->drawEllipse(light, gui::kDrawFilledAndStroked);
        else
            context->drawRect(light, gui::kDrawFilledAndStroked);
    }
    dirty = false;
}

gui::CMouseEventResult CKeyButton::onMouseDown(gui::CPoint& where, const gui::CButtonState& buttons) {
    if (!buttons.isLeftButton())
        return gui::kMouseEventNotHandled;
    pressed = true;
    gui::COnOffButton::onMouseDown(where, buttons);
    // Keep the press: its release lets the key go.
    return gui::kMouseEventHandled;
}

gui::CMouseEventResult CKeyButton::onMouseUp(gui::CPoint&, const gui::CButtonState&) {
    if (pressed) {
        pressed = false;
        releasing = true;
        valueChanged();
        releasing = false;
    }
    return gui::kMouseEventHandled;
}

void CKeyButton::setSounding(bool state) {
    if (state == sounding)
        return;
    sounding = state;
    setDirty(true);
}

bool CKeyButton::isTypeOf(const char* className) const {
    return (className && std::strcmp(className, "CKeyButton") == 0) || gui::COnOffButton::isTypeOf(className);
}

}  // namespace rimbrel
