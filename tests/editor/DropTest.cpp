// Drops and hovers on the name labels and the drop button.
#include <gtest/gtest.h>

#include "tests/editor/ControlHarness.h"
#include "tests/gui/TestSupport.h"

namespace rimbrel::testing {
namespace {

class Drops : public ::testing::Test {
protected:
    void SetUp() override {
        auto png = gui::testing::makeBandsPng(248, 54, {CColor(0, 80, 0), CColor(0, 220, 0)});
        dropBitmap = new CBitmap(png.data(), png.size());
        dropButton = new CMyDragButton(CRect(8, 11, 256, 65), &w.editor, 197, dropBitmap);
        w.frame->addView(dropButton);
    }
    void TearDown() override {
        dropBitmap->forget();
        for (auto* d : containers)
            d->forget();
    }
    CItemDragContainer* files(std::vector<std::string> paths) {
        containers.push_back(CItemDragContainer::fromPaths(paths));
        return containers.back();
    }

    LabelWindow w;
    CBitmap* dropBitmap = nullptr;
    CMyDragButton* dropButton = nullptr;
    std::vector<CItemDragContainer*> containers;
    std::vector<DragReport>& drags = w.editor.drags;
};

TEST_F(Drops, DropOnALabelReachesTheListenerFollowedByALeave) {
    auto* drag = files({"/samples/kick.wav", "/samples/snare.wav"});
    const CPoint p = w.centre(7);
    EXPECT_EQ(w.platform->dragEnter(drag, p.x, p.y), DragOperation::Copy);
    EXPECT_EQ(w.platform->cursor(), kCursorCopy);
    w.labels[7]->dropHighlight = true;  // as the editor's hover handling would
    w.platform->dragMove(drag, p.x + 5, p.y);
    EXPECT_TRUE(w.platform->drop(drag, p.x + 5, p.y));
    EXPECT_FALSE(w.labels[7]->dropHighlight);

    ASSERT_EQ(drags.size(), 3u);
    EXPECT_EQ(drags[0].what, "enter");
    EXPECT_EQ(drags[0].tag, 58);
    EXPECT_EQ(drags[1].what, "drop");
    EXPECT_EQ(drags[1].reserved, 0);
    EXPECT_EQ(drags[1].items, (std::vector<std::string>{"/samples/kick.wav", "/samples/snare.wav"}));
    EXPECT_EQ(drags[2].what, "leave");
    EXPECT_EQ(w.platform->cursor(), kCursorCopy);  // the drag still holds items
}

TEST_F(Drops, HoverMovesFromLabelToLabelAndLeavesTheWindow) {
    auto* drag = files({"/samples/kick.wav"});
    w.platform->dragEnter(drag, 120, labelTop(0) + 5);
    w.platform->dragMove(drag, 120, labelTop(1) + 5);
    w.platform->dragMove(drag, 120, labelTop(1) + 19);  // the gap between labels
    w.platform->dragLeave(drag, -1, -1);
    ASSERT_EQ(drags.size(), 4u);
    EXPECT_EQ(drags[0].what + std::to_string(drags[0].tag), "enter51");
    EXPECT_EQ(drags[1].what + std::to_string(drags[1].tag), "leave51");
    EXPECT_EQ(drags[2].what + std::to_string(drags[2].tag), "enter52");
    EXPECT_EQ(drags[3].what + std::to_string(drags[3].tag), "leave52");
}

TEST_F(Drops, ALeaveOfAnEmptyDragRestoresTheDefaultCursor) {
    containers.push_back(new CItemDragContainer);
    auto* empty = containers.back();
    w.platform->dragEnter(empty, 120, labelTop(2) + 5);
    EXPECT_EQ(w.platform->cursor(), kCursorCopy);
    w.platform->dragLeave(empty, 120, labelTop(2) + 5);
    EXPECT_EQ(w.platform->cursor(), kCursorDefault);

    w.platform->dragEnter(empty, 100, 30);
    w.platform->dragLeave(empty, 100, 30);
    EXPECT_EQ(w.platform->cursor(), kCursorDefault);
}

TEST_F(Drops, ADragWhoseFirstItemIsUnusableIsRefusedByBothControls) {
    for (int32_t badType : {int32_t(CDragContainer::kUnknown), int32_t(CDragContainer::kError), int32_t(-7)}) {
        containers.push_back(new CItemDragContainer);
        auto* drag = containers.back();
        drag->addItem(badType, "");
        drag->addFile("/samples/kick.wav");
        drags.clear();
        w.labels[4]->dropHighlight = true;
        dropButton->dropHighlight = true;
        EXPECT_FALSE(w.platform->drop(drag, 120, labelTop(4) + 5));
        EXPECT_FALSE(w.platform->drop(drag, 100, 30));
        for (const auto& d : drags)
            EXPECT_NE(d.what, "drop");
        EXPECT_TRUE(w.labels[4]->dropHighlight);
        EXPECT_TRUE(dropButton->dropHighlight);
    }
    // An empty container has no usable first item either.
    containers.push_back(new CItemDragContainer);
    EXPECT_FALSE(w.platform->drop(containers.back(), 100, 30));
    // A text item is usable: what to do with it is the listener's business.
    containers.push_back(new CItemDragContainer);
    containers.back()->addItem(CDragContainer::kText, "hello");
    drags.clear();
    EXPECT_TRUE(w.platform->drop(containers.back(), 100, 30));
    EXPECT_EQ(drags[0].what, "drop");
}

TEST_F(Drops, DropButtonLightsUpWhileTheListenerSaysSoAndTakesNoClicks) {
    auto* drag = files({"/samples/folder"});
    w.platform->render();
    EXPECT_EQ(w.platform->pixel(100, 30), CColor(0, 80, 0));

    w.platform->resetInvalidCount();
    w.platform->dragEnter(drag, 100, 30);
    EXPECT_EQ(w.platform->pendingInvalid(), CRect(8, 11, 256, 65));
    dropButton->dropHighlight = true;  // as the editor's hover handling does
    w.platform->renderInvalid();
    EXPECT_EQ(w.platform->pixel(100, 30), CColor(0, 220, 0));
    EXPECT_FALSE(dropButton->isDirty());

    EXPECT_TRUE(w.platform->drop(drag, 100, 30));
    EXPECT_FALSE(dropButton->dropHighlight);
    ASSERT_EQ(drags.size(), 3u);
    EXPECT_EQ(drags[1].what, "drop");
    EXPECT_EQ(drags[1].tag, 197);
    EXPECT_EQ(drags[2].what, "leave");
    EXPECT_FALSE(w.platform->pendingInvalid().isEmpty());  // the leave repaints it
    w.platform->renderInvalid();
    EXPECT_EQ(w.platform->pixel(100, 30), CColor(0, 80, 0));

    w.platform->click(100, 30);
    w.platform->click(100, 30, kLButton | kShift);
    EXPECT_TRUE(w.editor.values.empty());
}

TEST_F(Drops, DropButtonCopiesItsHighlightAndAnswersItsType) {
    dropButton->dropHighlight = true;
    CView* copy = dropButton->newCopy();
    auto* button = dynamic_cast<CMyDragButton*>(copy);
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->dropHighlight);
    EXPECT_EQ(button->getTag(), 197);
    EXPECT_EQ(button->getFrame(), nullptr);
    EXPECT_TRUE(button->isTypeOf("CMyDragButton"));
    EXPECT_TRUE(button->isTypeOf("CControl"));
    EXPECT_FALSE(w.labels[0]->isTypeOf("CMyDragButton"));
    EXPECT_TRUE(w.labels[0]->isTypeOf("CParamDisplay"));
    copy->forget();
}

TEST_F(Drops, SetTextKeepsACopyAndSkipsRedrawingTheSameText) {
    CMyTextLabel* label = w.labels[9];
    EXPECT_STREQ(label->getText(), "");
    std::string name = " Kick";
    label->setText(name.c_str());
    name[1] = 'X';
    EXPECT_STREQ(label->getText(), " Kick");
    w.platform->renderInvalid();
    w.platform->resetInvalidCount();
    label->setText(" Kick");
    EXPECT_EQ(w.platform->invalidCount(), 0);
    EXPECT_FALSE(label->isDirty());
    label->setText(nullptr);
    EXPECT_STREQ(label->getText(), "");
    EXPECT_EQ(w.platform->invalidCount(), 1);

    CMyTextLabel fresh(CRect(0, 0, 10, 10), nullptr, 51, "    ", nullptr, 0);
    EXPECT_STREQ(fresh.getText(), "    ");
    EXPECT_EQ(fresh.dragState, -1);
    EXPECT_EQ(fresh.dropTarget, -1);
    EXPECT_FALSE(fresh.dropHighlight);
    EXPECT_EQ(fresh.highlightPhase, 0);
    EXPECT_EQ(fresh.displayMode, 0);
    EXPECT_FLOAT_EQ(fresh.barValue, 0.f);
    EXPECT_FALSE(fresh.hasName);
    EXPECT_EQ(fresh.getTag(), 51);
}

}  // namespace
}  // namespace rimbrel::testing
