// How the frame hands mouse, drag and key events to its views, keeps them
// alive and releases them.
#include <gtest/gtest.h>

#include "platform/headless/HeadlessPlatform.h"
#include "tests/gui/TestSupport.h"

namespace rimbrel::gui {
namespace {

using headless::HeadlessEnvironment;
using headless::HeadlessFrame;
using testing::RecordingView;
using Log = std::vector<std::string>;

class FrameDispatch : public ::testing::Test {
protected:
    void SetUp() override {
        frame = new CFrame(CRect(0, 0, 540, 786), nullptr, nullptr);
        platform = env.currentFrame();
        ASSERT_NE(platform, nullptr);
    }
    void TearDown() override {
        if (frame)
            frame->forget();
    }
    RecordingView* add(const CRect& r, const char* name, CMouseEventResult down = kMouseEventHandled) {
        auto* v = new RecordingView(r, name, log, down);
        frame->addView(v);
        return v;
    }

    HeadlessEnvironment env;
    CFrame* frame = nullptr;
    HeadlessFrame* platform = nullptr;
    Log log;
};

TEST_F(FrameDispatch, PressGoesToTopmostMouseEnabledViewAndIsCapturedUntilRelease) {
    add(CRect(0, 0, 100, 100), "below");
    add(CRect(50, 50, 150, 150), "above");
    auto* disabled = add(CRect(60, 60, 70, 70), "disabled");
    disabled->setMouseEnabled(false);

    EXPECT_EQ(platform->mouseDown(65, 65), kMouseEventHandled);
    EXPECT_EQ(frame->getMouseDownView()->getViewSize(), CRect(50, 50, 150, 150));
    // Captured: moves and the release reach the view even far outside it.
    platform->mouseMove(10, 10, kLButton);
    platform->mouseMove(500, 700, kLButton);
    platform->mouseUp(500, 700);
    EXPECT_EQ(log, (Log{"above down", "above move", "above move", "above up"}));
    EXPECT_EQ(frame->getMouseDownView(), nullptr);
}

TEST_F(FrameDispatch, PressHandledWithoutFurtherEventsGetsNoMovesOrRelease) {
    add(CRect(0, 0, 100, 100), "once", kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_EQ(platform->mouseDown(10, 10), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    platform->mouseMove(20, 20, kLButton);
    platform->mouseUp(20, 20);
    EXPECT_EQ(log, (Log{"once down", "once enter"}));  // hovering, but no move or release
}

TEST_F(FrameDispatch, DeclinedPressIsNotCapturedAndNoViewMeansNotHandled) {
    add(CRect(0, 0, 100, 100), "declines", kMouseEventNotHandled);
    EXPECT_EQ(platform->mouseDown(10, 10), kMouseEventNotHandled);
    EXPECT_EQ(frame->getMouseDownView(), nullptr);
    platform->mouseUp(10, 10);
    EXPECT_EQ(platform->mouseDown(300, 300), kMouseEventNotHandled);
    EXPECT_EQ(log, (Log{"declines down", "declines enter"}));
}

TEST_F(FrameDispatch, PlainMovesReachViewUnderPointerWithEnterAndExit) {
    add(CRect(0, 0, 100, 100), "a");
    add(CRect(200, 0, 300, 100), "b");
    platform->mouseMove(10, 10);
    platform->mouseMove(20, 20);
    platform->mouseMove(250, 50);
    platform->mouseMove(400, 400);
    platform->mouseMove(210, 10);
    platform->mouseExit();
    EXPECT_EQ(log, (Log{"a enter", "a move", "a move", "a exit", "b enter", "b move", "b exit", "b enter", "b move",
                        "b exit"}));
}

TEST_F(FrameDispatch, MovesWithButtonHeldButNothingCapturedReachNoView) {
    add(CRect(0, 0, 100, 100), "a", kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    platform->mouseDown(10, 10);
    log.clear();
    platform->mouseMove(20, 20, kLButton);
    EXPECT_EQ(log, (Log{"a enter"}));
}

TEST_F(FrameDispatch, ViewRemovedWhileCapturedIsKeptAliveUntilItsHandlerReturns) {
    auto* v = add(CRect(0, 0, 100, 100), "v");
    platform->mouseDown(10, 10);
    frame->removeView(v);  // released by the frame
    EXPECT_EQ(frame->getMouseDownView(), nullptr);
    EXPECT_EQ(log.back(), "v deleted");
    platform->mouseUp(10, 10);  // reaches nobody
}

TEST_F(FrameDispatch, DragEventsFollowThePointerAndEveryDropIsFollowedByALeave) {
    add(CRect(0, 0, 100, 100), "a");
    auto* b = add(CRect(200, 0, 300, 100), "b");
    b->acceptDrop = false;
    auto* drag = CItemDragContainer::fromPaths({"/tmp/kick.wav"});

    EXPECT_EQ(platform->dragEnter(drag, 10, 10), DragOperation::Copy);
    EXPECT_EQ(platform->dragMove(drag, 20, 20), DragOperation::Copy);
    EXPECT_EQ(platform->dragMove(drag, 250, 20), DragOperation::None);
    EXPECT_EQ(platform->dragMove(drag, 400, 400), DragOperation::None);
    EXPECT_EQ(platform->dragMove(drag, 50, 50), DragOperation::Copy);
    EXPECT_TRUE(platform->drop(drag, 50, 50));
    EXPECT_EQ(frame->getDragOverView(), nullptr);
    EXPECT_EQ(log, (Log{"a dragenter", "a dragmove", "a dragleave", "b dragenter", "b dragleave", "a dragenter",
                        "a drop", "a dragleave"}));

    log.clear();
    platform->dragEnter(drag, 250, 50);
    EXPECT_FALSE(platform->drop(drag, 250, 50));  // refused by the view
    EXPECT_EQ(log, (Log{"b dragenter", "b drop", "b dragleave"}));

    log.clear();
    platform->dragEnter(drag, 400, 400);
    EXPECT_FALSE(platform->drop(drag, 400, 400));  // the background takes nothing
    platform->dragEnter(drag, 10, 10);
    platform->dragLeave(drag, -1, -1);
    platform->dragLeave(drag, -1, -1);  // nothing left to leave
    EXPECT_EQ(log, (Log{"a dragenter", "a dragleave"}));
    drag->forget();
}

TEST_F(FrameDispatch, FrameReleasesItsViewsAndCursorAndInvalidationReachThePlatform) {
    auto* v = add(CRect(10, 20, 30, 40), "v");
    platform->render();
    platform->resetInvalidCount();
    v->invalid();
    EXPECT_TRUE(v->isDirty());
    EXPECT_EQ(platform->pendingInvalid(), CRect(10, 20, 30, 40));
    platform->renderInvalid();
    EXPECT_FALSE(v->isDirty());
    EXPECT_TRUE(platform->pendingInvalid().isEmpty());

    frame->setCursor(kCursorHand);
    EXPECT_EQ(platform->cursor(), kCursorHand);
    frame->showMessageBox("Caption", "Text");
    ASSERT_EQ(env.messageBoxes().size(), 1u);
    EXPECT_EQ(env.messageBoxes()[0].caption, "Caption");

    frame->forget();
    frame = nullptr;
    EXPECT_EQ(log.back(), "v deleted");
    EXPECT_EQ(env.currentFrame(), nullptr);
}

TEST_F(FrameDispatch, ViewsDrawInOrderClippedToThemselvesOverTheBackground) {
    auto png = testing::makeBandsPng(540, 786, {CColor(0, 0, 255)});
    auto* bg = new CBitmap(png.data(), png.size());
    frame->setBackground(bg);
    bg->forget();

    struct Painter : CView {
        Painter(const CRect& r, CColor c) : CView(r), colour(c) {}
        void draw(CDrawContext* context) override {
            context->setFillColor(colour);
            context->drawRect(CRect(0, 0, 540, 786), kDrawFilled);  // paints far beyond itself
            CView::draw(context);
        }
        CColor colour;
    };
    frame->addView(new Painter(CRect(0, 0, 100, 100), CColor(255, 0, 0)));
    frame->addView(new Painter(CRect(50, 50, 150, 150), CColor(0, 255, 0)));
    platform->render();
    EXPECT_EQ(platform->pixel(10, 10), CColor(255, 0, 0));
    EXPECT_EQ(platform->pixel(75, 75), CColor(0, 255, 0));
    EXPECT_EQ(platform->pixel(140, 140), CColor(0, 255, 0));
    EXPECT_EQ(platform->pixel(300, 300), CColor(0, 0, 255));
}

TEST_F(FrameDispatch, KeysAreOfferedToViewsUntilOneUsesThem) {
    struct KeyView : CView {
        using CView::CView;
        int32_t onKeyDown(CKeyCode& key) override { return key.character == 'a' ? 1 : -1; }
    };
    CKeyCode key;
    key.character = 'a';
    EXPECT_EQ(frame->onKeyDown(key), -1);
    frame->addView(new KeyView(CRect(0, 0, 10, 10)));
    EXPECT_TRUE(platform->keyDown(key));
    key.character = 'b';
    EXPECT_FALSE(platform->keyDown(key));
}

TEST(FrameWithoutPlatform, WorksWithoutAnyPlatform) {
    CFrame* frame = new CFrame(CRect(0, 0, 100, 100), nullptr, nullptr);  // no factory installed
    EXPECT_EQ(frame->getPlatformFrame(), nullptr);
    frame->addView(new CView(CRect(0, 0, 10, 10)));
    frame->getView(0)->invalid();
    frame->setCursor(kCursorCopy);
    frame->idle();
    EXPECT_EQ(CNewFileSelector::create(frame, CNewFileSelector::kSelectSaveFile), nullptr);
    frame->forget();
}

}  // namespace
}  // namespace rimbrel::gui
