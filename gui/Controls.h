// The toolkit's stock controls: text displays and buttons.
#pragma once

#include <string>

#include "platform/Color.h"
#include "gui/Control.h"
#include "gui/DrawContext.h"
#include "gui/Font.h"

namespace rimbrel::gui {

// Style flags of CParamDisplay and what derives from it.
enum CParamDisplayStyle : int32_t {
    kShadowText = 1 << 0,
    k3DIn = 1 << 1,
    k3DOut = 1 << 2,
    kNoText = 1 << 3,
    kNoDrawStyle = 1 << 4,  // neither background colour nor frame
    kNoFrame = 1 << 14,     // 16384: background colour, no frame
};

// Shows a value as text over a background colour or bitmap.
class CParamDisplay : public CControl {
public:
    CParamDisplay(const CRect& size, CBitmap* background = nullptr, int32_t style = 0);
    CParamDisplay(const CParamDisplay& other) = default;

    void draw(CDrawContext* context) override;

    void setFont(CFontRef f);
    const CFontDesc& getFont() const { return font; }
    void setFontColor(const CColor& c);
    CColor getFontColor() const { return fontColor; }
    void setBackColor(const CColor& c);
    CColor getBackColor() const { return backColor; }
    void setFrameColor(const CColor& c);
    CColor getFrameColor() const { return frameColor; }
    void setShadowColor(const CColor& c) { shadowColor = c; }
    void setHoriAlign(CHoriTxtAlign a);
    CHoriTxtAlign getHoriAlign() const { return horiAlign; }
    void setStyle(int32_t s);
    int32_t getStyle() const { return style; }

    bool isTypeOf(const char* className) const override;
    CView* newCopy() const override { return new CParamDisplay(*this); }

protected:
    // The background: bitmap if any, else (unless kNoDrawStyle) the
    // background colour and (unless kNoFrame) a frame.
    void drawBack(CDrawContext* context);
    // One line of text in the display's font, colour and alignment.
    void drawText(CDrawContext* context, const char* text);

    CFontDesc font;
    CColor fontColor{kWhiteCColor};
    CColor backColor{kBlackCColor};
    CColor frameColor{kBlackCColor};
    CColor shadowColor{kBlackCColor};
    CHoriTxtAlign horiAlign = kCenterText;
    int32_t style;
};

// A display of a fixed text (kept as the label's own copy).
class CTextLabel : public CParamDisplay {
public:
    CTextLabel(const CRect& size, const char* text = nullptr, CBitmap* background = nullptr, int32_t style = 0);
    CTextLabel(const CTextLabel& other) = default;

    // Stores a copy of `text` (nullptr: empty) and marks the label for redraw
    // when it changed.
    virtual void setText(const char* text);
    virtual const char* getText() const { return text.c_str(); }

    void draw(CDrawContext* context) override;
    bool isTypeOf(const char* className) const override;
    CView* newCopy() const override { return new CTextLabel(*this); }

protected:
    std::string text;
};

// A push button: two images stacked (released, pressed). A release inside
// reports value 1 and then value 0; a release outside only value 0.
class CKickButton : public CControl {
public:
    CKickButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
                const CPoint& offset = CPoint());
    CKickButton(const CRect& size, CControlListener* listener, int32_t tag, CCoord heightOfOneImage,
                CBitmap* background, const CPoint& offset = CPoint());
    CKickButton(const CKickButton& other) = default;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;

    // Buttons and modifiers of the last mouse event the button received
    // (during the reports of a release: those of the release).
    CButtonState getLastButtonState() const { return lastButtons; }

    bool isTypeOf(const char* className) const override;
    CView* newCopy() const override { return new CKickButton(*this); }

private:
    CPoint offset;
    CCoord heightOfOneImage;
    CButtonState lastButtons;
    bool tracking = false;
};

// A button that toggles between 0 and 1 at each left press; two stacked
// images (off, on). Without a bitmap it draws nothing.
class COnOffButton : public CControl {
public:
    COnOffButton(const CRect& size, CControlListener* listener = nullptr, int32_t tag = 0,
                 CBitmap* background = nullptr, int32_t style = 0);
    COnOffButton(const COnOffButton& other) = default;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;

    bool isTypeOf(const char* className) const override;
    CView* newCopy() const override { return new COnOffButton(*this); }

private:
    [[maybe_unused]] int32_t style;  // kept as given; the button draws the same in every style
};

// A switch of `positions` positions side by side, showing one of
// `subPixmaps` images stacked vertically. Value 0..1 in steps of
// 1/(positions-1), chosen by the horizontal mouse position.
class CHorizontalSwitch : public CControl {
public:
    CHorizontalSwitch(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
                      CCoord heightOfOneImage, int32_t positions, CBitmap* background,
                      const CPoint& offset = CPoint());
    CHorizontalSwitch(const CHorizontalSwitch& other) = default;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;

    int32_t getNumPositions() const { return positions; }
    // The position the value stands for, 0..positions-1.
    int32_t getPosition() const;

    bool isTypeOf(const char* className) const override;
    CView* newCopy() const override { return new CHorizontalSwitch(*this); }

private:
    int32_t subPixmaps;
    CCoord heightOfOneImage;
    int32_t positions;
    CPoint offset;
    bool tracking = false;
};

}  // namespace rimbrel::gui
