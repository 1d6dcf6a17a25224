// A window-less platform for tests and tools: frames render into a cairo
// image surface, time is a virtual clock, and input comes from calls that
// stand for a user's mouse and desktop.
//
// It is also the smallest complete platform, the one to copy for a new
// backend: HeadlessFrame implements the window (IPlatformFrame with its
// dialogs, platform/Windows.h and platform/Dialogs.h), HeadlessEnvironment
// installs the frame factory and drives the clock, timers and dialogs the
// way a pump does, and the drawing comes from platform/cairo (a backend
// without cairo implements platform/Drawing.h instead).
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/Color.h"
#include "gui/Frame.h"
#include "platform/Windows.h"
#include "gui/Timer.h"

typedef struct _cairo_surface cairo_surface_t;

namespace rimbrel::gui::headless {

class HeadlessFrame;

// The environment of one test: while it exists it is the process's platform
// (frames created for any system window get a HeadlessFrame) and its virtual
// clock drives CTimerService. Only one may exist at a time.
class HeadlessEnvironment {
public:
    HeadlessEnvironment();
    ~HeadlessEnvironment();
    HeadlessEnvironment(const HeadlessEnvironment&) = delete;
    HeadlessEnvironment& operator=(const HeadlessEnvironment&) = delete;

    // Virtual time in ms (starts at 1000).
    uint64_t now() const { return clockMs; }
    // Moves the clock forward by `ms`, firing every timer at each of its due
    // times on the way, then finishes dialogs whose answers are scripted
    // (see pump()). Answers how many timer ticks fired.
    int advance(uint64_t ms);
    // What a platform's pump does, without moving the clock: fires due
    // timers, ends pending dialogs that have a scripted answer, repaints
    // what was invalidated in the current frame.
    void pump();

    // The most recently created frame platform that still exists, or nullptr.
    HeadlessFrame* currentFrame() const { return current; }

    // File selectors: every dialog started is recorded; each one is answered
    // at the next pump() (or advance()) by the next scripted answer, in
    // order. With no answer scripted the dialog stays open. An empty answer
    // is a cancelled dialog. With refuseFileSelectors(true) no dialog can be
    // started at all.
    void scriptFileSelectorAnswer(std::vector<std::string> paths);
    void refuseFileSelectors(bool state) { refuseSelectors = state; }
    const std::vector<FileSelectorRequest>& fileSelectorRequests() const { return selectorRequests; }
    int pendingFileSelectors() const { return static_cast<int>(pendingSelectors.size()); }

    struct MessageBox {
        std::string caption;
        std::string text;
    };
    const std::vector<MessageBox>& messageBoxes() const { return boxes; }

    // Yes/no questions: recorded like message boxes, answered at the next
    // pump() by the next scripted answer, in order (open until then). With
    // refuseQuestions(true) none can be asked, as on a desktop without a
    // dialog program.
    void scriptQuestionAnswer(bool yes) { questionAnswers.push_back(yes); }
    void refuseQuestions(bool state) { refuseQuestionBoxes = state; }
    const std::vector<MessageBox>& questions() const { return questionBoxes; }
    int pendingQuestionCount() const { return static_cast<int>(pendingQuestions.size()); }

private:
    friend class HeadlessFrame;
    struct PendingSelector {
        HeadlessFrame* owner;
        FileSelectorDone done;
    };
    void finishSelectors();
    struct PendingQuestion {
        HeadlessFrame* owner;
        QuestionDone done;
    };
    void forgetFrame(HeadlessFrame* frame);

    uint64_t clockMs = 1000;
    CTimerService::Clock previousClock;
    PlatformFrameFactory previousFactory;
    HeadlessFrame* current = nullptr;
    std::vector<FileSelectorRequest> selectorRequests;
    std::deque<std::vector<std::string>> scriptedAnswers;
    std::deque<PendingSelector> pendingSelectors;
    std::vector<MessageBox> boxes;
    bool refuseSelectors = false;
    std::vector<MessageBox> questionBoxes;
    std::deque<bool> questionAnswers;
    std::deque<PendingQuestion> pendingQuestions;
    bool refuseQuestionBoxes = false;
};

// The platform of one frame: an ARGB image surface of the frame's size.
class HeadlessFrame : public IPlatformFrame {
public:
    HeadlessFrame(HeadlessEnvironment& env, IPlatformFrameCallback* frame, const CRect& size);
    ~HeadlessFrame() override;

    // Creates a frame platform for `frame` and attaches it (for frames made
    // without a factory).
    static HeadlessFrame* attach(HeadlessEnvironment& env, CFrame* frame);

    // --- IPlatformFrame ---
    void invalidRect(const CRect& rect) override;
    void updateNow() override { renderInvalid(); }
    void setMouseCursor(CCursorType type) override;
    uint64_t getTicks() override;
    void showMessageBox(const std::string& caption, const std::string& text) override;
    bool runFileSelector(const FileSelectorRequest& request, FileSelectorDone done) override;
    bool askQuestion(const std::string& caption, const std::string& text, QuestionDone done) override;

    // --- what a test does as a user ---
    CMouseEventResult mouseDown(CCoord x, CCoord y, CButtonState buttons = kLButton);
    CMouseEventResult mouseMove(CCoord x, CCoord y, CButtonState buttons = 0);
    CMouseEventResult mouseUp(CCoord x, CCoord y, CButtonState buttons = kLButton);
    CMouseEventResult mouseExit();
    // Press, then release at the same point (no release when the press
    // was consumed without capture, as a real frame would not deliver one).
    void click(CCoord x, CCoord y, CButtonState buttons = kLButton);
    DragOperation dragEnter(CDragContainer* drag, CCoord x, CCoord y);
    DragOperation dragMove(CDragContainer* drag, CCoord x, CCoord y);
    void dragLeave(CDragContainer* drag, CCoord x, CCoord y);
    bool drop(CDragContainer* drag, CCoord x, CCoord y);
    bool keyDown(CKeyCode key);

    // --- what a test looks at ---
    // Paints the whole frame into the surface.
    void render();
    // Paints only what was invalidated since the last paint.
    void renderInvalid();
    // The region invalidated and not painted yet (empty rect when none).
    CRect pendingInvalid() const { return invalidArea; }
    int invalidCount() const { return invalidations; }
    void resetInvalidCount() { invalidations = 0; }
    cairo_surface_t* getSurface() const { return surface; }
    // The pixel at (x, y) as straight (not premultiplied) RGBA.
    CColor pixel(int x, int y) const;
    bool writePng(const std::string& path) const;
    CCursorType cursor() const { return cursorType; }
    std::vector<CCursorType> cursorHistory() const { return cursors; }
    IPlatformFrameCallback* callback() const { return frame; }

private:
    HeadlessEnvironment& env;
    IPlatformFrameCallback* frame;
    CRect size;
    cairo_surface_t* surface = nullptr;
    CRect invalidArea;
    int invalidations = 0;
    CCursorType cursorType = kCursorDefault;
    std::vector<CCursorType> cursors;
};

}  // namespace rimbrel::gui::headless
