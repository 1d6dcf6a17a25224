// The Windows window platform on its own: pictures, the bundled text face,
// GDI+'s lifetime, and frames whose window or host window goes in either
// order, with a dialog still pending.
#include <windows.h>

#include <gdiplus.h>
#include <gtest/gtest.h>

#include <string>

#include "gui/Frame.h"
#include "gui/Timer.h"
#include "platform/win32/GdiplusGraphics.h"
#include "platform/win32/GdiplusSession.h"
#include "platform/win32/Win32Platform.h"
#include "resources/Resources.h"

namespace rimbrel::gui::win32 {
namespace {

HWND makeHostWindow() {
    return CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 600, 850, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

// Handles every message already queued for this thread.
void drainMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

TEST(WindowsDrawing, PicturesDecodeWholeOrNotAtAllAndGdiplusEndsWithTheLast) {
    const ResourceData background = findResource(kResourceBackground);
    ASSERT_NE(background.bytes, nullptr);
    {
        auto picture = decodePngImage(background.bytes, background.size);
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->getWidth(), 540);
        EXPECT_EQ(picture->getHeight(), 786);
        EXPECT_EQ(decodePngImage(background.bytes, background.size / 2), nullptr);
        const unsigned char notPng[16] = {'G', 'I', 'F', '8', '9', 'a'};
        EXPECT_EQ(decodePngImage(notPng, sizeof notPng), nullptr);
        EXPECT_EQ(createBlankImage(0, 4), nullptr);
        EXPECT_NE(createBlankImage(3, 4), nullptr);
        EXPECT_GT(gdiplusUseCount(), 0);
    }
    EXPECT_EQ(gdiplusUseCount(), 0);
}

TEST(WindowsDrawing, TextIsDrawnInTheBundledFaceOnItsBaseline) {
    GdiplusUse use;
    ASSERT_TRUE(use.running());
    const Gdiplus::FontFamily* family = bundledTextFamily();
    ASSERT_NE(family, nullptr);
    wchar_t name[LF_FACESIZE] = {};
    family->GetFamilyName(name);
    EXPECT_EQ(std::wstring(name), L"Liberation Sans");

    Gdiplus::Bitmap bitmap(200, 40, PixelFormat32bppPARGB);
    Gdiplus::Graphics target(&bitmap);
    target.Clear(Gdiplus::Color(255, 0, 0, 0));
    GdiplusGraphics graphics(target);
    const PlatformFont font{"Arial", 12, kNormalFace};
    const PlatformFontExtents extents = graphics.getFontExtents(font);
    // Liberation Sans: ascent 0.905 em, descent 0.212 em (as cairo reads them).
    EXPECT_NEAR(extents.ascent, 10.86, 0.05);
    EXPECT_NEAR(extents.descent, 2.54, 0.05);
    EXPECT_GT(graphics.getTextWidth("Export", font), 30);
    EXPECT_LT(graphics.getTextWidth("Export", font), 40);
    graphics.drawText("HHHH", CPoint(10, 30), font, kWhiteCColor);
    // Capitals stand on the baseline: lit rows end at it, none below.
    Gdiplus::Color c;
    int litAbove = 0, litBelow = 0;
    for (int x = 10; x < 40; ++x) {
        bitmap.GetPixel(x, 27, &c);
        litAbove += c.GetRed() > 128;
        bitmap.GetPixel(x, 32, &c);
        litBelow += c.GetRed() > 128;
    }
    EXPECT_GT(litAbove, 4);
    EXPECT_EQ(litBelow, 0);
}

// A 1-pixel frame inset by half a pixel lies on the edge pixels of its
// rectangle, all four inside a clip to that rectangle (as with cairo).
TEST(WindowsDrawing, AFrameStrokedInsideItsClipKeepsAllFourEdges) {
    GdiplusUse use;
    Gdiplus::Bitmap bitmap(30, 20, PixelFormat32bppPARGB);
    {
        Gdiplus::Graphics target(&bitmap);
        target.Clear(Gdiplus::Color(255, 0, 0, 0));
        GdiplusGraphics graphics(target);
        graphics.clipRect(CRect(4, 4, 20, 14));
        graphics.strokeRect(CRect(4.5, 4.5, 19.5, 13.5), kWhiteCColor, 1);
    }
    auto lit = [&](int x, int y) {
        Gdiplus::Color c;
        bitmap.GetPixel(x, y, &c);
        return c.GetRed() > 200;
    };
    EXPECT_TRUE(lit(4, 8) && lit(19, 8) && lit(10, 4) && lit(10, 13));
    EXPECT_FALSE(lit(5, 8) || lit(18, 8) || lit(10, 5) || lit(10, 12));
}

class WindowsFrame : public ::testing::Test {
protected:
    void SetUp() override {
        install();
        host = makeHostWindow();
        ASSERT_NE(host, nullptr);
    }
    void TearDown() override {
        if (IsWindow(host))
            DestroyWindow(host);
        drainMessages();
        EXPECT_EQ(frameCount(), 0);
    }
    CFrame* open() { return new CFrame(CRect(0, 0, 540, 786), host, nullptr); }
    HWND host = nullptr;
};

TEST_F(WindowsFrame, IsAChildOfTheHostWindowAndGoesWithTheEditor) {
    CFrame* frame = open();
    HWND window = frameWindow(frame->getPlatformFrame());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetParent(window), host);
    RECT r{};
    GetClientRect(window, &r);
    EXPECT_EQ(r.right, 540);
    EXPECT_EQ(r.bottom, 786);
    drainMessages();
    frame->forget();
    EXPECT_FALSE(IsWindow(window));
    // The window class went with the last frame; the next one registers it again.
    frame = open();
    EXPECT_NE(frameWindow(frame->getPlatformFrame()), nullptr);
    frame->forget();
}

// The host may never send idle calls: the frame's own timer pumps.
TEST_F(WindowsFrame, RunsTheToolkitsTimersWithoutHostIdleCalls) {
    struct Counter : CBaseObject {
        int ticks = 0;
        CMessageResult notify(CBaseObject*, const char* message) override {
            ticks += message == kMsgTimer;
            return kMessageNotified;
        }
    } counter;
    CFrame* frame = open();
    auto* timer = new CVSTGUITimer(&counter, 10, true);
    const DWORD deadline = GetTickCount() + 10000;
    while (counter.ticks < 3 && GetTickCount() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        drainMessages();
    }
    EXPECT_GE(counter.ticks, 3);
    timer->forget();
    frame->forget();
}

TEST_F(WindowsFrame, SurvivesTheHostDestroyingItsWindowFirst) {
    CFrame* frame = open();
    ASSERT_NE(frame->getPlatformFrame(), nullptr);
    DestroyWindow(host);
    drainMessages();
    frame->invalid();
    frame->getPlatformFrame()->updateNow();
    frame->forget();
}

TEST_F(WindowsFrame, ADialogOfAClosedWindowIsNeverShownOrAnswered) {
    CFrame* frame = open();
    bool answered = false;
    FileSelectorRequest request;
    request.style = FileSelectorRequest::Style::SelectSaveFile;
    ASSERT_TRUE(frame->getPlatformFrame()->runFileSelector(request, [&](std::vector<std::string>) { answered = true; }));
    ASSERT_TRUE(frame->getPlatformFrame()->askQuestion("Q", "?", [&](bool) { answered = true; }));
    frame->getPlatformFrame()->showMessageBox("caption", "text");
    EXPECT_FALSE(answered);  // nothing is shown from within the request
    frame->forget();
    drainMessages();
    EXPECT_FALSE(answered);
}

}  // namespace
}  // namespace rimbrel::gui::win32
