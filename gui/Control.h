// Controls: views with a value, a tag and a listener told of changes.
#pragma once

#include "gui/View.h"

namespace rimbrel::gui {

class CControl;
class CDragContainer;

// Receives what controls report. Besides valueChanged it carries the drop and
// hover notifications of drop-accepting controls and mouse enter/exit notes.
class CControlListener {
public:
    virtual ~CControlListener() = default;
    // Items were dropped on `control`; `reserved` is always 0.
    virtual void HandleDragDrop(CControl* control, CDragContainer* drag, int32_t reserved) {}
    // The answer the drag's source gets for the last HandleDragDrop: whether
    // the drop was taken.
    virtual bool dropWasTaken() const { return true; }
    // A drag entered (`entering` true) or left (false) `control`.
    virtual void HandleDragHover(CControl* control, CDragContainer* drag, bool entering) {}
    virtual void HandleMouseEntered(CControl* control) {}
    virtual void HandleMouseExited(CControl* control) {}
    virtual void valueChanged(CControl* control) = 0;
};

class CControl : public CView {
public:
    CControl(const CRect& size, CControlListener* listener = nullptr, int32_t tag = 0, CBitmap* background = nullptr);
    CControl(const CControl& other) = default;

    // Tells the listener that the value changed.
    virtual void valueChanged();

    virtual void setValue(float v) { value = v; }
    virtual float getValue() const { return value; }
    void setMin(float v) { vmin = v; }
    float getMin() const { return vmin; }
    void setMax(float v) { vmax = v; }
    float getMax() const { return vmax; }
    void setDefaultValue(float v) { defaultValue = v; }
    float getDefaultValue() const { return defaultValue; }
    // Keeps the value within min..max.
    void bounceValue();

    void setTag(int32_t t) { tag = t; }
    int32_t getTag() const { return tag; }
    void setListener(CControlListener* l) { listener = l; }
    CControlListener* getListener() const { return listener; }

    // Mouse enter/exit reach the listener's notifications.
    CMouseEventResult onMouseEntered(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseExited(CPoint& where, const CButtonState& buttons) override;

    bool isTypeOf(const char* className) const override;
    CView* newCopy() const override { return new CControl(*this); }

protected:
    CControlListener* listener;
    int32_t tag;
    float value = 0.f;
    float vmin = 0.f;
    float vmax = 1.f;
    float defaultValue = 0.5f;
};

}  // namespace rimbrel::gui
