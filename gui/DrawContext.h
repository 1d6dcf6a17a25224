// Drawing on a cairo context (window, image surface, anything cairo draws on).
#pragma once

#include <string>

#include "gui/Color.h"
#include "gui/Font.h"
#include "gui/Geometry.h"

typedef struct _cairo cairo_t;

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
    // Draws on `cr`; the context takes its own cairo reference.
    explicit CDrawContext(cairo_t* cr);
    ~CDrawContext();
    CDrawContext(const CDrawContext&) = delete;
    CDrawContext& operator=(const CDrawContext&) = delete;

    cairo_t* getCairo() const { return cr; }

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
    void applyFont();

    cairo_t* cr;
    CColor fillColor{kWhiteCColor};
    CColor frameColor{kBlackCColor};
    CColor fontColor{kWhiteCColor};
    CCoord lineWidth = 1;
    CFontDesc font;
};

}  // namespace rimbrel::gui
