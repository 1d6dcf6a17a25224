#include "gui/Controls.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "gui/Bitmap.h"

namespace rimbrel::gui {

namespace {
bool named(const char* className, const char* name) {
    return className && std::strcmp(className, name) == 0;
}
}  // namespace

// --- CParamDisplay ---

CParamDisplay::CParamDisplay(const CRect& r, CBitmap* bitmap, int32_t s)
    : CControl(r, nullptr, 0, bitmap), font(*kNormalFont), style(s) {
}

void CParamDisplay::setFont(CFontRef f) {
    if (f)
        font = *f;
    setDirty(true);
}

void CParamDisplay::setFontColor(const CColor& c) {
    if (fontColor != c)
        setDirty(true);
    fontColor = c;
}

void CParamDisplay::setBackColor(const CColor& c) {
    if (backColor != c)
        setDirty(true);
    backColor = c;
}

void CParamDisplay::setFrameColor(const CColor& c) {
    if (frameColor != c)
        setDirty(true);
    frameColor = c;
}

void CParamDisplay::setHoriAlign(CHoriTxtAlign a) {
    if (horiAlign != a)
        setDirty(true);
    horiAlign = a;
}

void CParamDisplay::setStyle(int32_t s) {
    if (style != s)
        setDirty(true);
    style = s;
}

void CParamDisplay::drawBack(CDrawContext* context) {
    if (background) {
        background->draw(context, size);
        return;
    }
    if (style & kNoDrawStyle)
        return;
    context->setFillColor(backColor);
    context->drawRect(size, kDrawFilled);
    if (!(style & kNoFrame)) {
        context->setFrameColor(frameColor);
        context->setLineWidth(1);
        context->drawRect(size, kDrawStroked);
    }
}

void CParamDisplay::drawText(CDrawContext* context, const char* string) {
    if ((style & kNoText) || !string || !*string)
        return;
    context->setFont(&font);
    if (style & kShadowText) {
        CRect shadow = size;
        shadow.offset(1, 1);
        context->setFontColor(shadowColor);
        context->drawString(string, shadow, horiAlign);
    }
    context->setFontColor(fontColor);
    context->drawString(string, size, horiAlign);
}

void CParamDisplay::draw(CDrawContext* context) {
    drawBack(context);
    char string[64];
    std::snprintf(string, sizeof string, "%2.2f", static_cast<double>(value));
    drawText(context, string);
    dirty = false;
}

bool CParamDisplay::isTypeOf(const char* className) const {
    return named(className, "CParamDisplay") || CControl::isTypeOf(className);
}

// --- CTextLabel ---

CTextLabel::CTextLabel(const CRect& r, const char* t, CBitmap* bitmap, int32_t s)
    : CParamDisplay(r, bitmap, s), text(t ? t : "") {
}

void CTextLabel::setText(const char* t) {
    const char* newText = t ? t : "";
    if (text == newText)
        return;
    text = newText;
    setDirty(true);
}

void CTextLabel::draw(CDrawContext* context) {
    drawBack(context);
    drawText(context, text.c_str());
    dirty = false;
}

bool CTextLabel::isTypeOf(const char* className) const {
    return named(className, "CTextLabel") || CParamDisplay::isTypeOf(className);
}

// --- CKickButton ---

CKickButton::CKickButton(const CRect& r, CControlListener* l, int32_t t, CBitmap* bitmap, const CPoint& off)
    : CControl(r, l, t, bitmap), offset(off), heightOfOneImage(r.getHeight()) {
}

CKickButton::CKickButton(const CRect& r, CControlListener* l, int32_t t, CCoord imageHeight, CBitmap* bitmap,
                         const CPoint& off)
    : CControl(r, l, t, bitmap), offset(off), heightOfOneImage(imageHeight) {
}

void CKickButton::draw(CDrawContext* context) {
    CPoint where(offset.x, offset.y);
    bounceValue();
    if (value >= 0.5f)
        where.y += heightOfOneImage;
    if (background)
        background->draw(context, size, where);
    dirty = false;
}

CMouseEventResult CKickButton::onMouseDown(CPoint& where, const CButtonState& buttons) {
    lastButtons = buttons;
    if (!buttons.isLeftButton())
        return kMouseEventNotHandled;
    tracking = true;
    return onMouseMoved(where, buttons);
}

CMouseEventResult CKickButton::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    lastButtons = buttons;
    if (tracking && buttons.isLeftButton()) {
        const float v = size.pointInside(where) ? vmax : vmin;
        if (v != value) {
            value = v;
            setDirty(true);
        }
    }
    return kMouseEventHandled;
}

CMouseEventResult CKickButton::onMouseUp(CPoint& where, const CButtonState& buttons) {
    lastButtons = buttons;
    if (!tracking)
        return kMouseEventHandled;
    tracking = false;
    value = size.pointInside(where) ? vmax : vmin;
    if (value > 0.5f)
        valueChanged();
    value = vmin;
    valueChanged();
    setDirty(true);
    return kMouseEventHandled;
}

bool CKickButton::isTypeOf(const char* className) const {
    return named(className, "CKickButton") || CControl::isTypeOf(className);
}

// --- COnOffButton ---

COnOffButton::COnOffButton(const CRect& r, CControlListener* l, int32_t t, CBitmap* bitmap, int32_t s)
    : CControl(r, l, t, bitmap), style(s) {
}

void COnOffButton::draw(CDrawContext* context) {
    if (background) {
        const CCoord off = value > 0.5f ? size.getHeight() : 0;
        background->draw(context, size, CPoint(0, off));
    }
    dirty = false;
}

CMouseEventResult COnOffButton::onMouseDown(CPoint&, const CButtonState& buttons) {
    if (!buttons.isLeftButton())
        return kMouseEventNotHandled;
    value = value > 0.5f ? vmin : vmax;
    setDirty(true);
    valueChanged();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

bool COnOffButton::isTypeOf(const char* className) const {
    return named(className, "COnOffButton") || CControl::isTypeOf(className);
}

// --- CHorizontalSwitch ---

CHorizontalSwitch::CHorizontalSwitch(const CRect& r, CControlListener* l, int32_t t, int32_t subs, CCoord imageHeight,
                                     int32_t pos, CBitmap* bitmap, const CPoint& off)
    : CControl(r, l, t, bitmap),
      subPixmaps(subs > 0 ? subs : 1),
      heightOfOneImage(imageHeight),
      positions(pos > 1 ? pos : 2),
      offset(off) {
}

int32_t CHorizontalSwitch::getPosition() const {
    const float v = value < vmin ? vmin : (value > vmax ? vmax : value);
    const float norm = vmax > vmin ? (v - vmin) / (vmax - vmin) : 0.f;
    return static_cast<int32_t>(norm * static_cast<float>(positions - 1) + 0.5f);
}

void CHorizontalSwitch::draw(CDrawContext* context) {
    if (background) {
        int32_t image = static_cast<int32_t>(std::lround(
            static_cast<double>(getPosition()) * (subPixmaps - 1) / static_cast<double>(positions - 1)));
        background->draw(context, size, CPoint(offset.x, offset.y + image * heightOfOneImage));
    }
    dirty = false;
}

CMouseEventResult CHorizontalSwitch::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton())
        return kMouseEventNotHandled;
    tracking = true;
    return onMouseMoved(where, buttons);
}

CMouseEventResult CHorizontalSwitch::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!tracking || !buttons.isLeftButton())
        return kMouseEventHandled;
    const double coef = size.getWidth() / positions;
    int32_t pos = coef > 0 ? static_cast<int32_t>(std::floor((where.x - size.left) / coef)) : 0;
    if (pos < 0)
        pos = 0;
    if (pos > positions - 1)
        pos = positions - 1;
    const float v = vmin + (vmax - vmin) * static_cast<float>(pos) / static_cast<float>(positions - 1);
    if (v != value) {
        value = v;
        setDirty(true);
        valueChanged();
    }
    return kMouseEventHandled;
}

CMouseEventResult CHorizontalSwitch::onMouseUp(CPoint&, const CButtonState&) {
    tracking = false;
    return kMouseEventHandled;
}

bool CHorizontalSwitch::isTypeOf(const char* className) const {
    return named(className, "CHorizontalSwitch") || CControl::isTypeOf(className);
}

}  // namespace rimbrel::gui
