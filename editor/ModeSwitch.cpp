#include "editor/ModeSwitch.h"

#include <cmath>
#include <utility>

#include "editor/EditorLayout.h"

namespace rimbrel {

ModeSwitch::ModeSwitch(const gui::CRect& area, gui::CControlListener* owner, int32_t controlTag, int32_t icons,
                       gui::CCoord iconHeight, gui::CBitmap* bitmap, HoverReport report)
    : gui::CHorizontalSwitch(area, owner, controlTag, icons, iconHeight, icons, bitmap),
      onHover(std::move(report)) {}

int32_t ModeSwitch::iconAt(gui::CCoord x) const {
    const int32_t icons = getNumPositions();
    const double width = size.getWidth() / icons;
    if (width <= 0) return 0;
    const auto icon = static_cast<int32_t>(std::floor((x - size.left) / width));
    return icon < 0 ? 0 : (icon >= icons ? icons - 1 : icon);
}

gui::CMouseEventResult ModeSwitch::onMouseMoved(gui::CPoint& where, const gui::CButtonState& buttons) {
    if (!buttons.anyButton()) {
        const int32_t icon = iconAt(where.x);
        if (icon != hovered) {
            hovered = icon;
            if (onHover) onHover(icon);
        }
    }
    return gui::CHorizontalSwitch::onMouseMoved(where, buttons);
}

gui::CMouseEventResult ModeSwitch::onMouseExited(gui::CPoint& where, const gui::CButtonState& buttons) {
    if (hovered != -1) {
        hovered = -1;
        if (onHover) onHover(-1);
    }
    return gui::CHorizontalSwitch::onMouseExited(where, buttons);
}

const char* modeHint(int32_t mode, KitTarget target) {
    switch (mode) {
        case ModeDuration: return "Duration";
        case ModePitch: return "Pitch (semitones)";
        case ModePlayMode: return "Play mode";
        case ModeReverse: return "Direction";
        case ModeVolume: return "Volume (dB)";
        // Heard in both targets, but only the Field's kit file keeps it.
        case ModePan: return target == KitTarget::Op1 ? "Pan (OP-1 kits ignore pan; Field kits keep it)" : "Pan";
        default: return "";
    }
}

const char* targetHint(int32_t target) {
    switch (target) {
        case 0: return "Kit for the OP-1: mono, 12 s in all";
        case 1: return "Kit for the OP-1 Field: stereo, 20 s in all";
        default: return "";
    }
}

}  // namespace rimbrel
