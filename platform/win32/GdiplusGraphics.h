// The drawing seam over GDI+: what Windows frames paint with. Antialiased
// shapes and text, pixel centres at half coordinates as cairo has them, so
// the window looks as it does on Linux. It shifts the world transform of
// the graphics it is given for as long as it lives.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Drawing.h"

namespace Gdiplus {
class Graphics;
class Font;
}  // namespace Gdiplus

namespace rimbrel::gui::win32 {

class GdiplusGraphics : public IPlatformGraphics {
public:
    // Draws on `graphics`, which must outlive this object.
    explicit GdiplusGraphics(Gdiplus::Graphics& graphics);
    ~GdiplusGraphics() override;
    GdiplusGraphics(const GdiplusGraphics&) = delete;
    GdiplusGraphics& operator=(const GdiplusGraphics&) = delete;

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
    // The GDI+ font of `font`, made once per size and style.
    Gdiplus::Font* fontFor(const PlatformFont& font);

    Gdiplus::Graphics& g;
    std::vector<unsigned int> states;
    struct CachedFont {
        CCoord size;
        int32_t style;
        std::unique_ptr<Gdiplus::Font> font;
    };
    std::vector<CachedFont> fonts;
};

}  // namespace rimbrel::gui::win32
