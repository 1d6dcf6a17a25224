#include "platform/win32/GdiplusGraphics.h"

#include <windows.h>

#include <gdiplus.h>

#include "platform/win32/GdiplusImage.h"
#include "platform/win32/GdiplusSession.h"
#include "platform/win32/WideText.h"

namespace rimbrel::gui::win32 {

using rimbrel::win32::widen;

namespace {

Gdiplus::Color colorOf(const CColor& c) {
    return Gdiplus::Color(c.alpha, c.red, c.green, c.blue);
}

Gdiplus::RectF rectOf(const CRect& r) {
    return Gdiplus::RectF(static_cast<Gdiplus::REAL>(r.left), static_cast<Gdiplus::REAL>(r.top),
                          static_cast<Gdiplus::REAL>(r.getWidth()), static_cast<Gdiplus::REAL>(r.getHeight()));
}

// Measures and draws advances without GDI+'s padding around the string.
struct TypographicFormat : Gdiplus::StringFormat {
    TypographicFormat() : Gdiplus::StringFormat(Gdiplus::StringFormat::GenericTypographic()) {
        SetFormatFlags(GetFormatFlags() | Gdiplus::StringFormatFlagsMeasureTrailingSpaces |
                       Gdiplus::StringFormatFlagsNoWrap);
    }
};

INT gdiplusStyle(int32_t style) {
    INT s = Gdiplus::FontStyleRegular;
    if (style & kBoldFace)
        s |= Gdiplus::FontStyleBold;
    if (style & kItalicFace)
        s |= Gdiplus::FontStyleItalic;
    return s;
}

}  // namespace

GdiplusGraphics::GdiplusGraphics(Gdiplus::Graphics& graphics) : g(graphics) {
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    // Pixel centres at half coordinates, as cairo has them: a 1-pixel line
    // along x = 4.5 covers exactly column 4. The shift is made in the world
    // transform rather than with PixelOffsetModeHalf, which some GDI+
    // implementations (Wine's) leave out for pens, and it moves clips too.
    g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeNone);
    g.TranslateTransform(-0.5f, -0.5f);
    g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
    g.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
    g.SetCompositingMode(Gdiplus::CompositingModeSourceOver);
}

GdiplusGraphics::~GdiplusGraphics() {
    g.TranslateTransform(0.5f, 0.5f);
}

void GdiplusGraphics::fillRect(const CRect& r, const CColor& color) {
    Gdiplus::SolidBrush brush(colorOf(color));
    g.FillRectangle(&brush, rectOf(r));
}

void GdiplusGraphics::strokeRect(const CRect& path, const CColor& color, CCoord lineWidth) {
    Gdiplus::Pen pen(colorOf(color), static_cast<Gdiplus::REAL>(lineWidth));
    g.DrawRectangle(&pen, rectOf(path));
}

void GdiplusGraphics::fillEllipse(const CRect& rect, const CColor& color) {
    Gdiplus::SolidBrush brush(colorOf(color));
    g.FillEllipse(&brush, rectOf(rect));
}

void GdiplusGraphics::strokeEllipse(const CRect& path, const CColor& color, CCoord lineWidth) {
    Gdiplus::Pen pen(colorOf(color), static_cast<Gdiplus::REAL>(lineWidth));
    g.DrawEllipse(&pen, rectOf(path));
}

void GdiplusGraphics::drawLine(const CPoint& from, const CPoint& to, const CColor& color, CCoord lineWidth) {
    Gdiplus::Pen pen(colorOf(color), static_cast<Gdiplus::REAL>(lineWidth));
    g.DrawLine(&pen, static_cast<Gdiplus::REAL>(from.x), static_cast<Gdiplus::REAL>(from.y),
               static_cast<Gdiplus::REAL>(to.x), static_cast<Gdiplus::REAL>(to.y));
}

Gdiplus::Font* GdiplusGraphics::fontFor(const PlatformFont& font) {
    for (CachedFont& cached : fonts)
        if (cached.size == font.size && cached.style == font.style)
            return cached.font.get();
    const auto size = static_cast<Gdiplus::REAL>(font.size > 0 ? font.size : 1);
    const INT style = gdiplusStyle(font.style);
    std::unique_ptr<Gdiplus::Font> made;
    // Every family is drawn in the bundled sans (Arial's metrics), as
    // fontconfig resolves it on Linux; the system's sans stands in without it.
    if (const Gdiplus::FontFamily* family = bundledTextFamily())
        made = std::make_unique<Gdiplus::Font>(family, size, style, Gdiplus::UnitPixel);
    if (!made || made->GetLastStatus() != Gdiplus::Ok)
        made = std::make_unique<Gdiplus::Font>(Gdiplus::FontFamily::GenericSansSerif(), size, style,
                                               Gdiplus::UnitPixel);
    fonts.push_back({font.size, font.style, std::move(made)});
    return fonts.back().font.get();
}

PlatformFontExtents GdiplusGraphics::getFontExtents(const PlatformFont& font) {
    Gdiplus::Font* f = fontFor(font);
    Gdiplus::FontFamily family;
    if (f->GetFamily(&family) != Gdiplus::Ok)
        return {font.size * 0.9, font.size * 0.2};
    const INT style = f->GetStyle();
    const double em = family.GetEmHeight(style);
    if (em <= 0)
        return {font.size * 0.9, font.size * 0.2};
    const double size = f->GetSize();
    return {size * family.GetCellAscent(style) / em, size * family.GetCellDescent(style) / em};
}

CCoord GdiplusGraphics::getTextWidth(const char* text, const PlatformFont& font) {
    const std::wstring wide = widen(text ? text : "");
    if (wide.empty())
        return 0;
    TypographicFormat format;
    Gdiplus::RectF bounds;
    g.MeasureString(wide.c_str(), static_cast<INT>(wide.size()), fontFor(font), Gdiplus::PointF(0, 0), &format,
                    &bounds);
    return bounds.Width;
}

void GdiplusGraphics::drawText(const char* text, const CPoint& origin, const PlatformFont& font,
                               const CColor& color) {
    const std::wstring wide = widen(text ? text : "");
    if (wide.empty())
        return;
    // GDI+ places the top of the line's cell; the seam gives the baseline.
    const double ascent = getFontExtents(font).ascent;
    TypographicFormat format;
    Gdiplus::SolidBrush brush(colorOf(color));
    g.DrawString(wide.c_str(), static_cast<INT>(wide.size()), fontFor(font),
                 Gdiplus::PointF(static_cast<Gdiplus::REAL>(origin.x), static_cast<Gdiplus::REAL>(origin.y - ascent)),
                 &format, &brush);
}

void GdiplusGraphics::drawImage(const IPlatformImage& image, const CRect& dest, const CPoint& offset, float alpha) {
    Gdiplus::Bitmap* bitmap = static_cast<const GdiplusImage&>(image).getBitmap();
    const INT width = static_cast<INT>(bitmap->GetWidth()), height = static_cast<INT>(bitmap->GetHeight());
    const Gdiplus::GraphicsState state = g.Save();
    g.IntersectClip(rectOf(dest));
    const Gdiplus::RectF placed(static_cast<Gdiplus::REAL>(dest.left - offset.x),
                                static_cast<Gdiplus::REAL>(dest.top - offset.y), static_cast<Gdiplus::REAL>(width),
                                static_cast<Gdiplus::REAL>(height));
    if (alpha >= 1.f) {
        g.DrawImage(bitmap, placed, 0, 0, static_cast<Gdiplus::REAL>(width), static_cast<Gdiplus::REAL>(height),
                    Gdiplus::UnitPixel);
    } else {
        Gdiplus::ColorMatrix matrix = {{{1, 0, 0, 0, 0},
                                        {0, 1, 0, 0, 0},
                                        {0, 0, 1, 0, 0},
                                        {0, 0, 0, alpha < 0 ? 0.f : alpha, 0},
                                        {0, 0, 0, 0, 1}}};
        Gdiplus::ImageAttributes attributes;
        attributes.SetColorMatrix(&matrix);
        g.DrawImage(bitmap, placed, 0, 0, static_cast<Gdiplus::REAL>(width), static_cast<Gdiplus::REAL>(height),
                    Gdiplus::UnitPixel, &attributes);
    }
    g.Restore(state);
}

void GdiplusGraphics::saveState() {
    states.push_back(g.Save());
}

void GdiplusGraphics::restoreState() {
    if (states.empty())
        return;
    g.Restore(states.back());
    states.pop_back();
}

void GdiplusGraphics::clipRect(const CRect& r) {
    g.IntersectClip(rectOf(r));
}

}  // namespace rimbrel::gui::win32
