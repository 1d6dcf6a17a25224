#include "platform/headless/HeadlessPlatform.h"

#include <cairo.h>

#include <cassert>

#include "platform/cairo/CairoGraphics.h"

namespace rimbrel::gui::headless {

namespace {
HeadlessEnvironment* activeEnvironment = nullptr;
}

// --- HeadlessEnvironment ---

HeadlessEnvironment::HeadlessEnvironment() {
    assert(activeEnvironment == nullptr && "one headless environment at a time");
    activeEnvironment = this;
    previousClock = CTimerService::setClock([this] { return clockMs; });
    previousFactory = setPlatformFrameFactory([this](IPlatformFrameCallback* frame, const CRect& size, void*) {
        return new HeadlessFrame(*this, frame, size);
    });
}

HeadlessEnvironment::~HeadlessEnvironment() {
    setPlatformFrameFactory(std::move(previousFactory));
    CTimerService::setClock(std::move(previousClock));
    pendingSelectors.clear();
    activeEnvironment = nullptr;
}

int HeadlessEnvironment::advance(uint64_t ms) {
    const uint64_t target = clockMs + ms;
    int fired = 0;
    for (;;) {
        const uint64_t due = CTimerService::nextDue();
        if (due > target)
            break;
        if (due > clockMs)
            clockMs = due;
        const int n = CTimerService::fireDue();
        fired += n;
        if (n == 0 && due <= clockMs && CTimerService::nextDue() <= clockMs)
            break;  // nothing could fire: avoid spinning
    }
    clockMs = target;
    fired += CTimerService::fireDue();
    finishSelectors();
    if (current)
        current->renderInvalid();
    return fired;
}

void HeadlessEnvironment::pump() {
    CTimerService::fireDue();
    finishSelectors();
    if (current)
        current->renderInvalid();
}

void HeadlessEnvironment::scriptFileSelectorAnswer(std::vector<std::string> paths) {
    scriptedAnswers.push_back(std::move(paths));
}

void HeadlessEnvironment::finishSelectors() {
    while (!pendingSelectors.empty() && !scriptedAnswers.empty()) {
        PendingSelector pending = std::move(pendingSelectors.front());
        pendingSelectors.pop_front();
        std::vector<std::string> answer = std::move(scriptedAnswers.front());
        scriptedAnswers.pop_front();
        pending.done(std::move(answer));
    }
    while (!pendingQuestions.empty() && !questionAnswers.empty()) {
        PendingQuestion pending = std::move(pendingQuestions.front());
        pendingQuestions.pop_front();
        const bool yes = questionAnswers.front();
        questionAnswers.pop_front();
        pending.done(yes);
    }
}

void HeadlessEnvironment::forgetFrame(HeadlessFrame* frame) {
    if (current == frame)
        current = nullptr;
    // A closed window's dialogs end unanswered.
    for (auto it = pendingSelectors.begin(); it != pendingSelectors.end();) {
        if (it->owner == frame)
            it = pendingSelectors.erase(it);
        else
            ++it;
    }
    for (auto it = pendingQuestions.begin(); it != pendingQuestions.end();) {
        if (it->owner == frame)
            it = pendingQuestions.erase(it);
        else
            ++it;
    }
}

// --- HeadlessFrame ---

HeadlessFrame::HeadlessFrame(HeadlessEnvironment& e, IPlatformFrameCallback* f, const CRect& r)
    : env(e), frame(f), size(r) {
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(r.getWidth()),
                                         static_cast<int>(r.getHeight()));
    env.current = this;
}

HeadlessFrame::~HeadlessFrame() {
    env.forgetFrame(this);
    cairo_surface_destroy(surface);
}

HeadlessFrame* HeadlessFrame::attach(HeadlessEnvironment& e, CFrame* f) {
    auto* platform = new HeadlessFrame(e, f, f->getViewSize());
    f->setPlatformFrame(platform);
    return platform;
}

void HeadlessFrame::invalidRect(const CRect& rect) {
    ++invalidations;
    invalidArea.unite(rect);
}

void HeadlessFrame::setMouseCursor(CCursorType type) {
    cursorType = type;
    cursors.push_back(type);
}

uint64_t HeadlessFrame::getTicks() {
    return env.now();
}

void HeadlessFrame::showMessageBox(const std::string& caption, const std::string& text) {
    env.boxes.push_back({caption, text});
}

bool HeadlessFrame::runFileSelector(const FileSelectorRequest& request, FileSelectorDone done) {
    if (env.refuseSelectors)
        return false;
    env.selectorRequests.push_back(request);
    env.pendingSelectors.push_back({this, std::move(done)});
    return true;
}

bool HeadlessFrame::askQuestion(const std::string& caption, const std::string& text, QuestionDone done) {
    if (env.refuseQuestionBoxes)
        return false;
    env.questionBoxes.push_back({caption, text});
    env.pendingQuestions.push_back({this, std::move(done)});
    return true;
}

CMouseEventResult HeadlessFrame::mouseDown(CCoord x, CCoord y, CButtonState buttons) {
    CPoint p(x, y);
    return frame->platformOnMouseDown(p, buttons);
}

CMouseEventResult HeadlessFrame::mouseMove(CCoord x, CCoord y, CButtonState buttons) {
    CPoint p(x, y);
    return frame->platformOnMouseMoved(p, buttons);
}

CMouseEventResult HeadlessFrame::mouseUp(CCoord x, CCoord y, CButtonState buttons) {
    CPoint p(x, y);
    return frame->platformOnMouseUp(p, buttons);
}

CMouseEventResult HeadlessFrame::mouseExit() {
    CPoint p(-1, -1);
    return frame->platformOnMouseExited(p, 0);
}

void HeadlessFrame::click(CCoord x, CCoord y, CButtonState buttons) {
    mouseDown(x, y, buttons);
    mouseUp(x, y, buttons);
}

DragOperation HeadlessFrame::dragEnter(CDragContainer* drag, CCoord x, CCoord y) {
    return frame->platformOnDragEnter(drag, CPoint(x, y));
}

DragOperation HeadlessFrame::dragMove(CDragContainer* drag, CCoord x, CCoord y) {
    return frame->platformOnDragMove(drag, CPoint(x, y));
}

void HeadlessFrame::dragLeave(CDragContainer* drag, CCoord x, CCoord y) {
    frame->platformOnDragLeave(drag, CPoint(x, y));
}

bool HeadlessFrame::drop(CDragContainer* drag, CCoord x, CCoord y) {
    return frame->platformOnDrop(drag, CPoint(x, y));
}

bool HeadlessFrame::keyDown(CKeyCode key) {
    return frame->platformOnKeyDown(key);
}

void HeadlessFrame::render() {
    invalidArea = CRect();
    cairo_t* cr = cairo_create(surface);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    {
        cairo::CairoGraphics graphics(cr);
        frame->platformDrawRect(graphics, CRect(0, 0, size.getWidth(), size.getHeight()));
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
}

void HeadlessFrame::renderInvalid() {
    if (invalidArea.isEmpty())
        return;
    const CRect area = invalidArea;
    invalidArea = CRect();
    cairo_t* cr = cairo_create(surface);
    cairo_rectangle(cr, area.left, area.top, area.getWidth(), area.getHeight());
    cairo_clip(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    {
        cairo::CairoGraphics graphics(cr);
        frame->platformDrawRect(graphics, area);
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
}

CColor HeadlessFrame::pixel(int x, int y) const {
    const int w = cairo_image_surface_get_width(surface);
    const int h = cairo_image_surface_get_height(surface);
    if (x < 0 || y < 0 || x >= w || y >= h)
        return CColor(0, 0, 0, 0);
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const uint32_t v = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
    const uint8_t a = static_cast<uint8_t>(v >> 24);
    auto unpremultiply = [a](uint32_t c) -> uint8_t {
        if (a == 0)
            return 0;
        return static_cast<uint8_t>((c * 255 + a / 2) / a);
    };
    return CColor(unpremultiply((v >> 16) & 0xff), unpremultiply((v >> 8) & 0xff), unpremultiply(v & 0xff), a);
}

bool HeadlessFrame::writePng(const std::string& path) const {
    return cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace rimbrel::gui::headless

// fontconfig keeps its configuration and pattern caches for the life of the
// process; cairo fills them on the first text drawn. They are not leaks of
// ours, so a leak check of any program using this platform ignores them.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
