// The editor object: its life, the building of the window, the labels and
// the refresh timer.
#include "editor/ADEditor.h"

#include <cstdio>
#include <cstring>

#include "editor/ModeSwitch.h"
#include "gui/TextFit.h"
#include "kit/SoundFileNames.h"
#include "resources/Resources.h"

namespace rimbrel {

using gui::CColor;
using gui::CRect;

namespace {

std::atomic<ADEditor::PlatformInstaller> platformInstaller{nullptr};

constexpr uint32_t kTimerFirstMs = 240;
constexpr uint32_t kTimerClosedMs = 150;
constexpr uint32_t kTimerOpenMs = 50;

constexpr std::size_t kMaxShownName = 43;

}  // namespace

void ADEditor::setPlatformInstaller(PlatformInstaller installer) {
    platformInstaller.store(installer, std::memory_order_release);
}

ADEditor::ADEditor(Tamblet* owner) : gui::AEffGUIEditor(owner), effect(owner) {
    for (auto& name : keyNames) name[0] = 0;
    editorOpen.store(false, std::memory_order_release);

    backgroundBitmap = new gui::CBitmap(kResourceBackground);
    exportBitmap = new gui::CBitmap(kResourceExportButton);
    exportFieldBitmap = new gui::CBitmap(kResourceExportFieldButton);
    targetBitmap = new gui::CBitmap(kResourceTargetSwitch);
    dropBitmap = new gui::CBitmap(kResourceDropButton);
    modeBitmap = new gui::CBitmap(kResourceModeSwitch);

    rect.top = 0;
    rect.left = 0;
    rect.bottom = static_cast<VstInt16>(backgroundBitmap->getHeight());
    rect.right = static_cast<VstInt16>(backgroundBitmap->getWidth());

    refreshTimer = new gui::CVSTGUITimer(this, kTimerFirstMs);
    refreshTimer->setFireTime(kTimerClosedMs);
    refreshTimer->start();
}

ADEditor::~ADEditor() {
    // The host closes the window before it destroys the effect; one that
    // does not still must not leave a frame pointing at this editor.
    if (frame) close();
    backgroundBitmap->forget();
    exportBitmap->forget();
    exportFieldBitmap->forget();
    targetBitmap->forget();
    dropBitmap->forget();
    modeBitmap->forget();
    refreshTimer->forget();  // stops it
}

bool ADEditor::open(void* parentWindow, void* hostDisplay) {
    if (frame) close();  // a second open without a close: build anew
    gui::AEffGUIEditor::open(parentWindow, hostDisplay);
    if (PlatformInstaller install = platformInstaller.load(std::memory_order_acquire)) install();

    auto* newFrame = new gui::CFrame(CRect(0, 0, rect.right, rect.bottom), getSystemWindow(), this);
    newFrame->setBackground(backgroundBitmap);
    frame = newFrame;

    for (int k = 0; k < kNumKeys; ++k) {
        auto* label = new CMyTextLabel(nameLabelRect(k), this, kTagNameLabel + k, nullptr, nullptr,
                                       gui::kNoFrame);
        label->setFont(gui::kNormalFont);
        label->setBackColor(gui::kTransparentCColor);
        label->setHoriAlign(gui::kLeftText);
        nameLabels[k] = label;
        updateNameLabel(k);
        frame->addView(label);
    }
    for (int k = 0; k < kNumKeys; ++k) {
        auto* label = new gui::CTextLabel(valueLabelRect(k), nullptr, nullptr, gui::kNoFrame);
        label->setFont(gui::kNormalFont);
        label->setFontColor(gui::kGreyCColor);
        label->setBackColor(gui::kTransparentCColor);
        label->setHoriAlign(gui::kRightText);
        valueLabels[k] = label;
        updateValueLabel(k);
        frame->addView(label);
    }
    for (int k = 0; k < kNumKeys; ++k) {
        auto* button = new CKeyButton(keyButtonRect(k), this, kTagKeyButton + k, keyLightRect(k), !isWhiteKey(k));
        button->setValue(0);
        keyButtons[k] = button;
        frame->addView(button);
    }

    totalLabel = new gui::CTextLabel(kTotalLabelRect, nullptr, nullptr, gui::kNoFrame);
    totalLabel->setFont(gui::kNormalFont);
    totalLabel->setBackColor(gui::kTransparentCColor);
    totalLabel->setHoriAlign(gui::kLeftText);
    updateTotalLabel();
    frame->addView(totalLabel);

    const CRect exportRect(kExportButtonOrigin,
                           gui::CPoint(exportBitmap->getWidth(), exportBitmap->getHeight() / 2));
    exportButton = new gui::CKickButton(exportRect, this, kTagExport, exportBitmap, gui::CPoint(0, 0));
    exportButton->setValue(effect ? effect->getParameter(kTagExport) : 0.0f);
    frame->addView(exportButton);

    const CRect dropRect(kDropButtonOrigin, gui::CPoint(dropBitmap->getWidth(), dropBitmap->getHeight() / 2));
    dropButton = new CMyDragButton(dropRect, this, kTagDrop, dropBitmap);
    dropButton->dropHighlight = false;
    frame->addView(dropButton);

    const double modeImageHeight = modeBitmap->getHeight() / kNumDisplayModes;
    const CRect modeRect(kModeSwitchOrigin, gui::CPoint(modeBitmap->getWidth(), modeImageHeight));
    modeSwitch = new ModeSwitch(modeRect, this, kTagModeSwitch, kNumDisplayModes, modeImageHeight, modeBitmap,
                                [this](int32_t icon) { modeIconHovered(icon); });
    frame->addView(modeSwitch);

    const double targetImageHeight = targetBitmap->getHeight() / 2;
    const CRect targetRect(kTargetSwitchOrigin, gui::CPoint(targetBitmap->getWidth(), targetImageHeight));
    targetSwitch = new ModeSwitch(targetRect, this, kTagTargetSwitch, 2, targetImageHeight, targetBitmap,
                                  [this](int32_t half) { targetHalfHovered(half); });
    frame->addView(targetSwitch);

    statusLine = new StatusLine(kStatusLineRect);
    frame->addView(statusLine);

    litKeys = 0;
    showTarget();
    showReplacedKit();
    editorOpen.store(true, std::memory_order_release);
    refreshTimer->setFireTime(kTimerOpenMs);
    return true;
}

void ADEditor::close() {
    refreshTimer->setFireTime(kTimerClosedMs);
    editorOpen.store(false, std::memory_order_release);
    // A key button held when the window goes lets its key go.
    if (effect) effect->kit.releaseAllKeys();
    if (frame) {
        gui::CFrame* old = frame;
        frame = nullptr;
        releaseControls();
        old->forget();  // releases every control in it (and any dialog it runs)
    }
    pendingSelector = kSelectorNone;
    pendingDialog = nullptr;
    gui::AEffGUIEditor::close();
}

void ADEditor::releaseControls() {
    for (int k = 0; k < kNumKeys; ++k) {
        nameLabels[k] = nullptr;
        valueLabels[k] = nullptr;
        keyButtons[k] = nullptr;
    }
    totalLabel = nullptr;
    exportButton = nullptr;
    dropButton = nullptr;
    modeSwitch = nullptr;
    targetSwitch = nullptr;
    statusLine = nullptr;
}

void ADEditor::setParameter(int index, float value) {
    // The audio thread comes here at every note start (index 2): compare
    // and leave before touching any control.
    if (index != kTagExport || !editorOpen.load(std::memory_order_acquire)) return;
    if (exportButton) {
        exportButton->setValue(value != 0.0f ? 1.0f : 0.0f);
        exportButton->setDirty(true);
    }
}

gui::CMessageResult ADEditor::notify(gui::CBaseObject* sender, const char* message) {
    if (gui::isMessage(message, gui::kMsgTimer)) {
        timerRefresh();
        return gui::kMessageNotified;
    }
    if (gui::isMessage(message, gui::kMsgNewFileSelectorSelectEnd)) return selectorEnded(sender);
    return gui::kMessageUnknown;
}

void ADEditor::timerRefresh() {
    if (!frame || !editorOpen.load(std::memory_order_acquire)) return;
    showReplacedKit();
    for (CMyTextLabel* label : nameLabels)
        if (label && label->isHighlighted()) label->setDirty(true);
    refreshLitKeys();
    if (kitTarget() != shownTarget) showTarget();
    if (effect) effect->prepareSavedState();  // one changed key per tick
    if (statusLine) statusLine->tick(frame->getTicks());
    doIdleStuff();  // not re-entered while the editor is in its idle
}

void ADEditor::refreshLitKeys() {
    if (!effect) return;
    const KeyMask lit = effect->kit.takeSoundedKeys();
    const KeyMask changed = lit ^ litKeys;
    litKeys = lit;
    if (!changed) return;
    for (int k = 0; k < kNumKeys; ++k)
        if ((changed & keyBit(k)) && keyButtons[k]) keyButtons[k]->setSounding((lit & keyBit(k)) != 0);
}

int32_t ADEditor::getDisplayMode() const {
    return nameLabels[0] ? nameLabels[0]->displayMode : ModeDuration;
}

bool ADEditor::isKeyNamed(int k) const {
    if (!isKeyIndex(k)) return false;
    const auto first = static_cast<unsigned char>(keyNames[k][0]);
    return first >= 1 && first <= 127;
}

// ---- labels ----

std::string ADEditor::displayName(const char* path) {
    if (!path) return {};
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    std::string shown = withoutSoundFileExtension(std::string(name, strnlen(name, kKeyNameSize)));
    if (shown.size() <= kMaxShownName) return shown;
    // A long name ends with an ellipsis. A cut inside a multi-byte UTF-8
    // character drops that character whole rather than leave half of it.
    std::size_t n = kMaxShownName;
    if ((static_cast<unsigned char>(shown[n]) & 0xC0) == 0x80) {
        std::size_t lead = n;
        while (lead > 0 && (static_cast<unsigned char>(shown[lead]) & 0xC0) == 0x80) --lead;
        if (static_cast<unsigned char>(shown[lead]) >= 0xC0 && n - lead < 4) n = lead;
    }
    shown.resize(n);
    return shown + gui::kEllipsis;
}

void ADEditor::updateNameLabel(int k) {
    if (!isKeyIndex(k) || !nameLabels[k]) return;
    CMyTextLabel* label = nameLabels[k];
    if (isKeyNamed(k)) {
        label->hasName = true;
        label->setText((" " + displayName(keyNames[k])).c_str());
    } else {
        label->hasName = false;
        label->setText("    ");
    }
    label->setDirty(true);
}

// Durations are what the target plays: a key longer than the target holds
// shows the part it plays, in red.
void ADEditor::updateValueLabel(int k) {
    if (!isKeyIndex(k) || !valueLabels[k] || !effect) return;
    const int32_t length = effect->kit.playLength(k);
    char text[32] = "  ";
    if (length > 0) std::snprintf(text, sizeof text, "%.2f", double(length) / kFramesPerSecond);
    if (getDisplayMode() != ModeDuration) return;
    const bool cut = effect->kit.keyLength[k] > targetKeyLimit(shownTarget);
    valueLabels[k]->setFontColor(cut ? gui::kRedCColor : gui::kWhiteCColor);
    valueLabels[k]->setText(text);
}

void ADEditor::updateTotalLabel() {
    if (!totalLabel || !effect) return;
    const int32_t total = kitPlayFrames(effect->kit, shownTarget);
    char text[64];
    std::snprintf(text, sizeof text, "Total Duration (seconds):  %.2f", double(total) / kFramesPerSecond);
    totalLabel->setFontColor(total > targetKitLimit(shownTarget) ? gui::kRedCColor : gui::kWhiteCColor);
    totalLabel->setText(text);
}

void ADEditor::showReplacedKit() {
    if (!kitReplacedPending.exchange(false, std::memory_order_acq_rel)) return;
    forgetUndoHistory();
    for (int k = 0; k < kNumKeys; ++k) refreshKey(k);
    showTarget();
}

KitTarget ADEditor::kitTarget() const {
    return effect ? param::targetFromParameter(effect->getParameter(kParamTarget)) : KitTarget::Op1;
}

void ADEditor::showTarget() {
    shownTarget = kitTarget();
    const bool field = shownTarget == KitTarget::Op1Field;
    if (targetSwitch) {
        targetSwitch->setValue(field ? 1.0f : 0.0f);
        targetSwitch->setDirty(true);
    }
    if (exportButton) {
        exportButton->setBackground(field ? exportFieldBitmap : exportBitmap);
        exportButton->setDirty(true);
    }
    for (int k = 0; k < kNumKeys; ++k) updateValueLabel(k);
    updateTotalLabel();
}

}  // namespace rimbrel
