#include "gui/DrawContext.h"

#include <algorithm>
#include <string>

#include "gui/Bitmap.h"

namespace rimbrel::gui {

namespace {
// The platform takes text as UTF-8 (a drawing library may even stop drawing
// altogether after a string that is not valid UTF-8). Texts here include
// file names, which are whatever bytes the file system holds: every byte that
// does not begin a well-formed sequence is shown as U+FFFD instead.
std::size_t utf8SequenceLength(const unsigned char* p) {
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    auto cont = [&](int i) { return (p[i] & 0xC0) == 0x80; };
    if (c >= 0xC2 && c <= 0xDF)
        return cont(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!cont(1) || !cont(2))
            return 0;
        if (c == 0xE0 && p[1] < 0xA0)
            return 0;  // overlong
        if (c == 0xED && p[1] > 0x9F)
            return 0;  // surrogates
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3))
            return 0;
        if (c == 0xF0 && p[1] < 0x90)
            return 0;  // overlong
        if (c == 0xF4 && p[1] > 0x8F)
            return 0;  // beyond U+10FFFF
        return 4;
    }
    return 0;
}

// `text` itself when it is valid UTF-8, else a repaired copy in `repaired`.
// (A continuation test stops at the terminating zero, which is no
// continuation byte, so no read goes past the end.)
const char* validUtf8(const char* text, std::string& repaired) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    std::size_t i = 0;
    while (p[i]) {
        const std::size_t n = utf8SequenceLength(p + i);
        if (n == 0)
            break;
        i += n;
    }
    if (!p[i])
        return text;
    repaired.assign(text, i);
    while (p[i]) {
        const std::size_t n = utf8SequenceLength(p + i);
        if (n == 0) {
            repaired += "\xEF\xBF\xBD";
            ++i;
        } else {
            repaired.append(text + i, n);
            i += n;
        }
    }
    return repaired.c_str();
}

}  // namespace

CDrawContext::CDrawContext(IPlatformGraphics& g) : graphics(g), font(*kNormalFont) {}

void CDrawContext::setFont(const CFontDesc* f, CCoord fontSize, int32_t style) {
    if (!f)
        return;
    font = CFontDesc(f->getName(), fontSize > 0 ? fontSize : f->getSize(), style >= 0 ? style : f->getStyle());
}

PlatformFont CDrawContext::platformFont() const {
    return PlatformFont{font.getName(), font.getSize(), font.getStyle()};
}

void CDrawContext::drawRect(const CRect& r, CDrawStyle style) {
    if (style == kDrawFilled || style == kDrawFilledAndStroked)
        graphics.fillRect(r, fillColor);
    if (style == kDrawStroked || style == kDrawFilledAndStroked) {
        const CCoord half = lineWidth / 2;
        graphics.strokeRect(CRect(r.left + half, r.top + half, r.right - half, r.bottom - half), frameColor,
                            lineWidth);
    }
}

void CDrawContext::drawEllipse(const CRect& r, CDrawStyle style) {
    auto drawable = [](const CRect& e) { return e.getWidth() > 0 && e.getHeight() > 0; };
    if ((style == kDrawFilled || style == kDrawFilledAndStroked) && drawable(r))
        graphics.fillEllipse(r, fillColor);
    const CCoord half = lineWidth / 2;
    const CRect path(r.left + half, r.top + half, r.right - half, r.bottom - half);
    if ((style == kDrawStroked || style == kDrawFilledAndStroked) && drawable(path))
        graphics.strokeEllipse(path, frameColor, lineWidth);
}

void CDrawContext::drawLine(const CPoint& from, const CPoint& to) {
    graphics.drawLine(from, to, frameColor, lineWidth);
}

CCoord CDrawContext::getStringWidth(const char* text) {
    if (!text || !*text)
        return 0;
    std::string repaired;
    return graphics.getTextWidth(validUtf8(text, repaired), platformFont());
}

void CDrawContext::drawString(const char* text, const CRect& r, CHoriTxtAlign align) {
    if (!text || !*text || r.isEmpty())
        return;
    std::string repaired;
    text = validUtf8(text, repaired);
    const PlatformFont pf = platformFont();
    graphics.saveState();
    graphics.clipRect(r);
    const PlatformFontExtents fe = graphics.getFontExtents(pf);
    const CCoord width = graphics.getTextWidth(text, pf);
    CCoord x = r.left;
    if (align == kCenterText)
        x = r.left + (r.getWidth() - width) / 2;
    else if (align == kRightText)
        x = r.right - width;
    const CCoord y = r.top + (r.getHeight() + fe.ascent - fe.descent) / 2;
    graphics.drawText(text, CPoint(x, y), pf, fontColor);
    graphics.restoreState();
}

void CDrawContext::drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset, float alpha) {
    if (!bitmap || !bitmap->getPlatformImage() || dest.isEmpty())
        return;
    graphics.drawImage(*bitmap->getPlatformImage(), dest, offset, std::clamp(alpha, 0.f, 1.f));
}

void CDrawContext::saveState() {
    graphics.saveState();
}

void CDrawContext::restoreState() {
    graphics.restoreState();
}

void CDrawContext::clipRect(const CRect& r) {
    graphics.clipRect(r);
}

}  // namespace rimbrel::gui
