// The stock controls as a user's mouse meets them.
#include <gtest/gtest.h>

#include "platform/headless/HeadlessPlatform.h"
#include "tests/gui/TestSupport.h"

namespace rimbrel::gui {
namespace {

using headless::HeadlessEnvironment;
using headless::HeadlessFrame;

struct Report {
    int32_t tag;
    float value;
    CButtonState buttons;
};

class RecordingListener : public CControlListener {
public:
    void valueChanged(CControl* control) override {
        CButtonState buttons;
        if (auto* kick = dynamic_cast<CKickButton*>(control))
            buttons = kick->getLastButtonState();
        reports.push_back({control->getTag(), control->getValue(), buttons});
    }
    void HandleMouseEntered(CControl* control) override { ++entered; }
    void HandleMouseExited(CControl* control) override { ++exited; }
    std::vector<Report> reports;
    int entered = 0;
    int exited = 0;
};

class StockControls : public ::testing::Test {
protected:
    void SetUp() override {
        frame = new CFrame(CRect(0, 0, 540, 786), nullptr, nullptr);
        platform = env.currentFrame();
    }
    void TearDown() override { frame->forget(); }

    HeadlessEnvironment env;
    CFrame* frame = nullptr;
    HeadlessFrame* platform = nullptr;
    RecordingListener listener;
};

TEST_F(StockControls, KickButtonReportsOneThenZeroOnReleaseInsideAndKeepsTheButtons) {
    auto png = testing::makeBandsPng(237, 29, {CColor(10, 10, 10), CColor(200, 200, 200)});
    auto* bitmap = new CBitmap(png.data(), png.size());
    auto* kick = new CKickButton(CRect(14, 73, 251, 102), &listener, 195, bitmap);
    bitmap->forget();
    frame->addView(kick);

    platform->mouseDown(20, 80, kLButton | kShift);
    EXPECT_TRUE(listener.reports.empty());
    EXPECT_FLOAT_EQ(kick->getValue(), 1.f);
    platform->render();
    EXPECT_EQ(platform->pixel(100, 90), CColor(200, 200, 200));  // pressed image
    platform->mouseUp(20, 80, kLButton | kShift);
    ASSERT_EQ(listener.reports.size(), 2u);
    EXPECT_FLOAT_EQ(listener.reports[0].value, 1.f);
    EXPECT_EQ(listener.reports[0].buttons, CButtonState(kLButton | kShift));
    EXPECT_FLOAT_EQ(listener.reports[1].value, 0.f);
    EXPECT_EQ(kick->getLastButtonState(), CButtonState(kLButton | kShift));
    platform->render();
    EXPECT_EQ(platform->pixel(100, 90), CColor(10, 10, 10));

    // Dragged out before the release: only the reset is reported.
    listener.reports.clear();
    platform->mouseDown(20, 80);
    platform->mouseMove(300, 300, kLButton);
    EXPECT_FLOAT_EQ(kick->getValue(), 0.f);
    platform->mouseUp(300, 300);
    ASSERT_EQ(listener.reports.size(), 1u);
    EXPECT_FLOAT_EQ(listener.reports[0].value, 0.f);
    EXPECT_EQ(kick->getLastButtonState(), CButtonState(kLButton));

    // The right button does nothing.
    listener.reports.clear();
    platform->click(20, 80, kRButton);
    EXPECT_TRUE(listener.reports.empty());
}

TEST_F(StockControls, OnOffButtonTogglesAtEachPressAndDrawsNothingWithoutBitmap) {
    auto* button = new COnOffButton(CRect(277, 151, 357, 192), &listener, 75);
    frame->addView(button);
    EXPECT_EQ(platform->mouseDown(300, 160), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    platform->mouseUp(300, 160);
    platform->click(300, 160);
    ASSERT_EQ(listener.reports.size(), 2u);
    EXPECT_FLOAT_EQ(listener.reports[0].value, 1.f);
    EXPECT_FLOAT_EQ(listener.reports[1].value, 0.f);
    EXPECT_EQ(listener.reports[0].tag, 75);
    platform->render();
    EXPECT_EQ(platform->pixel(300, 160).alpha, 0);
}

TEST_F(StockControls, HorizontalSwitchPicksThePositionUnderTheMouse) {
    std::vector<CColor> bands = {CColor(0, 0, 0), CColor(50, 0, 0), CColor(100, 0, 0), CColor(150, 0, 0),
                                 CColor(200, 0, 0)};
    auto png = testing::makeBandsPng(232, 37, bands);
    auto* bitmap = new CBitmap(png.data(), png.size());
    auto* sw = new CHorizontalSwitch(CRect(16, 113, 248, 150), &listener, 198, 5, 37, 5, bitmap);
    bitmap->forget();
    frame->addView(sw);

    // Fifths of 232 pixels: 46.4 each.
    platform->click(16 + 46.4 * 2 + 1, 120);
    ASSERT_EQ(listener.reports.size(), 1u);
    EXPECT_FLOAT_EQ(listener.reports[0].value, 0.5f);
    EXPECT_EQ(sw->getPosition(), 2);
    platform->render();
    EXPECT_EQ(platform->pixel(30, 130), bands[2]);

    // Dragging across reports each new position once; past the end clamps.
    listener.reports.clear();
    platform->mouseDown(16 + 46.4 * 2 + 5, 120);
    platform->mouseMove(16 + 46.4 * 3 + 1, 120, kLButton);
    platform->mouseMove(16 + 46.4 * 3 + 9, 120, kLButton);
    platform->mouseMove(1000, 120, kLButton);
    platform->mouseMove(-50, 120, kLButton);
    platform->mouseUp(-50, 120);
    ASSERT_EQ(listener.reports.size(), 3u);
    EXPECT_FLOAT_EQ(listener.reports[0].value, 0.75f);
    EXPECT_FLOAT_EQ(listener.reports[1].value, 1.f);
    EXPECT_FLOAT_EQ(listener.reports[2].value, 0.f);

    platform->click(247, 120);
    EXPECT_FLOAT_EQ(sw->getValue(), 1.f);
    platform->render();
    EXPECT_EQ(platform->pixel(30, 130), bands[4]);
}

TEST_F(StockControls, ControlsTellTheListenerWhenTheMouseEntersAndLeaves) {
    frame->addView(new COnOffButton(CRect(0, 0, 50, 50), &listener, 1));
    platform->mouseMove(10, 10);
    platform->mouseMove(100, 100);
    EXPECT_EQ(listener.entered, 1);
    EXPECT_EQ(listener.exited, 1);
}

TEST_F(StockControls, TextLabelKeepsItsOwnCopyAndRedrawsOnlyOnChange) {
    auto* label = new CTextLabel(CRect(210, 160, 244, 176), nullptr);
    frame->addView(label);
    EXPECT_STREQ(label->getText(), "");
    char buffer[16] = "1.25";
    label->setText(buffer);
    buffer[0] = '9';
    EXPECT_STREQ(label->getText(), "1.25");
    platform->renderInvalid();
    platform->resetInvalidCount();
    label->setText("1.25");
    EXPECT_EQ(platform->invalidCount(), 0);
    label->setText(nullptr);
    EXPECT_STREQ(label->getText(), "");
    EXPECT_EQ(platform->invalidCount(), 1);
}

// Where the ink of a label's text lies, as the leftmost and rightmost
// columns holding a pixel of the font colour.
std::pair<int, int> inkColumns(HeadlessFrame* platform, const CRect& r) {
    int first = -1;
    int last = -1;
    for (int x = static_cast<int>(r.left); x < static_cast<int>(r.right); ++x)
        for (int y = static_cast<int>(r.top); y < static_cast<int>(r.bottom); ++y)
            if (platform->pixel(x, y).alpha > 100) {
                if (first < 0)
                    first = x;
                last = x;
            }
    return {first, last};
}

TEST_F(StockControls, TextIsAlignedAndCentredInItsLabel) {
    const CRect r(100, 100, 300, 120);
    auto* label = new CTextLabel(r, "12.00");
    label->setStyle(kNoFrame);
    label->setBackColor(kTransparentCColor);
    label->setFontColor(kRedCColor);
    frame->addView(label);

    label->setHoriAlign(kLeftText);
    platform->render();
    auto [leftFirst, leftLast] = inkColumns(platform, r);
    ASSERT_GE(leftFirst, 0);
    EXPECT_LT(leftFirst, 104);
    EXPECT_GT(leftLast - leftFirst, 15);  // five glyphs of a 12-point font
    EXPECT_LT(leftLast - leftFirst, 40);

    label->setHoriAlign(kRightText);
    platform->render();
    auto [rightFirst, rightLast] = inkColumns(platform, r);
    EXPECT_GT(rightLast, 295);

    label->setHoriAlign(kCenterText);
    platform->render();
    auto [midFirst, midLast] = inkColumns(platform, r);
    EXPECT_NEAR((midFirst + midLast) / 2.0, 200, 3);

    // Vertically the ink sits in the middle rows of the label.
    int top = -1;
    int bottom = -1;
    for (int y = 100; y < 120; ++y)
        for (int x = midFirst; x <= midLast; ++x)
            if (platform->pixel(x, y).alpha > 100) {
                if (top < 0)
                    top = y;
                bottom = y;
            }
    EXPECT_NEAR((top + bottom) / 2.0, 110, 2.5);
    EXPECT_EQ(platform->pixel(midFirst + 1, 102).alpha, 0);
}

TEST_F(StockControls, ParamDisplayDrawsBackgroundAndFrameUnlessTold) {
    auto* framed = new CParamDisplay(CRect(0, 0, 40, 20));
    framed->setBackColor(CColor(0, 0, 200));
    framed->setFrameColor(CColor(0, 200, 0));
    framed->setStyle(kNoText);
    auto* noFrame = new CParamDisplay(CRect(50, 0, 90, 20), nullptr, kNoFrame | kNoText);
    noFrame->setBackColor(CColor(0, 0, 200));
    noFrame->setFrameColor(CColor(0, 200, 0));
    frame->addView(framed);
    frame->addView(noFrame);
    platform->render();
    EXPECT_EQ(platform->pixel(0, 0), CColor(0, 200, 0));
    EXPECT_EQ(platform->pixel(39, 19), CColor(0, 200, 0));
    EXPECT_EQ(platform->pixel(20, 10), CColor(0, 0, 200));
    EXPECT_EQ(platform->pixel(50, 0), CColor(0, 0, 200));
    EXPECT_EQ(framed->isTypeOf("CParamDisplay"), true);
    EXPECT_EQ(framed->isTypeOf("CControl"), true);
    EXPECT_EQ(framed->isTypeOf("CTextLabel"), false);
}

}  // namespace
}  // namespace rimbrel::gui
