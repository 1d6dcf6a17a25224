// The root view of a window: holds the views, dispatches mouse, drag and key
// events to them, and draws them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Windows.h"
#include "gui/View.h"

namespace rimbrel::gui {

// What the frame knows of the editor that owns it.
class VSTGUIEditorInterface {
public:
    virtual ~VSTGUIEditorInterface() = default;
    // Lets the owner run its idle processing (redraw, host idle).
    virtual void doIdleStuff() {}
    virtual int32_t getKnobMode() const { return 0; }
    // A key pressed while the window has the keyboard that none of the views
    // used: the editor's own shortcuts. True when used.
    virtual bool onFrameKeyDown(CKeyCode& key) { return false; }
};

class CFrame : public CView, public IPlatformFrameCallback {
public:
    // A frame without platform yet (attach one with setPlatformFrame).
    CFrame(const CRect& size, VSTGUIEditorInterface* editor = nullptr);
    // A frame in `systemWindow`, its platform made by the installed
    // PlatformFrameFactory (none when no factory is installed).
    CFrame(const CRect& size, void* systemWindow, VSTGUIEditorInterface* editor);
    // Releases every view and the platform.
    ~CFrame() override;

    // Takes ownership of `platform` (replacing and deleting any earlier one).
    void setPlatformFrame(IPlatformFrame* platform);
    IPlatformFrame* getPlatformFrame() const { return platform.get(); }
    VSTGUIEditorInterface* getEditor() const { return editor; }

    // Views, in drawing order: later ones lie on top. addView takes over the
    // caller's reference; removeView(view, true) releases it.
    bool addView(CView* view);
    bool removeView(CView* view, bool withForget = true);
    bool removeAll(bool withForget = true);
    bool isChild(CView* view) const;
    int32_t getNbViews() const { return static_cast<int32_t>(views.size()); }
    CView* getView(int32_t index) const;
    // The topmost visible view under `where` (mouse-enabled ones only when
    // asked), or nullptr.
    CView* getViewAt(const CPoint& where, bool mouseEnabledOnly = true) const;

    // Repaint requests from views; they reach the platform.
    void invalidRect(const CRect& rect);
    void invalid() { invalidRect(size); }
    void setDirty(bool state = true) override;
    // Marks dirty views for repaint and lets the platform repaint now.
    void idle();

    // Draws the whole frame (background, then every view clipped to itself).
    void draw(CDrawContext* context) override;
    // Draws what lies within `updateRect`.
    void drawRect(CDrawContext* context, const CRect& updateRect);

    void setCursor(CCursorType type);
    CCursorType getCursor() const { return cursor; }
    uint64_t getTicks() const;
    void showMessageBox(const std::string& caption, const std::string& text);
    // A yes/no question (see IPlatformFrame::askQuestion); false when none
    // can be shown.
    bool askQuestion(const std::string& caption, const std::string& text, QuestionDone done);

    // Views holding the mouse: the one a press is captured by and the one the
    // pointer hovers over (nullptr when none).
    CView* getMouseDownView() const { return mouseDownView; }
    CView* getMouseOverView() const { return mouseOverView; }
    CView* getDragOverView() const { return dragOverView; }

    // Keys from the host or the window system: offered to the views from the
    // top, a key press then to the editor; 1 when one of them used the key,
    // -1 when none did.
    int32_t onKeyDown(CKeyCode& key) override;
    int32_t onKeyUp(CKeyCode& key) override;

    bool isTypeOf(const char* className) const override;
    CView* newCopy() const override { return nullptr; }

    // --- IPlatformFrameCallback: events from the platform ---
    void platformDrawRect(IPlatformGraphics& graphics, const CRect& updateRect) override;
    CMouseEventResult platformOnMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult platformOnMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult platformOnMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult platformOnMouseExited(CPoint& where, const CButtonState& buttons) override;
    DragOperation platformOnDragEnter(CDragContainer* drag, const CPoint& where) override;
    DragOperation platformOnDragMove(CDragContainer* drag, const CPoint& where) override;
    void platformOnDragLeave(CDragContainer* drag, const CPoint& where) override;
    bool platformOnDrop(CDragContainer* drag, const CPoint& where) override;
    bool platformOnKeyDown(CKeyCode& key) override { return onKeyDown(key) > 0; }
    bool platformOnKeyUp(CKeyCode& key) override { return onKeyUp(key) > 0; }

    // The same events under their toolkit names.
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseExited(CPoint& where, const CButtonState& buttons) override;

private:
    void setMouseDownView(CView* view);
    void setMouseOverView(CView* view, CPoint& where, const CButtonState& buttons);
    void setDragOverView(CView* view);
    DragOperation dragOperationFor(CView* view) const;

    std::vector<CView*> views;
    std::unique_ptr<IPlatformFrame> platform;
    VSTGUIEditorInterface* editor;
    CView* mouseDownView = nullptr;
    CView* mouseOverView = nullptr;
    CView* dragOverView = nullptr;
    CCursorType cursor = kCursorDefault;
};

}  // namespace rimbrel::gui
