// Font descriptions. Drawing hands the family name to the platform, which
// picks the face (on Linux fontconfig resolves Arial to a metric-compatible
// sans). The style bits (CTxtFace) are the drawing seam's.
#pragma once

#include <string>

#include "gui/Base.h"
#include "platform/Drawing.h"

namespace rimbrel::gui {

class CFontDesc : public CBaseObject {
public:
    CFontDesc(const char* name = "Arial", CCoord size = 12, int32_t style = kNormalFace)
        : fontName(name ? name : ""), fontSize(size), fontStyle(style) {
    }
    const char* getName() const { return fontName.c_str(); }
    CCoord getSize() const { return fontSize; }
    int32_t getStyle() const { return fontStyle; }
    void setSize(CCoord s) { fontSize = s; }
    void setStyle(int32_t s) { fontStyle = s; }

private:
    std::string fontName;
    CCoord fontSize;
    int32_t fontStyle;
};

using CFontRef = CFontDesc*;

// The standard font: Arial 12, plain. Static objects, never released.
extern CFontRef const kNormalFont;
extern CFontRef const kNormalFontSmall;  // Arial 11
extern CFontRef const kNormalFontBig;    // Arial 14

}  // namespace rimbrel::gui
