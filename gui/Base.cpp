#include "gui/Base.h"

#include <cstring>

#include "gui/Font.h"

namespace rimbrel::gui {

const char* const kMsgTimer = "timer fired";
const char* const kMsgNewFileSelectorSelectEnd = "CNewFileSelector Select End Message";

bool isMessage(const char* message, const char* expected) {
    if (message == expected)
        return true;
    return message && expected && std::strcmp(message, expected) == 0;
}

namespace {
CFontDesc normalFont("Arial", 12, kNormalFace);
CFontDesc normalFontSmall("Arial", 11, kNormalFace);
CFontDesc normalFontBig("Arial", 14, kNormalFace);
}  // namespace

CFontRef const kNormalFont = &normalFont;
CFontRef const kNormalFontSmall = &normalFontSmall;
CFontRef const kNormalFontBig = &normalFontBig;

}  // namespace rimbrel::gui
