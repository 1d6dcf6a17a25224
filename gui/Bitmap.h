// PNG pictures, decoded once by the platform and drawn on any context.
#pragma once

#include <cstddef>
#include <memory>

#include "gui/Base.h"
#include "platform/Drawing.h"
#include "platform/Geometry.h"

namespace rimbrel::gui {

class CDrawContext;

class CBitmap : public CBaseObject {
public:
    // The built-in PNG resource `resourceId`; an unknown id or bytes that do
    // not decode give an invalid 0 x 0 bitmap that draws nothing.
    explicit CBitmap(int resourceId);
    // A PNG held in memory (the bytes are decoded at once, not kept).
    CBitmap(const unsigned char* pngBytes, std::size_t size);
    // A blank, fully transparent bitmap of the given size.
    CBitmap(CCoord width, CCoord height);
    ~CBitmap() override;
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;

    CCoord getWidth() const { return width; }
    CCoord getHeight() const { return height; }
    bool isLoaded() const { return image != nullptr; }
    int getResourceId() const { return resourceId; }
    // The platform's picture; nullptr when the bitmap is invalid.
    const IPlatformImage* getPlatformImage() const { return image.get(); }

    // Draws the part of the bitmap from `offset` into `dest`.
    void draw(CDrawContext* context, const CRect& dest, const CPoint& offset = CPoint(), float alpha = 1.f);

private:
    void adopt(std::unique_ptr<IPlatformImage> decoded);

    std::unique_ptr<IPlatformImage> image;
    CCoord width = 0;
    CCoord height = 0;
    int resourceId = -1;
};

}  // namespace rimbrel::gui
