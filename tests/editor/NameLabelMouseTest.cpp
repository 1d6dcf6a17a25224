// Clicks, bar drags and Alt-drags on the key name labels, as a user's mouse
// makes them.
#include <gtest/gtest.h>

#include "tests/editor/ControlHarness.h"

namespace rimbrel::testing {
namespace {

class NameLabelMouse : public ::testing::Test {
protected:
    LabelWindow w;
    std::vector<ValueReport>& values = w.editor.values;

    void click(int key, CButtonState buttons) {
        const CPoint p = w.centre(key);
        w.platform->click(p.x, p.y, buttons);
    }
};

TEST_F(NameLabelMouse, ClickCodesInDurationMode) {
    struct Case {
        int32_t buttons;
        float code;
    };
    const Case cases[] = {
        {kLButton, 1.0f},
        {kLButton | kControl, 2.1f},
        {kLButton | kControl | kShift, 3.1f},
        {kLButton | kControl | kAlt, 1.0f},  // neither Control alone nor Control+Shift
        {kLButton | kShift, 1.0f},
        {kLButton | kApple | kControl, 1.0f},
        {kLButton | kControl | kShift | kAlt, 1.0f},
    };
    for (const Case& c : cases) {
        values.clear();
        const CPoint p = w.centre(5);
        // A plain press keeps the mouse (it may become a drag); the release on
        // the label reports nothing more. Other presses want no further events.
        const bool plain = c.buttons == kLButton;
        const int32_t before = w.labels[5]->dragState;
        EXPECT_EQ(w.platform->mouseDown(p.x, p.y, c.buttons),
                  plain ? kMouseEventHandled : kMouseDownEventHandledButDontNeedMovedOrUpEvents);
        w.platform->mouseMove(p.x + 30, p.y, c.buttons);
        w.platform->mouseUp(p.x + 30, p.y, c.buttons);
        ASSERT_EQ(values.size(), 1u) << c.buttons;
        EXPECT_FLOAT_EQ(values[0].value, c.code) << c.buttons;
        EXPECT_EQ(values[0].tag, 56);
        EXPECT_EQ(w.labels[5]->dragState, plain ? 0 : before);  // only the plain press gets its release
    }
}

TEST_F(NameLabelMouse, OnlyTheLeftButtonCounts) {
    click(2, kRButton);
    click(2, kMButton | kControl);
    EXPECT_TRUE(values.empty());
}

TEST_F(NameLabelMouse, ClickCodesInValueModesAndTheirResetAtTheNextMove) {
    for (int mode = 1; mode <= 4; ++mode) {
        w.setMode(mode);
        values.clear();
        click(0, kLButton | kShift);
        click(0, kLButton | kControl);
        ASSERT_EQ(values.size(), 2u);
        EXPECT_FLOAT_EQ(values[0].value, 5.1f);
        EXPECT_FLOAT_EQ(values[1].value, 4.1f);
    }
    // A code above 4 is cleared by the next move over the label.
    EXPECT_FLOAT_EQ(w.labels[0]->getValue(), 4.1f);
    const CPoint p = w.centre(0);
    w.platform->mouseMove(p.x, p.y);
    EXPECT_FLOAT_EQ(w.labels[0]->getValue(), 0.f);
}

TEST_F(NameLabelMouse, BarFollowsTheMouseClampedAndReportsOnlyChanges) {
    w.setMode(4);
    CMyTextLabel* label = w.labels[3];
    label->barValue = 0.5f;
    label->dragState = 0;  // as after an earlier release
    const double y = labelTop(3) + 9;

    // A press at the left edge: 0.0, reported at once.
    EXPECT_EQ(w.platform->mouseDown(34, y), kMouseEventHandled);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_FLOAT_EQ(values[0].barValue, 0.f);
    EXPECT_EQ(values[0].tag, 54);
    EXPECT_LT(values[0].value, 4.f);

    w.platform->mouseMove(34 + 43, y + 100, kLButton);  // vertical position does not matter
    EXPECT_FLOAT_EQ(label->barValue, 0.25f);
    w.platform->mouseMove(34 + 43, y, kLButton);  // unchanged: no report
    w.platform->mouseMove(500, y, kLButton);      // past the right edge
    w.platform->mouseMove(900, y, kLButton);      // still 1.0: no report
    w.platform->mouseMove(-20, y, kLButton);      // past the left edge
    ASSERT_EQ(values.size(), 4u);
    EXPECT_FLOAT_EQ(values[1].barValue, 0.25f);
    EXPECT_FLOAT_EQ(values[2].barValue, 1.f);
    EXPECT_FLOAT_EQ(values[3].barValue, 0.f);

    // The release of an idle label reports nothing more.
    w.platform->mouseUp(-20, y);
    EXPECT_EQ(values.size(), 4u);
    EXPECT_EQ(label->dragState, 0);
    EXPECT_FLOAT_EQ(label->getValue(), 0.f);
}

TEST_F(NameLabelMouse, PressAtTheValueTheBarAlreadyHasReportsNothingUntilTheFirstRelease) {
    w.setMode(4);
    const double y = labelTop(0) + 9;
    w.platform->mouseDown(34, y);  // barValue already 0.0
    EXPECT_TRUE(values.empty());
    // The label's very first release is reported (dragState still -1 then).
    w.platform->mouseUp(34, y);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].dragState, -1);
    EXPECT_EQ(w.labels[0]->dragState, 0);
    // Later releases are not.
    w.platform->mouseDown(100, y);
    w.platform->mouseUp(100, y);
    EXPECT_EQ(values.size(), 2u);
}

TEST_F(NameLabelMouse, ModifiersOtherThanShiftOrControlAloneDragTheBar) {
    w.setMode(1);
    const double y = labelTop(7) + 9;
    w.platform->mouseDown(34 + 129, y, kLButton | kControl | kShift);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_FLOAT_EQ(values[0].barValue, 0.75f);
    w.platform->mouseMove(34 + 172, y, kLButton | kControl | kShift);
    EXPECT_FLOAT_EQ(w.labels[7]->barValue, 1.f);
}

TEST_F(NameLabelMouse, AltDragReportsTheKeyUnderTheMouseAtRelease) {
    const CPoint from = w.centre(3);
    EXPECT_EQ(w.platform->mouseDown(from.x, from.y, kLButton | kAlt), kMouseEventHandled);
    EXPECT_TRUE(values.empty());
    EXPECT_EQ(w.labels[3]->dragState, 1);
    EXPECT_EQ(w.platform->cursor(), kCursorDefault);

    const CPoint to = w.centre(9);
    w.platform->mouseMove(to.x, to.y, kLButton | kAlt);
    EXPECT_EQ(w.labels[3]->dropTarget, 9);
    EXPECT_EQ(w.platform->cursor(), kCursorHand);
    w.platform->mouseUp(to.x, to.y, kLButton);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].tag, 54);
    EXPECT_EQ(values[0].dragState, 1);
    EXPECT_EQ(values[0].dropTarget, 9);
    EXPECT_FLOAT_EQ(values[0].value, 1.0f);
    EXPECT_EQ(w.labels[3]->dragState, 0);
    EXPECT_EQ(w.labels[3]->dropTarget, -1);
    EXPECT_FLOAT_EQ(w.labels[3]->getValue(), 0.f);
}

TEST_F(NameLabelMouse, AltDragOverItsOwnLabelOrOutsideAllReportsNoTarget) {
    const CPoint from = w.centre(3);
    w.platform->mouseDown(from.x, from.y, kLButton | kAlt);
    w.platform->mouseMove(from.x, labelTop(3), kLButton);  // own top edge
    EXPECT_EQ(w.labels[3]->dropTarget, -1);
    w.platform->mouseMove(from.x, labelTop(3) + 18, kLButton);  // own bottom edge, included
    EXPECT_EQ(w.labels[3]->dropTarget, -1);
    w.platform->mouseUp(from.x, from.y + 4);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].dropTarget, -1);

    values.clear();
    w.platform->mouseDown(from.x, from.y, kLButton | kAlt);
    w.platform->mouseMove(from.x, labelTop(9) + 2, kLButton);
    EXPECT_EQ(w.platform->cursor(), kCursorHand);
    w.platform->mouseMove(300, labelTop(9) + 2, kLButton);  // right of every label
    EXPECT_EQ(w.platform->cursor(), kCursorDefault);
    w.platform->mouseMove(120, labelTop(0) - 1, kLButton);  // above the first
    w.platform->mouseUp(120, labelTop(0) - 1);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].dropTarget, -1);
    EXPECT_EQ(values[0].dragState, 1);
}

TEST_F(NameLabelMouse, AltDragTargetsTheSecondOctaveByItsTruncatedTops) {
    // The second octave's target rectangles start 284 pixels below the first
    // (its labels lie at 444.99999997): a point at y 444.5 is already key 12.
    const CPoint from = w.centre(0);
    w.platform->mouseDown(from.x, from.y, kLButton | kAlt);
    w.platform->mouseMove(40, 444.5, kLButton);
    EXPECT_EQ(w.labels[0]->dropTarget, 12);
    w.platform->mouseMove(40, 443.5, kLButton);  // the gap above
    EXPECT_EQ(w.labels[0]->dropTarget, -1);
    w.platform->mouseMove(34, 160 + 284 + 244 + 18, kLButton);  // key 23, bottom-left corner
    EXPECT_EQ(w.labels[0]->dropTarget, 23);
    w.platform->mouseMove(206, 160 + 20, kLButton);  // key 1, right edge
    EXPECT_EQ(w.labels[0]->dropTarget, 1);
    w.platform->mouseMove(206.5, 160 + 20, kLButton);
    EXPECT_EQ(w.labels[0]->dropTarget, -1);
    w.platform->mouseUp(206.5, 180);

    // The computed rectangles follow this label's own size.
    CMyTextLabel wide(CRect(0, 0, 300, 30), nullptr, 51, nullptr, nullptr, 0);
    EXPECT_EQ(wide.labelRect(12), CRect(34, 444, 334, 474));
    EXPECT_EQ(wide.labelRect(11), CRect(34, 404, 334, 434));
}

TEST_F(NameLabelMouse, PlainDragLeavingTheNameTargetsAndHighlightsTheNameUnderTheMouse) {
    const CPoint from = w.centre(3);
    w.platform->mouseDown(from.x, from.y);
    ASSERT_EQ(values.size(), 1u);  // the press auditions, as a click does
    EXPECT_FLOAT_EQ(values[0].value, 1.0f);
    w.platform->mouseMove(from.x + 40, from.y + 5, kLButton);  // still on its own name
    EXPECT_LT(w.labels[3]->dragState, 1);
    EXPECT_FALSE(w.labels[3]->isHighlighted());

    w.platform->mouseMove(from.x, labelTop(9) + 9, kLButton);
    EXPECT_EQ(w.labels[3]->dragState, 1);
    EXPECT_EQ(w.labels[3]->dropTarget, 9);
    EXPECT_TRUE(w.labels[9]->exchangeHighlight);
    EXPECT_EQ(w.platform->cursor(), kCursorHand);
    w.platform->mouseMove(from.x, labelTop(10) + 9, kLButton);  // the highlight follows
    EXPECT_FALSE(w.labels[9]->exchangeHighlight);
    EXPECT_TRUE(w.labels[10]->exchangeHighlight);

    w.platform->mouseUp(from.x, labelTop(10) + 9);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[1].tag, 54);
    EXPECT_EQ(values[1].dragState, 1);
    EXPECT_EQ(values[1].dropTarget, 10);
    for (int k = 0; k < 24; ++k)
        EXPECT_FALSE(w.labels[k]->isHighlighted()) << k;
}

TEST_F(NameLabelMouse, EveryDragEndsWithItsNamesDrawnPlainAgain) {
    // Released on its own name, beside every name, or on another name: the
    // dragged name and the target lose their pulse on screen too.
    const CPoint from = w.centre(3);
    const double y3 = from.y;
    w.platform->render();
    const CColor idle = w.platform->pixel(100, int(y3));
    const CColor idleTarget = w.platform->pixel(100, int(labelTop(9) + 9));
    struct Case {
        CButtonState buttons;
        CPoint release;
    };
    const Case cases[] = {
        {kLButton | kAlt, CPoint(300, labelTop(9) + 9)},
        {kLButton, CPoint(300, labelTop(9) + 9)},
        {kLButton | kAlt, from},
        {kLButton, from},
        {kLButton, CPoint(120, labelTop(9) + 9)},
    };
    for (const Case& c : cases) {
        w.platform->mouseDown(from.x, from.y, c.buttons);
        w.platform->mouseMove(120, labelTop(9) + 9, c.buttons);
        w.platform->renderInvalid();
        EXPECT_FALSE(colourNear(w.platform->pixel(100, int(y3)), idle)) << "no pulse while dragged";
        EXPECT_FALSE(colourNear(w.platform->pixel(100, int(labelTop(9) + 9)), idleTarget));
        w.platform->mouseMove(c.release.x, c.release.y, c.buttons);
        w.platform->renderInvalid();  // the window repaints before the release comes
        w.platform->mouseUp(c.release.x, c.release.y, c.buttons);
        w.platform->renderInvalid();
        EXPECT_TRUE(colourNear(w.platform->pixel(100, int(y3)), idle)) << c.release.x << "," << c.release.y;
        EXPECT_TRUE(colourNear(w.platform->pixel(100, int(labelTop(9) + 9)), idleTarget));
        for (int k = 0; k < 24; ++k)
            EXPECT_FALSE(w.labels[k]->isHighlighted()) << k;
    }
}

TEST_F(NameLabelMouse, PlainMovesWithoutButtonAreHandledQuietly) {
    const CPoint p = w.centre(4);
    EXPECT_EQ(w.platform->mouseMove(p.x, p.y), kMouseEventHandled);
    EXPECT_TRUE(values.empty());
    EXPECT_EQ(w.labels[4]->dropTarget, -1);
}

}  // namespace
}  // namespace rimbrel::testing
