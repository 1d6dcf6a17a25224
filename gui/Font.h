// Font descriptions. Drawing asks cairo's font API for the family by name;
// fontconfig picks the face (Arial resolves to a metric-compatible sans).
#pragma once

#include <string>

#include "gui/Base.h"

namespace rimbrel::gui {

enum CTxtFace {
    kNormalFace = 0,
    kBoldFace = 1 << 1,
    kItalicFace = 1 << 2,
};

class CFontDesc : public CBaseObject {
public:
    CFontDesc(const char* name = "Arial", CCoord size = 12, int32_t style = kNormalFace)
        : fontName(name ? name : ""), fontSize(size), fontStyle(style)
    {
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
