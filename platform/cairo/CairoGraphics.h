// The drawing seam over cairo: what the Linux platforms (x11, headless) paint
// frames with, and what tests and benches use to draw into an image surface.
#pragma once

#include <string>

#include "platform/Drawing.h"

typedef struct _cairo cairo_t;

namespace rimbrel::gui::cairo {

class CairoGraphics : public IPlatformGraphics {
public:
    // Draws on `cr`, of which it takes its own reference.
    explicit CairoGraphics(cairo_t* cr);
    ~CairoGraphics() override;
    CairoGraphics(const CairoGraphics&) = delete;
    CairoGraphics& operator=(const CairoGraphics&) = delete;

    void fillRect(const CRect& rect, const CColor& color) override;
    void strokeRect(const CRect& path, const CColor& color, CCoord lineWidth) override;
    void fillEllipse(const CRect& rect, const CColor& color) override;
    void strokeEllipse(const CRect& path, const CColor& color, CCoord lineWidth) override;
    void drawLine(const CPoint& from, const CPoint& to, const CColor& color, CCoord lineWidth) override;

    PlatformFontExtents getFontExtents(const PlatformFont& font) override;
    CCoord getTextWidth(const char* text, const PlatformFont& font) override;
    void drawText(const char* text, const CPoint& origin, const PlatformFont& font, const CColor& color) override;

    void drawImage(const IPlatformImage& image, const CRect& dest, const CPoint& offset, float alpha) override;

    void saveState() override;
    void restoreState() override;
    void clipRect(const CRect& rect) override;

private:
    void selectFont(const PlatformFont& font);
    void setColor(const CColor& color);
    void ellipsePath(const CRect& rect);

    cairo_t* cr;
    // The font last selected on `cr`, so that measuring and drawing one
    // string selects it once (a restore may bring back another one).
    bool fontSelected = false;
    std::string selectedFamily;
    CCoord selectedSize = 0;
    int32_t selectedStyle = 0;
};

}  // namespace rimbrel::gui::cairo
