// Drawing for views and controls: colours, line width and font kept here,
// every operation carried out by the platform's graphics (platform/Drawing.h).
#pragma once

#include <string>

#include "gui/Font.h"
#include "platform/Color.h"
#include "platform/Drawing.h"
#include "platform/Geometry.h"

namespace rimbrel::gui {

class CBitmap;

enum CDrawStyle {
    kDrawStroked = 0,
    kDrawFilled,
    kDrawFilledAndStroked,
};

enum CHoriTxtAlign {
    kLeftText = 0,
    kCenterText,
    kRightText,
};

class CDrawContext {
public:
    // Draws on `graphics`, which must outlive the context.
    explicit CDrawContext(IPlatformGraphics& graphics);
    CDrawContext(const CDrawContext&) = delete;
    CDrawContext& operator=(const CDrawContext&) = delete;

    void setFillColor(const CColor& c) { fillColor = c; }
    CColor getFillColor() const { return fillColor; }
    void setFrameColor(const CColor& c) { frameColor = c; }
    CColor getFrameColor() const { return frameColor; }
    void setLineWidth(CCoord w) { lineWidth = w; }
    CCoord getLineWidth() const { return lineWidth; }
    void setFont(const CFontDesc* f, CCoord size = 0, int32_t style = -1);
    const CFontDesc& getFont() const { return font; }
    void setFontColor(const CColor& c) { fontColor = c; }
    CColor getFontColor() const { return fontColor; }

    // Filled: the rectangle exactly. Stroked: an outline of the line width
    // lying inside the rectangle.
    void drawRect(const CRect& r, CDrawStyle style = kDrawStroked);
    // The ellipse inscribed in `r`; stroked, its outline lies inside `r`.
    void drawEllipse(const CRect& r, CDrawStyle style = kDrawStroked);
    void drawLine(const CPoint& from, const CPoint& to);
    // One line of text in the font and font colour, vertically centred in
    // `r`, aligned horizontally, clipped to `r`.
    void drawString(const char* text, const CRect& r, CHoriTxtAlign align = kCenterText);
    // Width of `text` in the current font.
    CCoord getStringWidth(const char* text);
    // Part of `bitmap` starting at `offset` drawn into `dest`, at `alpha` (0..1).
    void drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset = CPoint(), float alpha = 1.f);

    // Clipping, in the context's coordinates; save/restore nest.
    void saveState();
    void restoreState();
    void clipRect(const CRect& r);

private:
    PlatformFont platformFont() const;

    IPlatformGraphics& graphics;
    CColor fillColor{kWhiteCColor};
    CColor frameColor{kBlackCColor};
    CColor fontColor{kWhiteCColor};
    CCoord lineWidth = 1;
    CFontDesc font;
};

}  // namespace rimbrel::gui
