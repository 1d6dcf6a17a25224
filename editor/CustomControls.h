// The editor's own controls: the drop button and the key name label.
#pragma once

#include <cstdint>
#include <string>

#include "gui/Controls.h"
#include "resources/EditorGeometry.h"

namespace rimbrel {

using gui::CBitmap;
using gui::CButtonState;
using gui::CControlListener;
using gui::CDragContainer;
using gui::CDrawContext;
using gui::CMouseEventResult;
using gui::CPoint;
using gui::CRect;
using gui::CView;

// The picture that takes dropped files and folders: two images stacked
// (normal, highlighted while a drag hovers). It takes no clicks.
class CMyDragButton : public gui::CControl {
public:
    CMyDragButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background);
    CMyDragButton(const CMyDragButton& other) = default;
    ~CMyDragButton() override;

    bool isTypeOf(const char* className) const override;
    CView* newCopy() const override { return new CMyDragButton(*this); }
    void draw(CDrawContext* context) override;
    bool onDrop(CDragContainer* drag, CPoint& where) override;
    void onDragEnter(CDragContainer* drag, CPoint& where) override;
    void onDragLeave(CDragContainer* drag, CPoint& where) override;
    void onDragMove(CDragContainer* drag, CPoint& where) override;
    bool acceptsDrops() const override { return true; }

    bool dropHighlight = false;  // a drag is over the button
};

// The name label of one key. Its control value carries the click code read
// by the listener:
//   1.0 plain (or other-modifier) click in mode 0, 2.1 Control-click in
//   mode 0, 3.1 Control+Shift-click in mode 0, 4.1 Control-click in modes
//   1..5, 5.1 Shift-click in modes 1..5, 0.0 after every release.
// In modes 1..5 a press or drag sets barValue from the horizontal position.
// In mode 0 a drag of this key's name onto another key's name exchanges the
// two: an Alt-press starts the drag at once; a plain press auditions (as a
// click) and becomes a drag when the mouse leaves the label, for desktops
// whose window manager keeps Alt-drags for itself. While dragging, the name
// under the mouse is highlighted; the release clears every highlight.
class CMyTextLabel : public gui::CParamDisplay {
public:
    static constexpr int kKeys = 24;

    // Click codes.
    static constexpr float kClickPlain = 1.0f;
    static constexpr float kClickErase = 2.1f;
    static constexpr float kClickEraseAll = 3.1f;
    static constexpr float kClickReset = 4.1f;
    static constexpr float kClickAudition = 5.1f;
    // How the listener reads a label's value: a code counts from its whole
    // number up (2.0 and above is at least an erase), checked highest first.
    static constexpr bool clickIsAtLeast(float value, float code) { return value >= float(int(code)); }

    CMyTextLabel(const CRect& size, CControlListener* listener, int32_t tag, const char* text,
                 CBitmap* background, int32_t style);
    CMyTextLabel(const CMyTextLabel& other) = default;
    ~CMyTextLabel() override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    bool onDrop(CDragContainer* drag, CPoint& where) override;
    void onDragEnter(CDragContainer* drag, CPoint& where) override;
    void onDragLeave(CDragContainer* drag, CPoint& where) override;
    void onDragMove(CDragContainer* drag, CPoint& where) override;
    bool acceptsDrops() const override { return true; }

    // Stores a copy of `text` (nullptr: empty) and marks the label for
    // redraw, unless it already shows exactly that text.
    virtual void setText(const char* text);
    virtual const char* getText() const { return text.c_str(); }

    // The rectangle of key `index`'s name label, for a label of this one's
    // size. Its top is the window's label top with the part below the first
    // octave's top cut to whole pixels:
    // kFirstLabelTop + trunc(kKeyOffsets[k % 12] + (k / 12) * kOctavePitch).
    CRect labelRect(int index) const;

    // Drawn with the pulsing overlay: files hover over it, it is dragged, or
    // it is the name a drag would exchange with.
    bool isHighlighted() const { return dropHighlight || exchangeHighlight || dragState > 0; }

    // -1 until the first release, 0 idle, 1 during a drag of this label onto
    // another (Alt-drag, or a plain press that left the label).
    int32_t dragState = -1;
    // Key (0..23) whose label is under the mouse during a drag; -1 none.
    int32_t dropTarget = -1;
    bool dropHighlight = false;      // hovering files would land on this key
    bool exchangeHighlight = false;  // another key's name dragged onto this one
    int32_t highlightPhase = 0;      // 0..415, advanced by 24 per highlighted draw
    int32_t displayMode = 0;         // 0 durations, 1 pitch, 2 play mode, 3 direction, 4 volume, 5 pan
    float barValue = 0.f;            // 0..1, the setting shown in modes 1..5
    bool hasName = false;            // the key has a stored name
    uint32_t pressCount = 0;         // left presses so far: tells one drag from the next

private:
    void setCursor(gui::CCursorType type);
    // The name label drawn where key `index`'s label lies, among this
    // label's siblings in the frame; nullptr when there is none.
    CMyTextLabel* siblingLabel(int index) const;
    // Moves the exchange highlight to key `index`'s label (-1: none).
    void highlightExchangeTarget(int index);
    // Ends a drag or a press: no target, no highlight, redrawn.
    void endDrag();

    bool plainPress = false;      // a plain press in mode 0 that is still a click
    int32_t highlightedKey = -1;  // key whose label carries exchangeHighlight

    std::string text;
    bool textSet = false;  // the label holds a text (from the first setText on)
};

}  // namespace rimbrel
