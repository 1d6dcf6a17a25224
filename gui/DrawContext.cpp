#include "gui/DrawContext.h"

#include <cairo.h>

#include "gui/Bitmap.h"

namespace rimbrel::gui {

namespace {
void setSource(cairo_t* cr, const CColor& c)
{
    cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
}
}  // namespace

CDrawContext::CDrawContext(cairo_t* context) : cr(cairo_reference(context)), font(*kNormalFont) {}

CDrawContext::~CDrawContext()
{
    cairo_destroy(cr);
}

void CDrawContext::setFont(const CFontDesc* f, CCoord fontSize, int32_t style)
{
    if (!f)
        return;
    font = CFontDesc(f->getName(), fontSize > 0 ? fontSize : f->getSize(), style >= 0 ? style : f->getStyle());
}

void CDrawContext::applyFont()
{
    cairo_select_font_face(cr, font.getName(),
                           (font.getStyle() & kItalicFace) ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           (font.getStyle() & kBoldFace) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, font.getSize());
}

void CDrawContext::drawRect(const CRect& r, CDrawStyle style)
{
    if (style == kDrawFilled || style == kDrawFilledAndStroked) {
        cairo_rectangle(cr, r.left, r.top, r.getWidth(), r.getHeight());
        setSource(cr, fillColor);
        cairo_fill(cr);
    }
    if (style == kDrawStroked || style == kDrawFilledAndStroked) {
        const double half = lineWidth / 2;
        cairo_rectangle(cr, r.left + half, r.top + half, r.getWidth() - lineWidth, r.getHeight() - lineWidth);
        setSource(cr, frameColor);
        cairo_set_line_width(cr, lineWidth);
        cairo_stroke(cr);
    }
}

void CDrawContext::drawLine(const CPoint& from, const CPoint& to)
{
    cairo_move_to(cr, from.x, from.y);
    cairo_line_to(cr, to.x, to.y);
    setSource(cr, frameColor);
    cairo_set_line_width(cr, lineWidth);
    cairo_stroke(cr);
}

CCoord CDrawContext::getStringWidth(const char* text)
{
    if (!text || !*text)
        return 0;
    cairo_save(cr);
    applyFont();
    cairo_text_extents_t ext;
    cairo_text_extents(cr, text, &ext);
    cairo_restore(cr);
    return ext.x_advance;
}

void CDrawContext::drawString(const char* text, const CRect& r, CHoriTxtAlign align)
{
    if (!text || !*text || r.isEmpty())
        return;
    cairo_save(cr);
    cairo_rectangle(cr, r.left, r.top, r.getWidth(), r.getHeight());
    cairo_clip(cr);
    applyFont();
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    cairo_text_extents_t te;
    cairo_text_extents(cr, text, &te);
    double x = r.left;
    if (align == kCenterText)
        x = r.left + (r.getWidth() - te.x_advance) / 2;
    else if (align == kRightText)
        x = r.right - te.x_advance;
    const double y = r.top + (r.getHeight() + fe.ascent - fe.descent) / 2;
    cairo_move_to(cr, x, y);
    setSource(cr, fontColor);
    cairo_show_text(cr, text);
    cairo_restore(cr);
}

void CDrawContext::drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset, float alpha)
{
    if (bitmap)
        bitmap->draw(this, dest, offset, alpha);
}

void CDrawContext::saveState()
{
    cairo_save(cr);
}

void CDrawContext::restoreState()
{
    cairo_restore(cr);
}

void CDrawContext::clipRect(const CRect& r)
{
    cairo_rectangle(cr, r.left, r.top, r.getWidth(), r.getHeight());
    cairo_clip(cr);
}

}  // namespace rimbrel::gui
