#include "editor/CustomControls.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gui/Bitmap.h"
#include "gui/DragContainer.h"
#include "gui/Frame.h"
#include "gui/TextFit.h"

namespace rimbrel {

using gui::CColor;
using gui::CFrame;

namespace {
constexpr CColor kTextColorDuration{255, 255, 255, 255};
constexpr CColor kTextColorValue{127, 127, 127, 255};
constexpr CColor kEmptyOutline{127, 127, 127, 255};
constexpr CColor kDark{32, 32, 32, 255};
constexpr CColor kBarPitch{60, 163, 189, 128};
constexpr CColor kBarModeDirection{158, 158, 158, 98};
constexpr CColor kBarVolume{255, 58, 93, 138};
constexpr CColor kDropOutline{0, 171, 107, 255};  // the green of the artwork

constexpr int32_t kPhaseStep = 24;
constexpr int32_t kPhaseMax = 415;
constexpr int32_t kPhaseTurn = 207;
constexpr int32_t kPulseBase = 48;
constexpr uint8_t kPulseAlpha = 128;

// The drop handling both controls share: refuse a drag whose first item has
// no usable type, else hand it to the listener.
bool firstItemUsable(CDragContainer* drag) {
    if (!drag)
        return false;
    int32_t size = 0;
    int32_t type = CDragContainer::kError;
    drag->first(size, type);
    return type >= 0;
}

void setFrameCursor(CView* view, gui::CCursorType type) {
    if (CFrame* frame = view->getFrame())
        frame->setCursor(type);
}
}  // namespace

// --- CMyDragButton ---

CMyDragButton::CMyDragButton(const CRect& rect, CControlListener* l, int32_t t, CBitmap* bitmap)
    : CControl(rect, l, t, bitmap) {
}

CMyDragButton::~CMyDragButton() = default;

bool CMyDragButton::isTypeOf(const char* className) const {
    if (className && std::strcmp(className, "CMyDragButton") == 0)
        return true;
    return CControl::isTypeOf(className);
}

void CMyDragButton::draw(CDrawContext* context) {
    if (background) {
        const CPoint offset(0, dropHighlight ? background->getHeight() * 0.5 : 0);
        background->draw(context, size, offset, 1.f);
    }
    dirty = false;
}

bool CMyDragButton::onDrop(CDragContainer* drag, CPoint&) {
    if (!firstItemUsable(drag))
        return false;
    if (listener)
        listener->HandleDragDrop(this, drag, 0);
    dropHighlight = false;
    return !listener || listener->dropWasTaken();
}

void CMyDragButton::onDragEnter(CDragContainer* drag, CPoint&) {
    setFrameCursor(this, gui::kCursorCopy);
    if (listener)
        listener->HandleDragHover(this, drag, true);
    setDirty(true);
}

void CMyDragButton::onDragLeave(CDragContainer* drag, CPoint&) {
    setFrameCursor(this, drag && drag->getCount() > 0 ? gui::kCursorCopy : gui::kCursorDefault);
    if (listener)
        listener->HandleDragHover(this, drag, false);
    setDirty(true);
}

void CMyDragButton::onDragMove(CDragContainer*, CPoint&) {}

// --- CMyTextLabel ---

CMyTextLabel::CMyTextLabel(const CRect& rect, CControlListener* l, int32_t t, const char* initialText,
                           CBitmap* bitmap, int32_t s)
    : CParamDisplay(rect, bitmap, s) {
    tag = t;
    listener = l;
    setText(initialText);
    dirty = false;
}

CMyTextLabel::~CMyTextLabel() = default;

void CMyTextLabel::setText(const char* newText) {
    // The first call (from the constructor) always stores the text.
    if (textSet && newText && text == newText)
        return;
    text = newText ? newText : "";
    textSet = true;
    setDirty(true);
}

void CMyTextLabel::setCursor(gui::CCursorType type) {
    setFrameCursor(this, type);
}

CRect CMyTextLabel::labelRect(int index) const {
    using namespace geometry;
    const double top =
        kFirstLabelTop + std::trunc(kKeyOffsets[index % 12] + static_cast<double>(index / 12) * kOctavePitch);
    return CRect(kNameLabelLeft, top, kNameLabelLeft + size.getWidth(), top + size.getHeight());
}

void CMyTextLabel::draw(CDrawContext* context) {
    drawBack(context);

    fontColor = displayMode == 0 ? kTextColorDuration : kTextColorValue;
    // A name wider than the label ends with an ellipsis instead of being cut.
    context->setFont(&font);
    const std::string shown = gui::fitWithEllipsis(
        text, size.getWidth(), [context](const std::string& s) { return context->getStringWidth(s.c_str()); });
    drawText(context, shown.c_str());

    if (!hasName) {
        context->setFillColor(kDark);
        context->setFrameColor(kEmptyOutline);
        context->setLineWidth(1);
        context->drawRect(size, gui::kDrawFilledAndStroked);
    } else if (displayMode > 0) {
        context->setFrameColor(kDark);
        context->setLineWidth(1);
        context->drawRect(size, gui::kDrawStroked);

        const double width = size.getWidth();
        double half = 6.0;
        CColor fill = kBarVolume;
        switch (displayMode) {
            case 1:
                half = 3.0;
                fill = kBarPitch;
                break;
            case 2:
                half = (barValue >= 0.2f && barValue <= 0.8f) ? width / 6 : width / 3;
                fill = kBarModeDirection;
                break;
            case 3:
                half = width * 0.5;
                fill = kBarModeDirection;
                break;
            case 4:
                half = 3.0;
                break;
            case 5:
                half = 3.0;
                fill = kBarPitch;
                break;
            default:
                break;
        }
        const double centre = size.left + width * barValue;
        double left = centre - half, right = centre + half;
        if (displayMode == 5) {
            // Pan grows from the middle towards the side it leans to.
            const double middle = size.left + width * 0.5;
            left = std::min(left, middle - half);
            right = std::max(right, middle + half);
        }
        context->setFillColor(fill);
        context->drawRect(CRect(left, size.top, right, size.bottom), gui::kDrawFilledAndStroked);
    }

    if (isHighlighted()) {
        highlightPhase += kPhaseStep;
        if (highlightPhase > kPhaseMax)
            highlightPhase = 0;
        const int32_t level = highlightPhase <= kPhaseTurn ? highlightPhase : kPhaseMax - highlightPhase;
        const auto g = static_cast<uint8_t>(level + kPulseBase);
        context->setFillColor(CColor(g, g, g, kPulseAlpha));
        context->drawRect(size, gui::kDrawFilled);
    }
    if (dropHighlight) {
        // Where the hovering files will land: an outline in the artwork's green.
        context->setFrameColor(kDropOutline);
        context->setLineWidth(2);
        context->drawRect(size, gui::kDrawStroked);
    }

    dirty = false;
}

CMouseEventResult CMyTextLabel::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton())
        return gui::kMouseEventNotHandled;
    ++pressCount;
    const int32_t m = buttons.getModifierState();

    if (displayMode > 0) {
        if (m == gui::kShift) {
            value = kClickAudition;
            valueChanged();
            return gui::kMouseDownEventHandledButDontNeedMovedOrUpEvents;
        }
        if (m == gui::kControl) {
            value = kClickReset;
            valueChanged();
            return gui::kMouseDownEventHandledButDontNeedMovedOrUpEvents;
        }
        return onMouseMoved(where, buttons);
    }

    // A drag whose release never arrived (the window lost the mouse) ends
    // here, before this press reports anything.
    if (dragState > 0 || plainPress) {
        dragState = 0;
        endDrag();
    }

    if (m == gui::kControl)
        value = kClickErase;
    else if (m == (gui::kControl | gui::kShift))
        value = kClickEraseAll;
    else
        value = kClickPlain;

    if (m == gui::kAlt) {
        dragState = 1;
        setDirty(true);
        return onMouseMoved(where, buttons);
    }
    valueChanged();
    if (m == 0) {
        // Auditioned at the press, as any click; the moves and the release
        // tell whether the name is being dragged onto another.
        plainPress = true;
        return gui::kMouseEventHandled;
    }
    return gui::kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CMouseEventResult CMyTextLabel::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (value > 4.0f)
        value = 0.0f;
    if (!buttons.isLeftButton())
        return gui::kMouseEventHandled;

    if (displayMode > 0) {
        const double width = size.right - size.left;
        double v = width > 0 ? (where.x - size.left) / width : 0.0;
        if (!(v > 0))  // also catches a position that is not a number
            v = 0;
        if (v > 1)
            v = 1;
        const float previous = barValue;
        barValue = static_cast<float>(v);
        if (barValue != previous)
            valueChanged();
        return gui::kMouseEventHandled;
    }

    if (plainPress) {
        // Still a click while the mouse stays on the name.
        if (size.pointInsideInclusive(where))
            return gui::kMouseEventHandled;
        plainPress = false;
        dragState = 1;
    }
    if (dragState == 0)
        return gui::kMouseDownEventHandledButDontNeedMovedOrUpEvents;

    dropTarget = -1;
    if (size.pointInsideInclusive(where)) {
        setCursor(gui::kCursorDefault);
        highlightExchangeTarget(-1);
        setDirty(true);
        return gui::kMouseEventHandled;
    }
    for (int i = 0; i < kKeys; ++i) {
        if (labelRect(i).pointInsideInclusive(where)) {
            dropTarget = i;
            if (dragState == 1)
                setCursor(gui::kCursorHand);
        }
    }
    if (dropTarget < 0)
        setCursor(gui::kCursorDefault);
    highlightExchangeTarget(dragState == 1 ? dropTarget : -1);
    setDirty(true);
    return gui::kMouseEventHandled;
}

CMouseEventResult CMyTextLabel::onMouseUp(CPoint&, const CButtonState&) {
    // A plain press released on its own name was a click, reported at the
    // press already.
    if (dragState != 0 && !plainPress)
        valueChanged();
    dragState = 0;
    value = 0.0f;
    endDrag();
    return gui::kMouseEventHandled;
}

void CMyTextLabel::endDrag() {
    plainPress = false;
    dropTarget = -1;
    highlightExchangeTarget(-1);
    // Wherever the drag ended, the label is drawn again without its pulse.
    setDirty(true);
}

CMyTextLabel* CMyTextLabel::siblingLabel(int index) const {
    CFrame* owner = getFrame();
    if (!owner || index < 0 || index >= kKeys)
        return nullptr;
    const CRect target = labelRect(index);
    const CPoint middle((target.left + target.right) / 2, (target.top + target.bottom) / 2);
    for (int32_t i = 0; i < owner->getNbViews(); ++i) {
        auto* label = dynamic_cast<CMyTextLabel*>(owner->getView(i));
        if (label && label->getViewSize().pointInsideInclusive(middle))
            return label;
    }
    return nullptr;
}

void CMyTextLabel::highlightExchangeTarget(int index) {
    if (index == highlightedKey)
        return;
    if (CMyTextLabel* old = siblingLabel(highlightedKey)) {
        old->exchangeHighlight = false;
        old->setDirty(true);
    }
    highlightedKey = index;
    if (CMyTextLabel* target = siblingLabel(index)) {
        target->exchangeHighlight = true;
        target->highlightPhase = 0;
        target->setDirty(true);
    }
}

bool CMyTextLabel::onDrop(CDragContainer* drag, CPoint&) {
    if (!firstItemUsable(drag))
        return false;
    if (listener)
        listener->HandleDragDrop(this, drag, 0);
    dropHighlight = false;
    return !listener || listener->dropWasTaken();
}

void CMyTextLabel::onDragEnter(CDragContainer* drag, CPoint&) {
    setCursor(gui::kCursorCopy);
    if (listener)
        listener->HandleDragHover(this, drag, true);
    setDirty(true);
}

void CMyTextLabel::onDragLeave(CDragContainer* drag, CPoint&) {
    setCursor(drag && drag->getCount() > 0 ? gui::kCursorCopy : gui::kCursorDefault);
    if (listener)
        listener->HandleDragHover(this, drag, false);
}

void CMyTextLabel::onDragMove(CDragContainer*, CPoint&) {}

}  // namespace rimbrel
