// Pictures of the Windows platform: GDI+ bitmaps in premultiplied 32-bit
// ARGB, each keeping GDI+ running while it exists.
#pragma once

#include <memory>

#include "platform/Drawing.h"
#include "platform/win32/GdiplusSession.h"

namespace Gdiplus {
class Bitmap;
}

namespace rimbrel::gui::win32 {

class GdiplusImage : public IPlatformImage {
public:
    // Takes over `bitmap` (made while `use` was held).
    GdiplusImage(std::unique_ptr<GdiplusUse> use, std::unique_ptr<Gdiplus::Bitmap> bitmap);
    ~GdiplusImage() override;
    GdiplusImage(const GdiplusImage&) = delete;
    GdiplusImage& operator=(const GdiplusImage&) = delete;

    int getWidth() const override;
    int getHeight() const override;
    Gdiplus::Bitmap* getBitmap() const { return bitmap.get(); }

private:
    std::unique_ptr<GdiplusUse> use;  // declared first: outlives the bitmap
    std::unique_ptr<Gdiplus::Bitmap> bitmap;
};

}  // namespace rimbrel::gui::win32
