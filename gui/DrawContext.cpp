#include "gui/DrawContext.h"

#include <cairo.h>

#include <numbers>
#include <string>

#include "gui/Bitmap.h"

namespace rimbrel::gui {

namespace {
// Cairo takes text as UTF-8 and puts the whole context into an error state
// (after which nothing more is drawn with it) when a string is not valid
// UTF-8. Texts here include file names, which are whatever bytes the file
// system holds: every byte that does not begin a well-formed sequence is
// shown as U+FFFD instead.
std::size_t utf8SequenceLength(const unsigned char* p)
{
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    auto cont = [&](int i) { return (p[i] & 0xC0) == 0x80; };
    if (c >= 0xC2 && c <= 0xDF)
        return cont(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!cont(1) || !cont(2))
            return 0;
        if (c == 0xE0 && p[1] < 0xA0)
            return 0;  // overlong
        if (c == 0xED && p[1] > 0x9F)
            return 0;  // surrogates
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3))
            return 0;
        if (c == 0xF0 && p[1] < 0x90)
            return 0;  // overlong
        if (c == 0xF4 && p[1] > 0x8F)
            return 0;  // beyond U+10FFFF
        return 4;
    }
    return 0;
}

// `text` itself when it is valid UTF-8, else a repaired copy in `repaired`.
// (A continuation test stops at the terminating zero, which is no
// continuation byte, so no read goes past the end.)
const char* validUtf8(const char* text, std::string& repaired)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    std::size_t i = 0;
    while (p[i]) {
        const std::size_t n = utf8SequenceLength(p + i);
        if (n == 0)
            break;
        i += n;
    }
    if (!p[i])
        return text;
    repaired.assign(text, i);
    while (p[i]) {
        const std::size_t n = utf8SequenceLength(p + i);
        if (n == 0) {
            repaired += "\xEF\xBF\xBD";
            ++i;
        } else {
            repaired.append(text + i, n);
            i += n;
        }
    }
    return repaired.c_str();
}

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

void CDrawContext::drawEllipse(const CRect& r, CDrawStyle style)
{
    auto path = [this](const CRect& e) {
        if (e.getWidth() <= 0 || e.getHeight() <= 0)
            return false;
        cairo_save(cr);
        cairo_translate(cr, (e.left + e.right) / 2, (e.top + e.bottom) / 2);
        cairo_scale(cr, e.getWidth() / 2, e.getHeight() / 2);
        cairo_new_path(cr);
        cairo_arc(cr, 0, 0, 1, 0, 2 * std::numbers::pi);
        cairo_restore(cr);
        return true;
    };
    if ((style == kDrawFilled || style == kDrawFilledAndStroked) && path(r)) {
        setSource(cr, fillColor);
        cairo_fill(cr);
    }
    const double half = lineWidth / 2;
    if ((style == kDrawStroked || style == kDrawFilledAndStroked) &&
        path(CRect(r.left + half, r.top + half, r.right - half, r.bottom - half))) {
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
    std::string repaired;
    text = validUtf8(text, repaired);
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
    std::string repaired;
    text = validUtf8(text, repaired);
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
