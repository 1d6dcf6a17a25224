// What a name label looks like in each display mode, read back from pixels.
#include <gtest/gtest.h>

#include "tests/editor/ControlHarness.h"

namespace rimbrel::testing {
namespace {

constexpr CColor kDark{32, 32, 32, 255};
constexpr CColor kGrey{127, 127, 127, 255};
constexpr CColor kNothing{0, 0, 0, 0};

class NameLabelDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        label = w.labels[0];  // (34, 160, 206, 178): width 172
        label->hasName = true;
    }
    CColor at(double x) { return w.platform->pixel(static_cast<int>(x), 169); }
    void show(int mode, float value) {
        label->displayMode = mode;
        label->barValue = value;
        w.platform->render();
    }

    LabelWindow w;
    CMyTextLabel* label = nullptr;
};

TEST_F(NameLabelDrawing, PitchAndVolumeBarsAreSixPixelsWideAtTheValue) {
    show(1, 0.25f);  // centre 34 + 43 = 77
    EXPECT_TRUE(colourNear(at(76), CColor(60, 163, 189, 128)));
    EXPECT_TRUE(colourNear(at(77), CColor(60, 163, 189, 128)));
    EXPECT_TRUE(colourNear(at(74), kDark));  // bar outline
    EXPECT_TRUE(colourNear(at(79), kDark));
    EXPECT_TRUE(colourNear(at(72), kNothing));
    EXPECT_TRUE(colourNear(at(82), kNothing));
    EXPECT_TRUE(colourNear(at(34), kDark));  // label outline
    EXPECT_TRUE(colourNear(at(205), kDark));
    EXPECT_TRUE(colourNear(w.platform->pixel(77, 160), kDark));  // the bar spans the full height
    EXPECT_TRUE(colourNear(w.platform->pixel(77, 177), kDark));

    show(4, 0.5f);  // centre 120
    EXPECT_TRUE(colourNear(at(119), CColor(255, 58, 93, 138)));
    EXPECT_TRUE(colourNear(at(121), CColor(255, 58, 93, 138)));
    EXPECT_TRUE(colourNear(at(115), kNothing));
    EXPECT_TRUE(colourNear(at(125), kNothing));
}

TEST_F(NameLabelDrawing, PlayModeBarIsAThirdWideInTheMiddleAndTwoThirdsAtTheEnds) {
    const CColor fill(158, 158, 158, 98);
    show(2, 0.5f);  // 120 +/- 28.67
    EXPECT_TRUE(colourNear(at(93), fill));
    EXPECT_TRUE(colourNear(at(146), fill));
    EXPECT_TRUE(colourNear(at(89), kNothing));
    EXPECT_TRUE(colourNear(at(150), kNothing));

    show(2, 0.8f);  // still a third: 171.6 +/- 28.67
    EXPECT_TRUE(colourNear(at(145), fill));
    EXPECT_TRUE(colourNear(at(198), fill));
    EXPECT_TRUE(colourNear(at(141), kNothing));
    show(2, 0.81f);  // two thirds: 173.3 +/- 57.33
    EXPECT_TRUE(colourNear(at(120), fill));
    show(2, 0.19f);  // two thirds: 66.7 +/- 57.33
    EXPECT_TRUE(colourNear(at(120), fill));
    show(2, 0.2f);  // a third: 68.4 +/- 28.67
    EXPECT_TRUE(colourNear(at(120), kNothing));

    show(2, 0.0f);  // 34 +/- 57.33, drawn within the label only
    EXPECT_TRUE(colourNear(at(40), fill));
    EXPECT_TRUE(colourNear(at(88), fill));
    EXPECT_TRUE(colourNear(at(94), kNothing));
    EXPECT_TRUE(colourNear(w.platform->pixel(20, 169), kNothing));

    show(2, 1.0f);  // 206 -/+ 57.33
    EXPECT_TRUE(colourNear(at(151), fill));
    EXPECT_TRUE(colourNear(at(146), kNothing));
}

TEST_F(NameLabelDrawing, PanBarGrowsFromTheMiddleTowardsItsSide) {
    const CColor fill(60, 163, 189, 128);
    show(5, 0.25f);  // from 77 - 3 to the middle, 120, + 3
    EXPECT_TRUE(colourNear(at(80), fill));
    EXPECT_TRUE(colourNear(at(121), fill));
    EXPECT_TRUE(colourNear(at(71), kNothing));
    EXPECT_TRUE(colourNear(at(126), kNothing));
    show(5, 1.0f);  // from the middle to the right edge
    EXPECT_TRUE(colourNear(at(125), fill));
    EXPECT_TRUE(colourNear(at(200), fill));
    EXPECT_TRUE(colourNear(at(114), kNothing));
    show(5, 0.5f);  // centred: a mark as wide as volume's bar
    EXPECT_TRUE(colourNear(at(119), fill));
    EXPECT_TRUE(colourNear(at(121), fill));
    EXPECT_TRUE(colourNear(at(115), kNothing));
    EXPECT_TRUE(colourNear(at(125), kNothing));
}

TEST_F(NameLabelDrawing, DirectionBarCoversHalfTheLabelOnItsSide) {
    const CColor fill(158, 158, 158, 98);
    show(3, 1.0f);  // from 120 to beyond the right edge
    EXPECT_TRUE(colourNear(at(125), fill));
    EXPECT_TRUE(colourNear(at(200), fill));
    EXPECT_TRUE(colourNear(at(115), kNothing));
    show(3, 0.0f);
    EXPECT_TRUE(colourNear(at(40), fill));
    EXPECT_TRUE(colourNear(at(115), fill));
    EXPECT_TRUE(colourNear(at(125), kNothing));
}

TEST_F(NameLabelDrawing, DurationModeShowsWhiteTextAndNoBar) {
    label->setText(" Kick");
    show(0, 0.5f);
    bool white = false;
    for (int x = 34; x < 80; ++x)
        for (int y = 160; y < 178; ++y)
            if (w.platform->pixel(x, y) == kWhiteCColor)
                white = true;
    EXPECT_TRUE(white);
    EXPECT_TRUE(colourNear(at(120), kNothing));
    EXPECT_TRUE(colourNear(at(34), kNothing));  // no outline in this mode

    show(1, 0.9f);  // the text turns grey in value modes
    bool grey = false;
    for (int x = 34; x < 80; ++x)
        for (int y = 162; y < 176; ++y)
            if (w.platform->pixel(x, y) == kGrey)
                grey = true;
    EXPECT_TRUE(grey);
}

TEST_F(NameLabelDrawing, KeyWithoutNameIsADarkBoxWhateverItsTextAndMode) {
    label->setText(" Kick");
    label->hasName = false;
    for (int mode = 0; mode <= 4; ++mode) {
        show(mode, 0.5f);
        for (int x = 36; x < 80; ++x)
            EXPECT_EQ(w.platform->pixel(x, 168), kDark) << mode << " " << x;
        EXPECT_TRUE(colourNear(at(34), kGrey));
        EXPECT_TRUE(colourNear(at(205), kGrey));
        EXPECT_TRUE(colourNear(w.platform->pixel(120, 160), kGrey));
        EXPECT_TRUE(colourNear(at(120), kDark));  // no bar either
    }
}

TEST_F(NameLabelDrawing, HighlightPulsesFromDarkToBrightAndBackEveryEighteenDraws) {
    label->hasName = false;  // a dark box under the overlay
    label->dropHighlight = true;
    auto expected = [](int level) {
        // grey (level + 48) at alpha 128 over (32, 32, 32)
        return static_cast<int>(std::lround((level + 48) * 128 / 255.0 + 32 * (1 - 128 / 255.0)));
    };
    w.platform->render();
    EXPECT_EQ(label->highlightPhase, 24);
    EXPECT_NEAR(at(120).red, expected(24), 1);
    w.platform->render();
    EXPECT_NEAR(at(120).red, expected(48), 1);
    for (int i = 0; i < 7; ++i)
        w.platform->render();
    EXPECT_EQ(label->highlightPhase, 216);
    EXPECT_NEAR(at(120).red, expected(415 - 216), 1);  // the brightest: grey 247
    for (int i = 0; i < 8; ++i)
        w.platform->render();
    EXPECT_EQ(label->highlightPhase, 408);
    w.platform->render();
    EXPECT_EQ(label->highlightPhase, 0);
    EXPECT_TRUE(colourNear(at(120), CColor(static_cast<uint8_t>(expected(0)), static_cast<uint8_t>(expected(0)),
                                           static_cast<uint8_t>(expected(0)), 255)));

    // An Alt-drag pulses the same way; a label at rest does not.
    label->dropHighlight = false;
    label->dragState = 1;
    w.platform->render();
    EXPECT_EQ(label->highlightPhase, 24);
    label->dragState = 0;
    w.platform->render();
    EXPECT_EQ(label->highlightPhase, 24);
    EXPECT_TRUE(colourNear(at(120), kDark));
}

TEST_F(NameLabelDrawing, MarkedLabelsAreRepaintedAndThenClean) {
    w.platform->render();
    label->dropHighlight = true;
    label->invalid();
    EXPECT_TRUE(label->isDirty());
    w.env.pump();
    EXPECT_FALSE(label->isDirty());
    EXPECT_EQ(label->highlightPhase, 24);
    EXPECT_NE(at(120), kNothing);
    EXPECT_TRUE(w.platform->writePng("name_label_pulse.png"));
}

}  // namespace
}  // namespace rimbrel::testing
