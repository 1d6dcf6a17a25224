// PNG decoding and blank images for the drawing seam, on cairo.
#include "platform/cairo/CairoImage.h"

#include <cairo.h>

#include <cstring>

namespace rimbrel::gui {

namespace {
struct PngReader {
    const unsigned char* bytes;
    std::size_t size;
    std::size_t pos;
};

cairo_status_t readPng(void* closure, unsigned char* data, unsigned int length) {
    auto* r = static_cast<PngReader*>(closure);
    if (length > r->size - r->pos)
        return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, r->bytes + r->pos, length);
    r->pos += length;
    return CAIRO_STATUS_SUCCESS;
}

std::unique_ptr<IPlatformImage> adopt(cairo_surface_t* s) {
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    return std::make_unique<cairo::CairoImage>(s);
}
}  // namespace

std::unique_ptr<IPlatformImage> decodePngImage(const unsigned char* bytes, std::size_t size) {
    if (!bytes || size == 0)
        return nullptr;
    PngReader reader{bytes, size, 0};
    return adopt(cairo_image_surface_create_from_png_stream(readPng, &reader));
}

std::unique_ptr<IPlatformImage> createBlankImage(int width, int height) {
    if (width <= 0 || height <= 0)
        return nullptr;
    return adopt(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
}

namespace cairo {

CairoImage::CairoImage(cairo_surface_t* s) : surface(s) {}

CairoImage::~CairoImage() {
    cairo_surface_destroy(surface);
}

int CairoImage::getWidth() const {
    return cairo_image_surface_get_width(surface);
}

int CairoImage::getHeight() const {
    return cairo_image_surface_get_height(surface);
}

}  // namespace cairo
}  // namespace rimbrel::gui
