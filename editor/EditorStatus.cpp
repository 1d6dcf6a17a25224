// The status line's messages, and the hints it shows while the mouse rests
// on a key's name or a mode icon.
#include "editor/ADEditor.h"
#include "editor/ModeSwitch.h"

namespace rimbrel {

void ADEditor::showStatus(const std::string& text, std::function<void()> action, const std::string& actionLabel) {
    if (!statusLine || !frame) return;
    statusLine->showMessage(text, std::move(action), actionLabel, frame->getTicks());
}

void ADEditor::HandleMouseEntered(gui::CControl* control) {
    if (!control || !statusLine) return;
    const int k = control->getTag() - kTagNameLabel;
    if (isKeyIndex(k) && control == nameLabels[k]) statusLine->setHint(isKeyNamed(k) ? keyNames[k] : "");
}

void ADEditor::HandleMouseExited(gui::CControl* control) {
    if (!control || !statusLine) return;
    const int k = control->getTag() - kTagNameLabel;
    if (isKeyIndex(k) && control == nameLabels[k]) statusLine->setHint("");
}

void ADEditor::modeIconHovered(int32_t icon) {
    if (statusLine) statusLine->setHint(icon < 0 ? "" : modeHint(icon, kitTarget()));
}

void ADEditor::targetHalfHovered(int32_t half) {
    if (statusLine) statusLine->setHint(half < 0 ? "" : targetHint(half));
}

}  // namespace rimbrel
