// The export button: checks what there is to export, asks for a path in a
// save dialog, and on the dialog's answer writes the kit file or the per-key
// files.

#include "editor/ADEditor.h"
#include "formats/KitExport.h"

namespace rimbrel {

namespace {
const char* const kTitleKitExport = "Export Op1 Kit as..";
const char* const kTitleIndividualExport = "Export individual files As..";
const char* const kTooLongCaption = "Total Duration too long!";
const char* const kTooLongText = "please erase some sounds (Ctrl-click) or replace with shorter ones!";

// Keys that are named and hold audio: an export needs at least one.
int namedAndFilledKeys(const ADEditor& editor, const Kit& kit) {
    int ready = 0;
    for (int k = 0; k < kNumKeys; ++k)
        if (editor.isKeyNamed(k) && kit.keyLength[k] > 0) ++ready;
    return ready;
}

int32_t totalFrames(const Kit& kit) {
    // Each key holds at most 529200 frames, so 24 of them fit an int32.
    int32_t total = 0;
    for (int k = 0; k < kNumKeys; ++k) total += kit.keyLength[k];
    return total;
}

}  // namespace

void ADEditor::exportButtonChanged() {
    // A click released inside reports 1, then 0: act on the first only.
    if (!exportButton || exportButton->getValue() <= 0.5f) return;
    // One save dialog at a time: a click while one is open brings nothing new.
    if (pendingSelector != kSelectorNone) return;
    if (namedAndFilledKeys(*this, effect->kit) == 0) return;

    // Shift-click (left button and Shift, nothing else): one file per key,
    // whatever the total.
    if (exportButton->getLastButtonState().getButtonState() == (gui::kLButton | gui::kShift)) {
        openExportSelector(kTitleIndividualExport, kSelectorIndividualExport);
        return;
    }

    if (totalFrames(effect->kit) > kMaxKitFrames) {
        if (frame) frame->showMessageBox(kTooLongCaption, kTooLongText);
        return;
    }
    openExportSelector(kTitleKitExport, kSelectorKitExport);
}

void ADEditor::openExportSelector(const char* title, int32_t kind) {
    gui::CNewFileSelector* selector = gui::CNewFileSelector::create(frame, gui::CNewFileSelector::kSelectSaveFile);
    if (!selector) return;
    // The kind belongs to this dialog; its answer is matched to it by sender.
    pendingSelector = kind;
    pendingDialog = selector;
    selector->addFileExtension(gui::CFileExtension{"AIFF", "aif", "audio/x-aiff"});
    selector->setTitle(title);
    // The selector keeps itself and this editor alive until its answer.
    if (!selector->run(this) && pendingDialog == selector) {
        pendingSelector = kSelectorNone;
        pendingDialog = nullptr;
    }
    selector->forget();
}

gui::CMessageResult ADEditor::selectorEnded(gui::CBaseObject* sender) {
    auto* selector = dynamic_cast<gui::CNewFileSelector*>(sender);
    if (!selector) return gui::kMessageUnknown;
    // The answer of a dialog this editor no longer waits for (the window
    // was closed and opened again meanwhile) writes nothing.
    if (selector != pendingDialog) return gui::kMessageNotified;
    const int32_t kind = pendingSelector;
    pendingSelector = kSelectorNone;
    pendingDialog = nullptr;
    // The whole chosen path goes to the export, which refuses one that does
    // not fit its buffers rather than writing to a shortened path.
    if (selector->getNumSelectedFiles() > 0) {
        if (const char* path = selector->getSelectedFile(0)) exportTo(path, kind);
    }
    return gui::kMessageNotified;
}

void ADEditor::exportTo(const std::string& path, int32_t kind) {
    if (!effect) return;
    // The kit may have changed while the dialog was open (keys loaded,
    // erased, exchanged): the button's checks are made again.
    if (namedAndFilledKeys(*this, effect->kit) == 0) return;
    if (kind != kSelectorIndividualExport && totalFrames(effect->kit) > kMaxKitFrames) {
        if (frame) frame->showMessageBox(kTooLongCaption, kTooLongText);
        return;
    }
    const char* names[kNumKeys];
    for (int k = 0; k < kNumKeys; ++k) names[k] = keyNames[k];
    KitExportInput in = kitExportInput(effect->kit, names);
    // The settings as the effect's parameters give them.
    for (int k = 0; k < kNumKeys; ++k) {
        in.pitch[k] = effect->getParameter(kParamPitch + k);
        in.playMode[k] = effect->getParameter(kParamPlayMode + k);
        in.reverse[k] = effect->getParameter(kParamReverse + k);
        in.volume[k] = effect->getParameter(kParamVolume + k);
    }
    if (kind == kSelectorIndividualExport)
        exportIndividualFiles(path.c_str(), in);
    else
        exportKit(path.c_str(), in);
}

}  // namespace rimbrel
