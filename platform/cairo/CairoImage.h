// Pictures of the cairo platform: ARGB image surfaces.
#pragma once

#include "platform/Drawing.h"

typedef struct _cairo_surface cairo_surface_t;

namespace rimbrel::gui::cairo {

class CairoImage : public IPlatformImage {
public:
    // Takes over `surface`, which must be a valid image surface.
    explicit CairoImage(cairo_surface_t* surface);
    ~CairoImage() override;
    CairoImage(const CairoImage&) = delete;
    CairoImage& operator=(const CairoImage&) = delete;

    int getWidth() const override;
    int getHeight() const override;
    cairo_surface_t* getSurface() const { return surface; }

private:
    cairo_surface_t* surface;
};

}  // namespace rimbrel::gui::cairo
