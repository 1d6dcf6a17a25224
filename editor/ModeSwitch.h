// The mode switch above the keys: one icon per display mode, choosing what
// the value labels show. While the mouse rests on an icon (no button held)
// it tells its listener which one, so the window can name the mode. The
// target switch below the total is one too, with two halves.
#pragma once

#include <cstdint>
#include <functional>

#include "gui/Controls.h"
#include "kit/Kit.h"

namespace rimbrel {

class ModeSwitch : public gui::CHorizontalSwitch {
public:
    // Called with the icon under the mouse (0..positions-1), or -1 when it leaves.
    using HoverReport = std::function<void(int32_t icon)>;

    ModeSwitch(const gui::CRect& size, gui::CControlListener* listener, int32_t tag, int32_t positions,
               gui::CCoord heightOfOneImage, gui::CBitmap* background, HoverReport onHover);
    ModeSwitch(const ModeSwitch& other) = default;

    // The icon (0..positions-1) at horizontal position x.
    int32_t iconAt(gui::CCoord x) const;

    gui::CMouseEventResult onMouseMoved(gui::CPoint& where, const gui::CButtonState& buttons) override;
    gui::CMouseEventResult onMouseExited(gui::CPoint& where, const gui::CButtonState& buttons) override;
    gui::CView* newCopy() const override { return new ModeSwitch(*this); }

private:
    HoverReport onHover;
    int32_t hovered = -1;
};

// The name a hint gives each mode: "Duration", "Pitch (semitones)", ...;
// pan's says what each target's kit does with it.
const char* modeHint(int32_t mode, KitTarget target);
// What a hint says about the target switch's half t (0 OP-1, 1 OP-1 Field).
const char* targetHint(int32_t target);

}  // namespace rimbrel
