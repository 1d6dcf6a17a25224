// The status line under the total duration: one line that says what the last
// drop or export did, for a few seconds or until the next message, and what
// lies under the mouse (a key's full path, a mode icon's name) while it
// rests there. A message may carry an action ("Undo"): its label is drawn as
// a small button at the line's end, and a click on it runs the action.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "gui/Controls.h"

namespace rimbrel {

class StatusLine : public gui::CControl {
public:
    // How long a message stays when no other follows, in the frame's ticks
    // (milliseconds).
    static constexpr uint64_t kMessageLifeMs = 6000;
    // Width of the action's button at the right end of the line.
    static constexpr double kActionWidth = 64;

    explicit StatusLine(const gui::CRect& size);
    StatusLine(const StatusLine& other) = default;

    // Shows `text` from `nowMs` on, replacing whatever message was shown.
    void showMessage(const std::string& text, std::function<void()> action, const std::string& actionLabel,
                     uint64_t nowMs);
    // Shows `text` over the message while the mouse rests on something;
    // an empty text lets the message show again.
    void setHint(const std::string& text);
    // Drops the message once its time is over (called by the refresh timer).
    void tick(uint64_t nowMs);

    // What the line shows now: the hint, else the message, else nothing.
    const std::string& shownText() const { return hint.empty() ? message : hint; }
    const std::string& getMessage() const { return message; }
    const std::string& getHint() const { return hint; }
    // The action's label while the message offers one, else empty.
    std::string shownActionLabel() const { return action && hint.empty() ? actionLabel : std::string(); }
    // Where a click runs the action (only while one is shown).
    gui::CRect actionRect() const;
    // Runs the message's action once: the message gives it up first, so a
    // second click does nothing.
    void runAction();

    void draw(gui::CDrawContext* context) override;
    gui::CMouseEventResult onMouseDown(gui::CPoint& where, const gui::CButtonState& buttons) override;
    bool isTypeOf(const char* className) const override;
    gui::CView* newCopy() const override { return new StatusLine(*this); }

private:
    std::string message;
    std::string hint;
    std::function<void()> action;
    std::string actionLabel;
    uint64_t expiryMs = 0;
};

// `text` cut to fit `width` pixels in the context's font, ending with an
// ellipsis when cut, never inside a UTF-8 character.
std::string fitToWidth(gui::CDrawContext* context, const std::string& text, double width);

}  // namespace rimbrel
