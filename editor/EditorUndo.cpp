// Undo of the window's last changes to the kit: the status line's "Undo"
// after an erase, an exchange or a drop that replaced keys, and Ctrl+Z.
#include <string>

#include "editor/ADEditor.h"

namespace rimbrel {

// Nothing to undo about a key that is empty, unnamed and at its defaults.
bool ADEditor::isKeyBlank(int k) const {
    return effect && effect->kit.keyLength[k] == 0 && keyNames[k][0] == 0 &&
           readKeySettings(effect->kit, k) == KeySettings{};
}

bool ADEditor::undo() {
    if (!effect) return false;
    const KeyMask keys = undoHistory.undo(effect->kit, keyNames);
    if (!keys) return false;
    for (int k = 0; k < kNumKeys; ++k)
        if (keys & keyBit(k)) refreshKey(k);
    updateTotalLabel();
    showStatus("Undone");
    return true;
}

// A key put back: its name, and its duration or the setting on show.
void ADEditor::refreshKey(int k) {
    updateNameLabel(k);
    updateValueLabel(k);
    const int m = getDisplayMode();
    if (m == ModeDuration || !nameLabels[k]) return;
    const int32_t p = parameterBank(m) + k;
    nameLabels[k]->barValue = effect->getParameter(p);
    char text[64] = {};
    effect->getParameterDisplay(p, text);
    if (valueLabels[k]) valueLabels[k]->setText(text);
    nameLabels[k]->setDirty(true);
}

bool ADEditor::onFrameKeyDown(gui::CKeyCode& key) {
    constexpr uint8_t kModifiers =
        gui::kModifierShift | gui::kModifierAlternate | gui::kModifierControl | gui::kModifierCommand;
    // Ctrl+Z arrives as 'z' (or 'Z') with the Control bit; some hosts pass the
    // control character itself (26).
    const bool isZ = key.character == 'z' || key.character == 'Z' || key.character == 26;
    if (!isZ || (key.modifier & kModifiers) != gui::kModifierControl) return false;
    // With nothing to undo the key is the host's.
    return isEditorOpen() && undo();
}

// The status line tells what the change did and offers to undo it, as long
// as it is still the newest change.
void ADEditor::offerUndo(const std::string& text) {
    const uint64_t step = undoHistory.newestStep();
    if (!step) return;
    showStatus(text, [this, step] {
        if (undoHistory.newestStep() != step) {
            showStatus("Not undone: later changes come first (Ctrl+Z undoes them one by one)");
            return;
        }
        undo();
    });
}

}  // namespace rimbrel
