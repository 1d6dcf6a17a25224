// The drawing seam: what the toolkit's CDrawContext and CBitmap draw with.
// The editor and its controls draw only through CDrawContext, which turns
// every operation into calls of IPlatformGraphics; a platform implements it
// over its own drawing library (cairo on Linux: platform/cairo/).
//
// Coordinates are window pixels as CDrawContext sees them (the graphics is
// set up by the platform so that (0, 0) is the frame's top-left corner).
// Every call belongs to the UI thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/Color.h"
#include "platform/Geometry.h"

namespace rimbrel::gui {

// Font style bits (CFontDesc::getStyle).
enum CTxtFace {
    kNormalFace = 0,
    kBoldFace = 1 << 1,
    kItalicFace = 1 << 2,
};

// A font as the seam sees it: a family name the platform resolves to a face
// (Arial may become a metric-compatible sans), a size in pixels and the
// CTxtFace bits.
struct PlatformFont {
    const char* family = "Arial";
    CCoord size = 12;
    int32_t style = kNormalFace;
};

struct PlatformFontExtents {
    CCoord ascent = 0;   // above the baseline
    CCoord descent = 0;  // below the baseline, positive
};

// A picture decoded by the platform (CBitmap holds one). Its pixels carry
// their own alpha.
class IPlatformImage {
public:
    virtual ~IPlatformImage() = default;
    virtual int getWidth() const = 0;
    virtual int getHeight() const = 0;
};

// Decodes PNG bytes (not kept after the call); nullptr when they do not
// decode, truncated or corrupt data included.
std::unique_ptr<IPlatformImage> decodePngImage(const unsigned char* bytes, std::size_t size);
// A blank, fully transparent image; nullptr for an empty size or when the
// image cannot be made.
std::unique_ptr<IPlatformImage> createBlankImage(int width, int height);

// One surface being drawn on, for the length of a paint. Text arrives as
// valid UTF-8 (CDrawContext repairs what is not).
class IPlatformGraphics {
public:
    virtual ~IPlatformGraphics() = default;

    virtual void fillRect(const CRect& rect, const CColor& color) = 0;
    // A line of `lineWidth` centred on the outline of `path`.
    virtual void strokeRect(const CRect& path, const CColor& color, CCoord lineWidth) = 0;
    // The ellipse inscribed in `rect` (never empty).
    virtual void fillEllipse(const CRect& rect, const CColor& color) = 0;
    // A line of `lineWidth` centred on the ellipse inscribed in `path` (never empty).
    virtual void strokeEllipse(const CRect& path, const CColor& color, CCoord lineWidth) = 0;
    virtual void drawLine(const CPoint& from, const CPoint& to, const CColor& color, CCoord lineWidth) = 0;

    virtual PlatformFontExtents getFontExtents(const PlatformFont& font) = 0;
    // How far `text` advances the pen in `font`.
    virtual CCoord getTextWidth(const char* text, const PlatformFont& font) = 0;
    // `text` in `font` and `color`, its baseline starting at `origin`.
    virtual void drawText(const char* text, const CPoint& origin, const PlatformFont& font, const CColor& color) = 0;

    // The part of `image` from `offset` on, drawn into `dest` (clipped to
    // it) at `alpha` (0..1). `image` is one this platform made.
    virtual void drawImage(const IPlatformImage& image, const CRect& dest, const CPoint& offset, float alpha) = 0;

    // The clip and the state saved with it; save/restore nest. clipRect
    // narrows the clip to `rect` until the matching restoreState.
    virtual void saveState() = 0;
    virtual void restoreState() = 0;
    virtual void clipRect(const CRect& rect) = 0;
};

}  // namespace rimbrel::gui
