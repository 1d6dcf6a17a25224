#include "editor/StatusLine.h"

#include <cstring>
#include <utility>

namespace rimbrel {

namespace {

// The artwork's colours: the light grey of its line drawing, and the green
// of the selected mode icon.
constexpr gui::CColor kTextColour{206, 206, 206};
constexpr gui::CColor kActionColour{0, 171, 107};

constexpr const char* kEllipsis = "\xE2\x80\xA6";

}  // namespace

StatusLine::StatusLine(const gui::CRect& area) : gui::CControl(area) {}

void StatusLine::showMessage(const std::string& text, std::function<void()> newAction,
                             const std::string& newActionLabel, uint64_t nowMs) {
    message = text;
    action = std::move(newAction);
    actionLabel = newActionLabel;
    expiryMs = nowMs + kMessageLifeMs;
    setDirty(true);
}

void StatusLine::setHint(const std::string& text) {
    if (text == hint) return;
    hint = text;
    setDirty(true);
}

void StatusLine::tick(uint64_t nowMs) {
    if (message.empty() || nowMs < expiryMs) return;
    message.clear();
    action = nullptr;
    actionLabel.clear();
    setDirty(true);
}

gui::CRect StatusLine::actionRect() const {
    if (shownActionLabel().empty()) return {};
    return {size.right - kActionWidth, size.top, size.right, size.bottom};
}

void StatusLine::runAction() {
    if (!action) return;
    // The action may post a message of its own: take it out first.
    std::function<void()> run = std::move(action);
    action = nullptr;
    actionLabel.clear();
    setDirty(true);
    run();
}

gui::CMouseEventResult StatusLine::onMouseDown(gui::CPoint& where, const gui::CButtonState& buttons) {
    if (!buttons.isLeftButton() || !actionRect().pointInside(where)) return gui::kMouseEventNotHandled;
    runAction();
    return gui::kMouseEventHandled;
}

void StatusLine::draw(gui::CDrawContext* context) {
    context->setFont(gui::kNormalFont);
    gui::CRect textRect = size;
    const std::string label = shownActionLabel();
    if (!label.empty()) {
        gui::CRect button = actionRect();
        button.left += 6;
        button.top += 1;
        button.bottom -= 1;
        context->setFrameColor(kActionColour);
        context->setLineWidth(1);
        context->drawRect(button, gui::kDrawStroked);
        context->setFontColor(kActionColour);
        context->drawString(label.c_str(), button, gui::kCenterText);
        textRect.right = button.left - 6;
    }
    context->setFontColor(kTextColour);
    context->drawString(fitToWidth(context, shownText(), textRect.getWidth()).c_str(), textRect, gui::kLeftText);
    dirty = false;
}

bool StatusLine::isTypeOf(const char* className) const {
    return (className && std::strcmp(className, "StatusLine") == 0) || gui::CControl::isTypeOf(className);
}

std::string fitToWidth(gui::CDrawContext* context, const std::string& text, double width) {
    if (context->getStringWidth(text.c_str()) <= width) return text;
    // The longest start of the text (whole characters) that fits with the
    // ellipsis, found by halving.
    auto startOf = [&text](std::size_t n) {
        while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
        return text.substr(0, n) + kEllipsis;
    };
    std::size_t fits = 0;
    std::size_t tooLong = text.size();
    while (tooLong - fits > 1) {
        const std::size_t middle = (fits + tooLong) / 2;
        if (context->getStringWidth(startOf(middle).c_str()) <= width)
            fits = middle;
        else
            tooLong = middle;
    }
    return startOf(fits);
}

}  // namespace rimbrel
