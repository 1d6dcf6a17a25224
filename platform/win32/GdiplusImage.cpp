// PNG decoding and blank images for the drawing seam, on GDI+.
#include "platform/win32/GdiplusImage.h"

#include <windows.h>

#include <gdiplus.h>
#include <shlwapi.h>

namespace rimbrel::gui {

namespace {

// A copy of `source` in premultiplied ARGB that owns its pixels: a bitmap
// read from a stream keeps reading it, and a copy lets the stream go.
std::unique_ptr<Gdiplus::Bitmap> ownedCopy(Gdiplus::Bitmap& source) {
    const UINT width = source.GetWidth(), height = source.GetHeight();
    if (width == 0 || height == 0)
        return nullptr;
    auto copy = std::make_unique<Gdiplus::Bitmap>(static_cast<INT>(width), static_cast<INT>(height),
                                                  PixelFormat32bppPARGB);
    if (copy->GetLastStatus() != Gdiplus::Ok)
        return nullptr;
    Gdiplus::Rect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    Gdiplus::BitmapData from{}, to{};
    // Reading every pixel is what tells a truncated or corrupt file.
    if (source.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &from) != Gdiplus::Ok)
        return nullptr;
    if (copy->LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat32bppPARGB, &to) != Gdiplus::Ok) {
        source.UnlockBits(&from);
        return nullptr;
    }
    for (UINT y = 0; y < height; ++y)
        CopyMemory(static_cast<BYTE*>(to.Scan0) + static_cast<INT_PTR>(y) * to.Stride,
                   static_cast<const BYTE*>(from.Scan0) + static_cast<INT_PTR>(y) * from.Stride, width * 4);
    copy->UnlockBits(&to);
    source.UnlockBits(&from);
    return copy;
}

}  // namespace

std::unique_ptr<IPlatformImage> decodePngImage(const unsigned char* bytes, std::size_t size) {
    static constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (!bytes || size < sizeof kSignature || size > 0x7fffffff || memcmp(bytes, kSignature, sizeof kSignature) != 0)
        return nullptr;
    auto use = std::make_unique<win32::GdiplusUse>();
    if (!use->running())
        return nullptr;
    IStream* stream = SHCreateMemStream(bytes, static_cast<UINT>(size));
    if (!stream)
        return nullptr;
    std::unique_ptr<Gdiplus::Bitmap> copy;
    {
        Gdiplus::Bitmap decoded(stream);
        if (decoded.GetLastStatus() == Gdiplus::Ok)
            copy = ownedCopy(decoded);
    }
    stream->Release();
    if (!copy)
        return nullptr;
    return std::make_unique<win32::GdiplusImage>(std::move(use), std::move(copy));
}

std::unique_ptr<IPlatformImage> createBlankImage(int width, int height) {
    if (width <= 0 || height <= 0)
        return nullptr;
    auto use = std::make_unique<win32::GdiplusUse>();
    if (!use->running())
        return nullptr;
    auto bitmap = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppPARGB);
    if (bitmap->GetLastStatus() != Gdiplus::Ok)
        return nullptr;
    {
        Gdiplus::Graphics g(bitmap.get());
        g.Clear(Gdiplus::Color(0, 0, 0, 0));
    }
    return std::make_unique<win32::GdiplusImage>(std::move(use), std::move(bitmap));
}

namespace win32 {

GdiplusImage::GdiplusImage(std::unique_ptr<GdiplusUse> u, std::unique_ptr<Gdiplus::Bitmap> b)
    : use(std::move(u)), bitmap(std::move(b)) {}

GdiplusImage::~GdiplusImage() = default;

int GdiplusImage::getWidth() const {
    return static_cast<int>(bitmap->GetWidth());
}

int GdiplusImage::getHeight() const {
    return static_cast<int>(bitmap->GetHeight());
}

}  // namespace win32
}  // namespace rimbrel::gui
