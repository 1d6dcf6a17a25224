// Timers, file selectors and bitmaps: the toolkit's services outside the
// view tree.
#include <gtest/gtest.h>

#include "platform/cairo/CairoGraphics.h"
#include "platform/headless/HeadlessPlatform.h"
#include "tests/gui/TestSupport.h"

namespace rimbrel::gui {
namespace {

using headless::HeadlessEnvironment;

class Receiver : public CBaseObject {
public:
    CMessageResult notify(CBaseObject* sender, const char* message) override {
        messages.push_back(message ? message : "");
        senders.push_back(sender);
        if (auto* selector = dynamic_cast<CNewFileSelector*>(sender))
            for (int32_t i = 0; i < selector->getNumSelectedFiles(); ++i)
                files.push_back(selector->getSelectedFile(i));
        return kMessageNotified;
    }
    std::vector<std::string> messages;
    std::vector<CBaseObject*> senders;
    std::vector<std::string> files;
};

TEST(Timer, FiresEveryPeriodWithoutAnyWindow) {
    HeadlessEnvironment env;
    Receiver receiver;
    auto* timer = new CVSTGUITimer(&receiver, 240);
    EXPECT_EQ(env.advance(1000), 0);  // not started
    timer->setFireTime(150);
    timer->start();
    EXPECT_EQ(env.advance(149), 0);
    EXPECT_EQ(env.advance(1), 1);
    EXPECT_EQ(env.advance(1500), 10);
    ASSERT_FALSE(receiver.messages.empty());
    EXPECT_EQ(receiver.messages[0], "timer fired");
    EXPECT_EQ(receiver.senders[0], timer);

    // A new period starts over from now.
    env.advance(100);
    timer->setFireTime(50);
    EXPECT_EQ(env.advance(49), 0);
    EXPECT_EQ(env.advance(1000), 20);

    timer->stop();
    EXPECT_EQ(env.advance(1000), 0);
    timer->start();
    timer->forget();  // releasing the last reference stops it
    EXPECT_EQ(env.advance(1000), 0);
    EXPECT_EQ(CTimerService::runningCount(), 0);
}

TEST(Timer, LateTicksAreNotMadeUp) {
    HeadlessEnvironment env;
    Receiver receiver;
    CVSTGUITimer* timer = new CVSTGUITimer(&receiver, 50, true);
    // A pump that comes a second late fires each due timer once.
    const auto before = receiver.messages.size();
    CTimerService::Clock previous = CTimerService::setClock([&] { return env.now() + 1000; });
    EXPECT_EQ(CTimerService::fireDue(), 1);
    CTimerService::setClock(previous);
    EXPECT_EQ(receiver.messages.size(), before + 1);
    timer->forget();
}

TEST(Timer, ReceiverMayStopItsTimerWhileBeingNotified) {
    HeadlessEnvironment env;
    struct Stopper : CBaseObject {
        CMessageResult notify(CBaseObject* sender, const char*) override {
            ++ticks;
            static_cast<CVSTGUITimer*>(sender)->forget();
            return kMessageNotified;
        }
        int ticks = 0;
    } stopper;
    new CVSTGUITimer(&stopper, 10, true);
    env.advance(100);
    EXPECT_EQ(stopper.ticks, 1);
}

class Selectors : public ::testing::Test {
protected:
    void SetUp() override { frame = new CFrame(CRect(0, 0, 540, 786), nullptr, nullptr); }
    void TearDown() override {
        if (frame)
            frame->forget();
    }
    CNewFileSelector* saveSelector() {
        auto* s = CNewFileSelector::create(frame, CNewFileSelector::kSelectSaveFile);
        s->addFileExtension({"AIFF", "aif", "audio/x-aiff"});
        s->setTitle("Export Op1 Kit as..");
        return s;
    }
    HeadlessEnvironment env;
    CFrame* frame = nullptr;
    Receiver receiver;
};

TEST_F(Selectors, RunReturnsAtOnceAndTheEndMessageCarriesTheChosenPath) {
    auto* selector = saveSelector();
    EXPECT_TRUE(selector->run(&receiver));
    selector->forget();  // the running dialog keeps it alive
    ASSERT_EQ(env.fileSelectorRequests().size(), 1u);
    const FileSelectorRequest& request = env.fileSelectorRequests()[0];
    EXPECT_EQ(request.style, FileSelectorRequest::Style::SelectSaveFile);
    EXPECT_EQ(request.title, "Export Op1 Kit as..");
    ASSERT_EQ(request.extensions.size(), 1u);
    EXPECT_EQ(request.extensions[0].description, "AIFF");
    EXPECT_EQ(request.extensions[0].extension, "aif");

    env.pump();  // nothing answered yet: the dialog stays open
    EXPECT_TRUE(receiver.messages.empty());
    EXPECT_EQ(env.pendingFileSelectors(), 1);

    env.scriptFileSelectorAnswer({"/tmp/kit.aif"});
    env.pump();
    ASSERT_EQ(receiver.messages.size(), 1u);
    EXPECT_EQ(receiver.messages[0], "CNewFileSelector Select End Message");
    EXPECT_TRUE(isMessage(receiver.messages[0].c_str(), kMsgNewFileSelectorSelectEnd));
    EXPECT_EQ(receiver.files, (std::vector<std::string>{"/tmp/kit.aif"}));
    EXPECT_EQ(env.pendingFileSelectors(), 0);
}

TEST_F(Selectors, CancelledDialogEndsWithNoFile) {
    env.scriptFileSelectorAnswer({});
    auto* selector = saveSelector();
    selector->run(&receiver);
    selector->forget();
    env.advance(10);
    ASSERT_EQ(receiver.messages.size(), 1u);
    EXPECT_TRUE(receiver.files.empty());
}

TEST_F(Selectors, ClosingTheWindowDropsItsDialogWithoutMessage) {
    auto* selector = saveSelector();
    selector->run(&receiver);
    selector->forget();
    frame->forget();
    frame = nullptr;
    env.scriptFileSelectorAnswer({"/tmp/late.aif"});
    env.pump();
    EXPECT_TRUE(receiver.messages.empty());
    EXPECT_EQ(receiver.getNbReference(), 1);  // given back by the dropped dialog
}

TEST_F(Selectors, DialogThatCannotStartSaysSo) {
    env.refuseFileSelectors(true);
    auto* selector = saveSelector();
    EXPECT_FALSE(selector->run(&receiver));
    EXPECT_EQ(selector->getNumSelectedFiles(), 0);
    EXPECT_EQ(selector->getSelectedFile(0), nullptr);
    selector->forget();
    EXPECT_EQ(receiver.getNbReference(), 1);
}

TEST(Bitmap, DecodesPngBytesAndDrawsTheChosenPart) {
    auto png = testing::makeBandsPng(20, 10, {CColor(255, 0, 0), CColor(0, 0, 255, 128)});
    CBitmap* bitmap = new CBitmap(png.data(), png.size());
    ASSERT_TRUE(bitmap->isLoaded());
    EXPECT_EQ(bitmap->getWidth(), 20);
    EXPECT_EQ(bitmap->getHeight(), 20);

    HeadlessEnvironment env;
    CFrame* frame = new CFrame(CRect(0, 0, 100, 100), nullptr, nullptr);
    struct Pic : CView {
        Pic(const CRect& r, CBitmap* b, CPoint o, float a) : CView(r), bitmap(b), offset(o), alpha(a) {}
        void draw(CDrawContext* context) override { context->drawBitmap(bitmap, size, offset, alpha); }
        CBitmap* bitmap;
        CPoint offset;
        float alpha;
    };
    frame->addView(new Pic(CRect(0, 0, 20, 10), bitmap, CPoint(0, 0), 1.f));
    frame->addView(new Pic(CRect(30, 0, 50, 10), bitmap, CPoint(0, 10), 1.f));
    frame->addView(new Pic(CRect(60, 0, 80, 10), bitmap, CPoint(0, 0), 0.5f));
    env.currentFrame()->render();
    auto* platform = env.currentFrame();
    EXPECT_EQ(platform->pixel(5, 5), CColor(255, 0, 0));
    EXPECT_EQ(platform->pixel(5, 12).alpha, 0);  // only the destination is painted
    EXPECT_EQ(platform->pixel(35, 5).blue, 255);
    EXPECT_NEAR(platform->pixel(35, 5).alpha, 128, 1);
    EXPECT_NEAR(platform->pixel(65, 5).alpha, 128, 1);
    frame->forget();
    bitmap->forget();
}

TEST(Bitmap, UnknownResourceOrBadBytesGiveAnEmptyBitmapThatDrawsNothing) {
    CBitmap unknown(4711);
    EXPECT_FALSE(unknown.isLoaded());
    EXPECT_EQ(unknown.getWidth(), 0);
    EXPECT_EQ(unknown.getHeight(), 0);
    EXPECT_EQ(unknown.getResourceId(), 4711);

    const unsigned char junk[] = {0x89, 'P', 'N', 'G', 0, 1, 2, 3};
    CBitmap bad(junk, sizeof junk);
    EXPECT_FALSE(bad.isLoaded());
    auto png = testing::makeBandsPng(8, 8, {kRedCColor});
    CBitmap truncated(png.data(), png.size() / 2);
    EXPECT_FALSE(truncated.isLoaded());

    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 10, 10);
    cairo_t* cr = cairo_create(s);
    {
        cairo::CairoGraphics graphics(cr);
        CDrawContext context(graphics);
        unknown.draw(&context, CRect(0, 0, 10, 10));
        context.drawBitmap(nullptr, CRect(0, 0, 10, 10));
    }
    cairo_destroy(cr);
    cairo_surface_destroy(s);
}

TEST(DrawContext, OutlinesLieInsideTheRectangle) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 20, 20);
    cairo_t* cr = cairo_create(s);
    {
        cairo::CairoGraphics graphics(cr);
        CDrawContext context(graphics);
        context.setFrameColor(kRedCColor);
        context.setFillColor(kBlueCColor);
        context.drawRect(CRect(5, 5, 15, 15), kDrawFilledAndStroked);
    }
    cairo_destroy(cr);
    cairo_surface_flush(s);
    auto at = [&](int x, int y) {
        const auto* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
        return *reinterpret_cast<const uint32_t*>(row + x * 4);
    };
    EXPECT_EQ(at(5, 5), 0xffff0000u);
    EXPECT_EQ(at(14, 14), 0xffff0000u);
    EXPECT_EQ(at(10, 10), 0xff0000ffu);
    EXPECT_EQ(at(4, 10), 0u);
    EXPECT_EQ(at(15, 10), 0u);
    cairo_surface_destroy(s);
}

TEST(DragContainer, WalksItemsInOrderAndEndsWithAnError) {
    CItemDragContainer drag;
    drag.addFile("/a b/ü.wav");
    drag.addItem(CDragContainer::kText, "hello");
    int32_t size = 0;
    int32_t type = 0;
    EXPECT_EQ(drag.getCount(), 2);
    EXPECT_STREQ(static_cast<const char*>(drag.first(size, type)), "/a b/ü.wav");
    EXPECT_EQ(type, CDragContainer::kFile);
    EXPECT_EQ(size, static_cast<int32_t>(std::string("/a b/ü.wav").size() + 1));
    EXPECT_STREQ(static_cast<const char*>(drag.next(size, type)), "hello");
    EXPECT_EQ(type, CDragContainer::kText);
    EXPECT_EQ(drag.next(size, type), nullptr);
    EXPECT_LT(type, 0);
    EXPECT_STREQ(static_cast<const char*>(drag.first(size, type)), "/a b/ü.wav");

    CItemDragContainer empty;
    EXPECT_EQ(empty.first(size, type), nullptr);
    EXPECT_LT(type, 0);
}

}  // namespace
}  // namespace rimbrel::gui
