#include "gui/Bitmap.h"

#include <cairo.h>

#include <cstring>

#include "gui/DrawContext.h"
#include "resources/Resources.h"

namespace rimbrel::gui {

namespace {
struct PngReader {
    const unsigned char* bytes;
    std::size_t size;
    std::size_t pos;
};

cairo_status_t readPng(void* closure, unsigned char* data, unsigned int length)
{
    auto* r = static_cast<PngReader*>(closure);
    if (length > r->size - r->pos)
        return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, r->bytes + r->pos, length);
    r->pos += length;
    return CAIRO_STATUS_SUCCESS;
}
}  // namespace

CBitmap::CBitmap(int id) : resourceId(id)
{
    const ResourceData res = findResource(id);
    loadPng(res.bytes, res.size);
}

CBitmap::CBitmap(const unsigned char* pngBytes, std::size_t byteCount)
{
    loadPng(pngBytes, byteCount);
}

CBitmap::CBitmap(CCoord w, CCoord h)
{
    if (w <= 0 || h <= 0)
        return;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(w), static_cast<int>(h));
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return;
    }
    surface = s;
    width = cairo_image_surface_get_width(s);
    height = cairo_image_surface_get_height(s);
}

CBitmap::~CBitmap()
{
    if (surface)
        cairo_surface_destroy(surface);
}

void CBitmap::loadPng(const unsigned char* bytes, std::size_t byteCount)
{
    if (!bytes || byteCount == 0)
        return;
    PngReader reader{bytes, byteCount, 0};
    cairo_surface_t* s = cairo_image_surface_create_from_png_stream(readPng, &reader);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return;
    }
    surface = s;
    width = cairo_image_surface_get_width(s);
    height = cairo_image_surface_get_height(s);
}

void CBitmap::draw(CDrawContext* context, const CRect& dest, const CPoint& offset, float alpha)
{
    if (!surface || !context || dest.isEmpty())
        return;
    cairo_t* cr = context->getCairo();
    cairo_save(cr);
    cairo_rectangle(cr, dest.left, dest.top, dest.getWidth(), dest.getHeight());
    cairo_clip(cr);
    cairo_set_source_surface(cr, surface, dest.left - offset.x, dest.top - offset.y);
    if (alpha >= 1.f)
        cairo_paint(cr);
    else
        cairo_paint_with_alpha(cr, alpha < 0.f ? 0.0 : alpha);
    cairo_restore(cr);
}

}  // namespace rimbrel::gui
