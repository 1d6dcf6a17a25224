#include "gui/Bitmap.h"

#include "gui/DrawContext.h"
#include "resources/Resources.h"

namespace rimbrel::gui {

CBitmap::CBitmap(int id) : resourceId(id) {
    const ResourceData res = findResource(id);
    if (res.bytes && res.size > 0)
        adopt(decodePngImage(res.bytes, res.size));
}

CBitmap::CBitmap(const unsigned char* pngBytes, std::size_t byteCount) {
    if (pngBytes && byteCount > 0)
        adopt(decodePngImage(pngBytes, byteCount));
}

CBitmap::CBitmap(CCoord w, CCoord h) {
    if (w > 0 && h > 0)
        adopt(createBlankImage(static_cast<int>(w), static_cast<int>(h)));
}

CBitmap::~CBitmap() = default;

void CBitmap::adopt(std::unique_ptr<IPlatformImage> decoded) {
    if (!decoded)
        return;
    image = std::move(decoded);
    width = image->getWidth();
    height = image->getHeight();
}

void CBitmap::draw(CDrawContext* context, const CRect& dest, const CPoint& offset, float alpha) {
    if (context)
        context->drawBitmap(this, dest, offset, alpha);
}

}  // namespace rimbrel::gui
