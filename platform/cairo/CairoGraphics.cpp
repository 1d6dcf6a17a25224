#include "platform/cairo/CairoGraphics.h"

#include <cairo.h>

#include <numbers>

#include "platform/cairo/CairoImage.h"

namespace rimbrel::gui::cairo {

CairoGraphics::CairoGraphics(cairo_t* context) : cr(cairo_reference(context)) {}

CairoGraphics::~CairoGraphics() {
    cairo_destroy(cr);
}

void CairoGraphics::setColor(const CColor& c) {
    cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
}

void CairoGraphics::selectFont(const PlatformFont& font) {
    const char* family = font.family ? font.family : "";
    if (fontSelected && selectedSize == font.size && selectedStyle == font.style && selectedFamily == family)
        return;
    fontSelected = true;
    selectedFamily = family;
    selectedSize = font.size;
    selectedStyle = font.style;
    cairo_select_font_face(cr, family,
                           (font.style & kItalicFace) ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           (font.style & kBoldFace) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, font.size);
}

void CairoGraphics::fillRect(const CRect& r, const CColor& color) {
    cairo_rectangle(cr, r.left, r.top, r.getWidth(), r.getHeight());
    setColor(color);
    cairo_fill(cr);
}

void CairoGraphics::strokeRect(const CRect& path, const CColor& color, CCoord lineWidth) {
    cairo_rectangle(cr, path.left, path.top, path.getWidth(), path.getHeight());
    setColor(color);
    cairo_set_line_width(cr, lineWidth);
    cairo_stroke(cr);
}

// A unit circle scaled into `rect`; the scale is dropped again before
// filling or stroking, so a stroke keeps its width all round.
void CairoGraphics::ellipsePath(const CRect& r) {
    cairo_save(cr);
    cairo_translate(cr, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    cairo_scale(cr, r.getWidth() / 2, r.getHeight() / 2);
    cairo_new_path(cr);
    cairo_arc(cr, 0, 0, 1, 0, 2 * std::numbers::pi);
    cairo_restore(cr);
}

void CairoGraphics::fillEllipse(const CRect& rect, const CColor& color) {
    ellipsePath(rect);
    setColor(color);
    cairo_fill(cr);
}

void CairoGraphics::strokeEllipse(const CRect& path, const CColor& color, CCoord lineWidth) {
    ellipsePath(path);
    setColor(color);
    cairo_set_line_width(cr, lineWidth);
    cairo_stroke(cr);
}

void CairoGraphics::drawLine(const CPoint& from, const CPoint& to, const CColor& color, CCoord lineWidth) {
    cairo_move_to(cr, from.x, from.y);
    cairo_line_to(cr, to.x, to.y);
    setColor(color);
    cairo_set_line_width(cr, lineWidth);
    cairo_stroke(cr);
}

// Text operations leave their font selected: nothing else draws with it,
// and the next text operation in the same font need not select it again.
PlatformFontExtents CairoGraphics::getFontExtents(const PlatformFont& font) {
    selectFont(font);
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    return {fe.ascent, fe.descent};
}

CCoord CairoGraphics::getTextWidth(const char* text, const PlatformFont& font) {
    selectFont(font);
    cairo_text_extents_t te;
    cairo_text_extents(cr, text, &te);
    return te.x_advance;
}

void CairoGraphics::drawText(const char* text, const CPoint& origin, const PlatformFont& font, const CColor& color) {
    selectFont(font);
    cairo_move_to(cr, origin.x, origin.y);
    setColor(color);
    cairo_show_text(cr, text);
    cairo_new_path(cr);
}

void CairoGraphics::drawImage(const IPlatformImage& image, const CRect& dest, const CPoint& offset, float alpha) {
    const auto& picture = static_cast<const CairoImage&>(image);
    cairo_save(cr);
    cairo_rectangle(cr, dest.left, dest.top, dest.getWidth(), dest.getHeight());
    cairo_clip(cr);
    cairo_set_source_surface(cr, picture.getSurface(), dest.left - offset.x, dest.top - offset.y);
    if (alpha >= 1.f)
        cairo_paint(cr);
    else
        cairo_paint_with_alpha(cr, alpha);
    cairo_restore(cr);
}

void CairoGraphics::saveState() {
    cairo_save(cr);
}

void CairoGraphics::restoreState() {
    cairo_restore(cr);
    fontSelected = false;
}

void CairoGraphics::clipRect(const CRect& r) {
    cairo_rectangle(cr, r.left, r.top, r.getWidth(), r.getHeight());
    cairo_clip(cr);
}

}  // namespace rimbrel::gui::cairo
