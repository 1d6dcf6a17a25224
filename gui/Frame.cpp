#include "gui/Frame.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "gui/Bitmap.h"
#include "gui/DrawContext.h"
#include "gui/Timer.h"

namespace rimbrel::gui {

namespace {
std::mutex factoryMutex;
PlatformFrameFactory& factorySlot() {
    static PlatformFrameFactory factory;
    return factory;
}

// Keeps a view alive while one of its handlers runs (a handler may remove it).
class ViewGuard {
public:
    explicit ViewGuard(CView* v) : view(v) {
        if (view)
            view->remember();
    }
    ~ViewGuard() {
        if (view)
            view->forget();
    }
    ViewGuard(const ViewGuard&) = delete;
    ViewGuard& operator=(const ViewGuard&) = delete;

private:
    CView* view;
};
}  // namespace

PlatformFrameFactory setPlatformFrameFactory(PlatformFrameFactory factory) {
    std::lock_guard<std::mutex> lock(factoryMutex);
    PlatformFrameFactory previous = std::move(factorySlot());
    factorySlot() = std::move(factory);
    return previous;
}

const PlatformFrameFactory& getPlatformFrameFactory() {
    std::lock_guard<std::mutex> lock(factoryMutex);
    return factorySlot();
}

CFrame::CFrame(const CRect& r, VSTGUIEditorInterface* ed) : CView(r), editor(ed) {}

CFrame::CFrame(const CRect& r, void* systemWindow, VSTGUIEditorInterface* ed) : CView(r), editor(ed) {
    PlatformFrameFactory factory;
    {
        std::lock_guard<std::mutex> lock(factoryMutex);
        factory = factorySlot();
    }
    if (factory)
        platform.reset(factory(this, r, systemWindow));
}

CFrame::~CFrame() {
    removeAll(true);
    platform.reset();
}

void CFrame::setPlatformFrame(IPlatformFrame* p) {
    platform.reset(p);
}

bool CFrame::addView(CView* view) {
    if (!view || isChild(view))
        return false;
    views.push_back(view);
    view->setFrame(this);
    view->setDirty(true);
    return true;
}

bool CFrame::removeView(CView* view, bool withForget) {
    auto it = std::find(views.begin(), views.end(), view);
    if (it == views.end())
        return false;
    invalidRect(view->getViewSize());
    views.erase(it);
    if (mouseDownView == view)
        setMouseDownView(nullptr);
    if (mouseOverView == view) {
        mouseOverView->forget();
        mouseOverView = nullptr;
    }
    if (dragOverView == view)
        setDragOverView(nullptr);
    view->setFrame(nullptr);
    if (withForget)
        view->forget();
    return true;
}

bool CFrame::removeAll(bool withForget) {
    setMouseDownView(nullptr);
    if (mouseOverView) {
        mouseOverView->forget();
        mouseOverView = nullptr;
    }
    setDragOverView(nullptr);
    std::vector<CView*> old;
    old.swap(views);
    for (CView* v : old) {
        v->setFrame(nullptr);
        if (withForget)
            v->forget();
    }
    return true;
}

bool CFrame::isChild(CView* view) const {
    return std::find(views.begin(), views.end(), view) != views.end();
}

CView* CFrame::getView(int32_t index) const {
    if (index < 0 || index >= getNbViews())
        return nullptr;
    return views[static_cast<std::size_t>(index)];
}

CView* CFrame::getViewAt(const CPoint& where, bool mouseEnabledOnly) const {
    for (auto it = views.rbegin(); it != views.rend(); ++it) {
        CView* v = *it;
        if (!v->isVisible() || (mouseEnabledOnly && !v->getMouseEnabled()))
            continue;
        if (v->hitTest(where))
            return v;
    }
    return nullptr;
}

void CFrame::invalidRect(const CRect& rect) {
    CRect r = rect;
    r.bound(size);
    if (platform && !r.isEmpty())
        platform->invalidRect(r);
}

void CFrame::setDirty(bool state) {
    dirty = state;
    if (state)
        invalid();
}

void CFrame::idle() {
    for (CView* v : views)
        if (v->isDirty() && v->isVisible())
            invalidRect(v->getViewSize());
    if (platform)
        platform->updateNow();
}

void CFrame::draw(CDrawContext* context) {
    drawRect(context, size);
}

void CFrame::drawRect(CDrawContext* context, const CRect& updateRect) {
    CRect area = updateRect;
    area.bound(size);
    if (area.isEmpty())
        return;
    context->saveState();
    context->clipRect(area);
    if (background)
        background->draw(context, size);
    // Each view draws clipped to its own rectangle, so nothing it paints
    // outside it can outlive a repaint of its rectangle.
    const std::vector<CView*> snapshot = views;
    for (CView* v : snapshot) {
        if (!v->isVisible() || !v->getViewSize().rectOverlap(area))
            continue;
        context->saveState();
        context->clipRect(v->getViewSize());
        v->draw(context);
        context->restoreState();
    }
    context->restoreState();
    if (area == size)
        dirty = false;
}

void CFrame::setCursor(CCursorType type) {
    cursor = type;
    if (platform)
        platform->setMouseCursor(type);
}

uint64_t CFrame::getTicks() const {
    return platform ? platform->getTicks() : CTimerService::now();
}

void CFrame::showMessageBox(const std::string& caption, const std::string& text) {
    if (platform)
        platform->showMessageBox(caption, text);
}

bool CFrame::askQuestion(const std::string& caption, const std::string& text, QuestionDone done) {
    return platform && platform->askQuestion(caption, text, std::move(done));
}

int32_t CFrame::onKeyDown(CKeyCode& key) {
    const std::vector<CView*> snapshot = views;
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it)
        if ((*it)->onKeyDown(key) > 0)
            return 1;
    if (editor && editor->onFrameKeyDown(key))
        return 1;
    return -1;
}

int32_t CFrame::onKeyUp(CKeyCode& key) {
    const std::vector<CView*> snapshot = views;
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it)
        if ((*it)->onKeyUp(key) > 0)
            return 1;
    return -1;
}

bool CFrame::isTypeOf(const char* className) const {
    return (className && std::strcmp(className, "CFrame") == 0) || CView::isTypeOf(className);
}

// --- mouse ---

void CFrame::setMouseDownView(CView* view) {
    if (view == mouseDownView)
        return;
    if (view)
        view->remember();
    CView* old = mouseDownView;
    mouseDownView = view;
    if (old)
        old->forget();
}

void CFrame::setMouseOverView(CView* view, CPoint& where, const CButtonState& buttons) {
    if (view == mouseOverView)
        return;
    CView* old = mouseOverView;
    mouseOverView = view;
    if (view)
        view->remember();
    if (old) {
        CPoint p = where;
        old->onMouseExited(p, buttons);
        old->forget();
    }
    if (view && mouseOverView == view) {
        CPoint p = where;
        view->onMouseEntered(p, buttons);
    }
}

CMouseEventResult CFrame::platformOnMouseDown(CPoint& where, const CButtonState& buttons) {
    if (mouseDownView) {
        // Another button pressed while a press is being tracked.
        CView* v = mouseDownView;
        ViewGuard guard(v);
        CPoint p = where;
        return v->onMouseDown(p, buttons);
    }
    CView* v = getViewAt(where, true);
    if (!v)
        return kMouseEventNotHandled;
    ViewGuard guard(v);
    CPoint p = where;
    CMouseEventResult result = v->onMouseDown(p, buttons);
    if (result == kMouseEventNotImplemented)
        result = kMouseEventNotHandled;
    if (result == kMouseEventHandled && isChild(v))
        setMouseDownView(v);
    return result;
}

CMouseEventResult CFrame::platformOnMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (mouseDownView) {
        CView* v = mouseDownView;
        ViewGuard guard(v);
        CPoint p = where;
        CMouseEventResult result = v->onMouseMoved(p, buttons);
        return result == kMouseEventNotImplemented ? kMouseEventNotHandled : result;
    }
    CView* v = getViewAt(where, true);
    setMouseOverView(v, where, buttons);
    // Moves with a button held but no captured press reach no view: the press
    // that started them was declined or wanted no further events.
    if (!v || buttons.anyButton())
        return kMouseEventNotHandled;
    ViewGuard guard(v);
    CPoint p = where;
    CMouseEventResult result = v->onMouseMoved(p, buttons);
    return result == kMouseEventNotImplemented ? kMouseEventNotHandled : result;
}

CMouseEventResult CFrame::platformOnMouseUp(CPoint& where, const CButtonState& buttons) {
    CMouseEventResult result = kMouseEventNotHandled;
    if (mouseDownView) {
        CView* v = mouseDownView;
        ViewGuard guard(v);
        setMouseDownView(nullptr);
        CPoint p = where;
        result = v->onMouseUp(p, buttons);
        if (result == kMouseEventNotImplemented)
            result = kMouseEventNotHandled;
    }
    CView* over = getViewAt(where, true);
    setMouseOverView(over, where, 0);
    return result;
}

CMouseEventResult CFrame::platformOnMouseExited(CPoint& where, const CButtonState& buttons) {
    setMouseOverView(nullptr, where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult CFrame::onMouseDown(CPoint& where, const CButtonState& buttons) {
    return platformOnMouseDown(where, buttons);
}

CMouseEventResult CFrame::onMouseUp(CPoint& where, const CButtonState& buttons) {
    return platformOnMouseUp(where, buttons);
}

CMouseEventResult CFrame::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    return platformOnMouseMoved(where, buttons);
}

CMouseEventResult CFrame::onMouseExited(CPoint& where, const CButtonState& buttons) {
    return platformOnMouseExited(where, buttons);
}

// --- drag and drop ---

void CFrame::setDragOverView(CView* view) {
    if (view == dragOverView)
        return;
    if (view)
        view->remember();
    CView* old = dragOverView;
    dragOverView = view;
    if (old)
        old->forget();
}

DragOperation CFrame::dragOperationFor(CView* view) const {
    return view && view->acceptsDrops() ? DragOperation::Copy : DragOperation::None;
}

DragOperation CFrame::platformOnDragEnter(CDragContainer* drag, const CPoint& where) {
    CView* v = getViewAt(where, true);
    if (dragOverView && dragOverView != v)
        platformOnDragLeave(drag, where);
    setDragOverView(v);
    if (!v)
        return DragOperation::None;
    ViewGuard guard(v);
    CPoint p = where;
    v->onDragEnter(drag, p);
    return dragOperationFor(v);
}

DragOperation CFrame::platformOnDragMove(CDragContainer* drag, const CPoint& where) {
    CView* v = getViewAt(where, true);
    if (v != dragOverView)
        return platformOnDragEnter(drag, where);
    if (!v)
        return DragOperation::None;
    ViewGuard guard(v);
    CPoint p = where;
    v->onDragMove(drag, p);
    return dragOperationFor(v);
}

void CFrame::platformOnDragLeave(CDragContainer* drag, const CPoint& where) {
    CView* v = dragOverView;
    if (!v)
        return;
    ViewGuard guard(v);
    setDragOverView(nullptr);
    CPoint p = where;
    v->onDragLeave(drag, p);
}

bool CFrame::platformOnDrop(CDragContainer* drag, const CPoint& where) {
    CView* v = getViewAt(where, true);
    if (v != dragOverView) {
        platformOnDragLeave(drag, where);
        setDragOverView(v);
    }
    if (!v)
        return false;
    ViewGuard guard(v);
    CPoint p = where;
    const bool taken = v->onDrop(drag, p);
    // Every drop is followed by a leave of the view it landed on.
    setDragOverView(nullptr);
    p = where;
    v->onDragLeave(drag, p);
    return taken;
}

// --- drawing requested by the platform ---

void CFrame::platformDrawRect(IPlatformGraphics& graphics, const CRect& updateRect) {
    CDrawContext context(graphics);
    drawRect(&context, updateRect);
}

}  // namespace rimbrel::gui
