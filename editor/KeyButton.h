// The invisible button over one drawn key. A press auditions the key and
// holds it until the release (a loop key sounds while the button is down,
// other keys play their pass); while the key sounds the button lights the drawn key.
#pragma once

#include <cstdint>

#include "gui/Controls.h"

namespace rimbrel {

class CKeyButton : public gui::COnOffButton {
public:
    // `light`: where the lit key is drawn, a disc when `round`.
    CKeyButton(const gui::CRect& size, gui::CControlListener* listener, int32_t tag, const gui::CRect& light,
               bool round);
    CKeyButton(const CKeyButton& other) = default;

    // Draws nothing but the light while the key sounds.
    void draw(gui::CDrawContext* context) override;
    // The press toggles the value and reports as the button always did, with
    // isPressed() true; the release reports again with isReleasing() true.
    gui::CMouseEventResult onMouseDown(gui::CPoint& where, const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseUp(gui::CPoint& where, const gui::CButtonState& buttons) override;

    bool isPressed() const { return pressed; }
    // True while the release reports.
    bool isReleasing() const { return releasing; }
    bool isSounding() const { return sounding; }
    // Lights or darkens the key; redraws only on a change.
    void setSounding(bool state);

    bool isTypeOf(const char* className) const override;
    gui::CView* newCopy() const override { return new CKeyButton(*this); }

    // The light: the green of the duration icon.
    static constexpr gui::CColor kLitFill{0, 171, 107, 150};
    static constexpr gui::CColor kLitEdge{0, 171, 107, 255};

private:
    gui::CRect light;
    bool round;
    bool pressed = false;
    bool releasing = false;
    bool sounding = false;
};

}  // namespace rimbrel
