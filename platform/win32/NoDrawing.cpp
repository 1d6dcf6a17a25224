// The drawing seam for a Windows build without its window platform: the
// editor's bitmaps are made, but no window ever opens to draw them, so none
// decodes.
#include "platform/Drawing.h"

namespace rimbrel::gui {

std::unique_ptr<IPlatformImage> decodePngImage(const unsigned char*, std::size_t) { return nullptr; }
std::unique_ptr<IPlatformImage> createBlankImage(int, int) { return nullptr; }

}  // namespace rimbrel::gui
