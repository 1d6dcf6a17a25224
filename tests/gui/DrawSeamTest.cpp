// The toolkit draws only through the platform's graphics: a graphics that
// records every call stands in for the platform while a frame paints.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/gui/TestSupport.h"

namespace rimbrel::gui {
namespace {

std::string rect(const CRect& r) {
    char text[96];
    std::snprintf(text, sizeof text, "%g,%g,%g,%g", r.left, r.top, r.right, r.bottom);
    return text;
}

class RecordingGraphics : public IPlatformGraphics {
public:
    std::vector<std::string> calls;
    int depth = 0;
    bool unbalanced = false;

    void fillRect(const CRect& r, const CColor&) override { calls.push_back("fillRect " + rect(r)); }
    void strokeRect(const CRect& r, const CColor&, CCoord w) override {
        calls.push_back("strokeRect " + rect(r) + " w" + std::to_string(static_cast<int>(w)));
    }
    void fillEllipse(const CRect& r, const CColor&) override { calls.push_back("fillEllipse " + rect(r)); }
    void strokeEllipse(const CRect& r, const CColor&, CCoord) override { calls.push_back("strokeEllipse " + rect(r)); }
    void drawLine(const CPoint&, const CPoint&, const CColor&, CCoord) override { calls.push_back("drawLine"); }
    PlatformFontExtents getFontExtents(const PlatformFont&) override { return {9, 3}; }
    CCoord getTextWidth(const char* text, const PlatformFont&) override { return 6.0 * std::string(text).size(); }
    void drawText(const char* text, const CPoint& at, const PlatformFont& font, const CColor&) override {
        calls.push_back(std::string("drawText ") + text + " at " + std::to_string(static_cast<int>(at.x)) + "," +
                        std::to_string(static_cast<int>(at.y)) + " " + font.family);
    }
    void drawImage(const IPlatformImage& image, const CRect& dest, const CPoint&, float alpha) override {
        calls.push_back("drawImage " + std::to_string(image.getWidth()) + " into " + rect(dest) + " alpha " +
                        std::to_string(alpha).substr(0, 3));
    }
    void saveState() override { ++depth; }
    void restoreState() override {
        if (--depth < 0)
            unbalanced = true;
    }
    void clipRect(const CRect& r) override { calls.push_back("clip " + rect(r)); }
};

TEST(DrawSeam, AFramePaintsItsBackgroundAndViewsThroughThePlatformGraphics) {
    const auto png = testing::makeBandsPng(40, 10, {kRedCColor, kBlueCColor});
    auto* background = new CBitmap(png.data(), png.size());
    CFrame frame(CRect(0, 0, 40, 20));
    frame.setBackground(background);
    background->forget();
    // A file name as the file system may hold it: not valid UTF-8.
    auto* label = new CTextLabel(CRect(2, 4, 38, 16), "kick\xff.wav", nullptr, kNoFrame);
    label->setHoriAlign(kLeftText);
    frame.addView(label);

    RecordingGraphics graphics;
    frame.platformDrawRect(graphics, CRect(0, 0, 40, 20));

    EXPECT_EQ(graphics.calls, (std::vector<std::string>{
                                  "clip 0,0,40,20",
                                  "drawImage 40 into 0,0,40,20 alpha 1.0",
                                  "clip 2,4,38,16",
                                  "fillRect 2,4,38,16",
                                  "clip 2,4,38,16",
                                  "drawText kick\xEF\xBF\xBD.wav at 2,13 Arial",
                              }));
    EXPECT_EQ(graphics.depth, 0);
    EXPECT_FALSE(graphics.unbalanced);
}

TEST(DrawSeam, OutlinesEllipsesAndBitmapsReachTheGraphicsAsTheContextPromises) {
    RecordingGraphics graphics;
    const auto png = testing::makeBandsPng(8, 8, {kRedCColor});
    auto* bitmap = new CBitmap(png.data(), png.size());
    {
        CDrawContext context(graphics);
        context.setLineWidth(2);
        context.drawRect(CRect(0, 0, 10, 10), kDrawStroked);            // the outline lies inside
        context.drawEllipse(CRect(5, 5, 5, 9), kDrawFilledAndStroked);  // empty: nothing
        context.drawEllipse(CRect(0, 0, 10, 6), kDrawFilledAndStroked);
        context.drawBitmap(bitmap, CRect(1, 1, 5, 5), CPoint(), 7.f);
        context.drawBitmap(bitmap, CRect(1, 1, 5, 5), CPoint(), -1.f);
        context.drawBitmap(bitmap, CRect(3, 3, 3, 9));  // empty: nothing
        context.drawString("", CRect(0, 0, 10, 10));
        EXPECT_EQ(context.getStringWidth("ab"), 12);
    }
    bitmap->forget();
    EXPECT_EQ(graphics.calls, (std::vector<std::string>{
                                  "strokeRect 1,1,9,9 w2",
                                  "fillEllipse 0,0,10,6",
                                  "strokeEllipse 1,1,9,5",
                                  "drawImage 8 into 1,1,5,5 alpha 1.0",
                                  "drawImage 8 into 1,1,5,5 alpha 0.0",
                              }));
}

}  // namespace
}  // namespace rimbrel::gui
