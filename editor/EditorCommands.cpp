// What the window's controls do: audition, erase, exchange keys, edit the
// per-key settings from the name labels, and switch the display mode and
// the kit target. The export button is in EditorExport.cpp.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "editor/ADEditor.h"
#include "editor/DropSummary.h"
#include "kit/KeyAudio.h"

namespace rimbrel {

namespace {

// Value-label colours of the setting modes (durations are white or red).
constexpr gui::CColor kValueColorBlue{60, 163, 189, 128};  // pitch, direction
constexpr gui::CColor kValueColorPink{255, 58, 93, 138};   // play mode, volume

gui::CColor valueLabelColor(int m) {
    switch (m) {
        case ModePitch:
        case ModeReverse:
        case ModePan: return kValueColorBlue;
        case ModePlayMode:
        case ModeVolume: return kValueColorPink;
        default: return gui::kGreyCColor;
    }
}

}  // namespace

void ADEditor::valueChanged(gui::CControl* control) {
    if (!control || !isEditorOpen()) return;
    const int32_t tag = control->getTag();
    if (tag >= kTagKeyButton && tag < kTagKeyButton + kNumKeys)
        keyButtonChanged(tag - kTagKeyButton);
    else if (tag >= kTagNameLabel && tag < kTagNameLabel + kNumKeys)
        nameLabelChanged(tag - kTagNameLabel);
    else if (tag == kTagExport)
        exportButtonChanged();
    else if (tag == kTagModeSwitch)
        modeSwitchChanged();
    else if (tag == kTagTargetSwitch)
        targetSwitchChanged();
    // The drop button (and anything else) reports nothing to act on.
}

void ADEditor::audition(int k) {
    // The effect turns this into a request the audio thread starts.
    if (effect) effect->setParameter(kParamAudition, float(k));
}

// Any change of a key button (a left click toggles it) auditions the key;
// the toggled value itself means nothing. The key stays held while the
// button is down, so a loop key sounds until the release.
void ADEditor::keyButtonChanged(int k) {
    CKeyButton* button = keyButtons[k];
    if (button && button->isReleasing()) {
        effect->kit.releaseKey(k);
        return;
    }
    if (button && button->isPressed()) effect->kit.holdKey(k);
    audition(k);
}

void ADEditor::nameLabelChanged(int k) {
    CMyTextLabel* label = nameLabels[k];
    if (!label) return;
    if (label->dragState > 0) {
        swapKeys(k);
        return;
    }
    if (label->displayMode != ModeDuration) {
        editSetting(k);
        return;
    }
    const float v = label->getValue();
    if (CMyTextLabel::clickIsAtLeast(v, CMyTextLabel::kClickEraseAll))
        eraseAllKeys();
    else if (CMyTextLabel::clickIsAtLeast(v, CMyTextLabel::kClickErase))
        eraseKey(k);
    else
        audition(k);
}

// ---- erase ----

void ADEditor::eraseKey(int k) {
    if (!isKeyIndex(k) || !effect) return;
    const bool changes = !isKeyBlank(k);
    if (changes) undoHistory.recordKeys(effect->kit, keyNames, keyBit(k));
    clearKey(k);
    if (changes) offerUndo(keyNoteName(k) + " erased");
}

void ADEditor::eraseAllKeys() {
    if (!effect) return;
    KeyMask filled = 0;
    for (int k = 0; k < kNumKeys; ++k)
        if (!isKeyBlank(k)) filled |= keyBit(k);
    if (filled) undoHistory.recordKeys(effect->kit, keyNames, filled);
    for (int k = 0; k < kNumKeys; ++k) clearKey(k);
    if (filled) offerUndo("All keys erased");
}

// Empties key k and resets its settings (what an erase does, unrecorded).
void ADEditor::clearKey(int k) {
    eraseKeyAudio(effect->kit, k);
    keyNames[k][0] = 0;
    if (nameLabels[k]) nameLabels[k]->hasName = false;
    updateValueLabel(k);
    updateTotalLabel();
    if (nameLabels[k]) {
        nameLabels[k]->setText("  ");
        nameLabels[k]->setDirty(true);
    }
    effect->setParameter(kParamPitch + k, defaultSettingValue(ModePitch));
    effect->setParameter(kParamPlayMode + k, defaultSettingValue(ModePlayMode));
    effect->setParameter(kParamReverse + k, defaultSettingValue(ModeReverse));
    effect->setParameter(kParamVolume + k, defaultSettingValue(ModeVolume));
    effect->setParameter(kParamPan + k, defaultSettingValue(ModePan));
}

// ---- exchange by dragging a name onto another ----

// Runs when a drag of key k's name label (plain or Alt) is released.
void ADEditor::swapKeys(int k) {
    if (frame) frame->setCursor(gui::kCursorDefault);
    CMyTextLabel* label = nameLabels[k];
    const int f = label->dropTarget;

    // The dragged key is stopped whatever follows.
    int g = -1;
    if (f != -1)
        for (int i = 0; i < kNumKeys; ++i)
            if (nameLabels[i] && nameLabels[i]->dragState == 1) g = i;
    const bool exchange = f != -1 && isKeyIndex(f) && label->dragState == 1 && g != f && g >= 0;

    if (exchange) undoHistory.recordKeys(effect->kit, keyNames, keyBit(g) | keyBit(f));
    // The kit stops the dragged key and exchanges the two keys' audio.
    stopAndExchangeKeys(effect->kit, k, exchange ? g : -1, exchange ? f : -1);
    if (!exchange) return;
    exchangeKeyNames(g, f);
    offerUndo(keyNoteName(g) + " and " + keyNoteName(f) + " exchanged");
}

// After the kit exchanged the audio of keys g and f: their stored paths and
// name labels follow it, and their duration labels and the total show it.
void ADEditor::exchangeKeyNames(int g, int f) {
    // The whole stored paths change places (up to 511 characters each).
    char held[kKeyNameSize];
    std::memcpy(held, keyNames[g], kKeyNameSize);
    std::memcpy(keyNames[g], keyNames[f], kKeyNameSize);
    std::memcpy(keyNames[f], held, kKeyNameSize);

    CMyTextLabel* labelG = nameLabels[g];
    CMyTextLabel* labelF = nameLabels[f];
    const std::string textG = labelG->getText();
    const std::string textF = labelF->getText();
    labelG->setText(textF.c_str());
    labelF->setText(textG.c_str());
    std::swap(labelG->hasName, labelF->hasName);

    updateValueLabel(f);
    updateValueLabel(g);
    updateTotalLabel();
    labelG->setDirty(true);
    labelF->setDirty(true);
}

// ---- settings from the name labels (modes 1..5) ----

void ADEditor::editSetting(int k) {
    CMyTextLabel* label = nameLabels[k];
    if (!label->hasName) return;
    const int m = label->displayMode;
    const int32_t p = parameterBank(m) + k;
    if (parameterBank(m) == 0) return;
    const float v = label->getValue();
    if (CMyTextLabel::clickIsAtLeast(v, CMyTextLabel::kClickAudition)) {
        audition(k);
        return;
    }
    const KeySettings before = readKeySettings(effect->kit, k);
    if (CMyTextLabel::clickIsAtLeast(v, CMyTextLabel::kClickReset))
        effect->setParameter(p, defaultSettingValue(m));
    else
        effect->setParameter(p, label->barValue);
    // One undo step per press: a drag along the label is one change.
    if (readKeySettings(effect->kit, k) != before)
        undoHistory.recordSettings(k, before, (int64_t(label->pressCount) << 16) | p);
    // The bar snaps to the step the effect stored.
    label->barValue = effect->getParameter(p);
    char text[64] = {};
    effect->getParameterDisplay(p, text);
    if (valueLabels[k]) valueLabels[k]->setText(text);
    label->setDirty(true);
}

// ---- display mode ----

void ADEditor::modeSwitchChanged() {
    if (!modeSwitch || !nameLabels[0]) return;
    const int m = modeSwitch->getPosition();
    if (m < 0 || m >= kNumDisplayModes || m == getDisplayMode()) return;
    for (int k = 0; k < kNumKeys; ++k) {
        CMyTextLabel* label = nameLabels[k];
        gui::CTextLabel* value = valueLabels[k];
        value->setHoriAlign((m == ModePlayMode || m == ModeReverse) ? gui::kCenterText : gui::kRightText);
        value->setFontColor(valueLabelColor(m));
        label->barValue = m > 0 ? effect->getParameter(parameterBank(m) + k) : 0.0f;
        label->displayMode = m;
        if (m > 0) {
            char text[64] = {};
            effect->getParameterDisplay(parameterBank(m) + k, text);
            value->setText(text);
        } else {
            updateNameLabel(k);
            updateValueLabel(k);
        }
        label->setDirty(true);
    }
}

// ---- kit target ----

// The target is the effect's setting, kept while the plug-in lives; the
// window shows the kit under the new one at once.
void ADEditor::targetSwitchChanged() {
    if (!targetSwitch || !effect) return;
    const KitTarget target = targetSwitch->getPosition() == 1 ? KitTarget::Op1Field : KitTarget::Op1;
    if (target != kitTarget()) effect->setParameter(kParamTarget, param::targetToParameter(target));
    showTarget();
}

}  // namespace rimbrel
