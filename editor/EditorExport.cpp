// The export button: checks what there is to export, asks for a path in a
// save dialog, and on the dialog's answer writes the kit file or the per-key
// files of the kit target: the original OP-1's (mono) or the OP-1 Field's
// (stereo).

#include <cstdio>
#include <filesystem>
#include <new>
#include <vector>

#include "editor/ADEditor.h"
#include "editor/ExportReport.h"
#include "formats/FieldKitWriter.h"
#include "formats/KitExport.h"
#include "platform/Files.h"

namespace rimbrel {

namespace {
const char* const kTitleKitExport = "Export Op1 Kit as..";
const char* const kTitleIndividualExport = "Export individual files As..";
const char* const kTitleFieldKitExport = "Export OP-1 Field Kit as..";
const char* const kTitleFieldIndividualExport = "Export individual stereo files As..";
const char* const kTooLongCaption = "Total Duration too long!";
const char* const kTooLongText = "please erase some sounds (Ctrl-click) or replace with shorter ones!";

// Keys that are named and hold audio: an export needs at least one.
int namedAndFilledKeys(const ADEditor& editor, const Kit& kit) {
    int ready = 0;
    for (int k = 0; k < kNumKeys; ++k)
        if (editor.isKeyNamed(k) && kit.keyLength[k] > 0) ++ready;
    return ready;
}

bool isFieldExport(int32_t kind) { return kind == kSelectorFieldKitExport || kind == kSelectorFieldIndividualExport; }
bool isIndividualExport(int32_t kind) {
    return kind == kSelectorIndividualExport || kind == kSelectorFieldIndividualExport;
}
KitTarget targetOfExport(int32_t kind) { return isFieldExport(kind) ? KitTarget::Op1Field : KitTarget::Op1; }

// The settings both kinds of export take as the effect's parameters give them.
template <class ExportInput>
void takeSettingsFromEffect(Tamblet& effect, ExportInput& in) {
    for (int k = 0; k < kNumKeys; ++k) {
        in.pitch[k] = effect.getParameter(kParamPitch + k);
        in.playMode[k] = effect.getParameter(kParamPlayMode + k);
        in.reverse[k] = effect.getParameter(kParamReverse + k);
        in.volume[k] = effect.getParameter(kParamVolume + k);
    }
}

// The kit as the export sees it: the audio, the stored names, and the
// settings as the effect's parameters give them.
KitExportInput exportInputOf(const ADEditor& editor) {
    Tamblet* effect = editor.getTamblet();
    const char* names[kNumKeys];
    for (int k = 0; k < kNumKeys; ++k) names[k] = editor.keyNames[k];
    KitExportInput in = kitExportInput(effect->kit, names);
    takeSettingsFromEffect(*effect, in);
    return in;
}

// The Field's exports, with both channels and pan. The kit is
// named after the file it goes to.
FieldKitInput fieldExportInputOf(const ADEditor& editor, const std::string& path) {
    Tamblet* effect = editor.getTamblet();
    const char* names[kNumKeys];
    for (int k = 0; k < kNumKeys; ++k) names[k] = editor.keyNames[k];
    FieldKitInput in = fieldKitInput(effect->kit, names);
    takeSettingsFromEffect(*effect, in);
    for (int k = 0; k < kNumKeys; ++k) in.pan[k] = effect->getParameter(kParamPan + k);
    const std::string stem = platform::utf8FromPath(platform::pathFromUtf8(kitExportPath(path.c_str())).stem());
    if (!stem.empty()) in.name = stem;
    return in;
}
}  // namespace

void ADEditor::exportButtonChanged() {
    // A click released inside reports 1, then 0: act on the first only.
    if (!exportButton || exportButton->getValue() <= 0.5f) return;
    // One save dialog at a time: a click while one is open brings nothing new.
    if (pendingSelector != kSelectorNone) return;
    if (namedAndFilledKeys(*this, effect->kit) == 0) {
        showStatus(emptyKitMessage());
        return;
    }

    const KitTarget target = kitTarget();
    const bool field = target == KitTarget::Op1Field;

    // Shift-click (left button and Shift, nothing else): one file per key,
    // whatever the total.
    if (exportButton->getLastButtonState().getButtonState() == (gui::kLButton | gui::kShift)) {
        if (field)
            openExportSelector(kTitleFieldIndividualExport, kSelectorFieldIndividualExport);
        else
            openExportSelector(kTitleIndividualExport, kSelectorIndividualExport);
        return;
    }

    const int32_t total = kitPlayFrames(effect->kit, target);
    if (total > targetKitLimit(target)) {
        if (frame) frame->showMessageBox(kTooLongCaption, kTooLongText);
        showStatus(kitTooLongMessage(total, targetKitLimit(target)));
        return;
    }
    if (field)
        openExportSelector(kTitleFieldKitExport, kSelectorFieldKitExport);
    else
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
    if (namedAndFilledKeys(*this, effect->kit) == 0) {
        showStatus(emptyKitMessage());
        return;
    }
    // The dialog's kind keeps the target it was opened for: its title named it.
    const KitTarget target = targetOfExport(kind);
    const int32_t total = kitPlayFrames(effect->kit, target);
    if (!isIndividualExport(kind) && total > targetKitLimit(target)) {
        if (frame) frame->showMessageBox(kTooLongCaption, kTooLongText);
        showStatus(kitTooLongMessage(total, targetKitLimit(target)));
        return;
    }
    if (isIndividualExport(kind) && askBeforeReplacing(path, kind)) return;
    writeExport(path, kind);
}

void ADEditor::writeExport(const std::string& path, int32_t kind) {
    if (!effect) return;
    if (isFieldExport(kind)) {
        writeFieldExport(path, kind);
        return;
    }
    // Stereo keys go into the original's kit as their mono mix, which the
    // input holds; without memory for it nothing is written.
    const KitExportInput in = exportInputOf(*this);
    if (in.mixesMissing) {
        showStatus("Not exported: out of memory");
        return;
    }
    if (kind == kSelectorIndividualExport) {
        int written = 0;
        const ExportResult result = exportIndividualFiles(path.c_str(), in, &written);
        showStatus(individualExportMessage(result, individualExportFiles(path.c_str(), in), written,
                                           individualExportSeconds(in)));
        return;
    }
    int keys = 0;
    for (int k = 0; k < kNumKeys; ++k)
        if (in.length[k] > 0) ++keys;
    const ExportResult result = exportKit(path.c_str(), in);
    showStatus(kitExportMessage(result, kitExportPath(path.c_str()), keys, kitExportSeconds(in)));
}

void ADEditor::writeFieldExport(const std::string& path, int32_t kind) {
    const FieldKitInput in = fieldExportInputOf(*this, path);
    if (kind == kSelectorFieldIndividualExport) {
        int written = 0;
        const ExportResult result = exportFieldIndividualFiles(path.c_str(), in, &written);
        // The per-key files are the same whatever the target: keys of 2 frames or more.
        showStatus(individualExportMessage(result, individualExportFiles(path.c_str(), exportInputOf(*this)),
                                           written, fieldIndividualExportSeconds(in)));
        return;
    }
    int keys = 0;
    for (int k = 0; k < kNumKeys; ++k)
        if (in.audio[k].length > 0) ++keys;
    const ExportResult result = exportFieldKit(path.c_str(), in);
    showStatus(
        kitExportMessage(result, kitExportPath(path.c_str()), keys, fieldKitExportSeconds(in), kFieldMaxKitFrames));
}

bool ADEditor::askBeforeReplacing(const std::string& path, int32_t kind) {
    int existing = 0;
    std::string first;
    for (const IndividualExportFile& file : individualExportFiles(path.c_str(), exportInputOf(*this))) {
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::symlink_status(file.path, error))) continue;
        if (existing++ == 0) first = file.path;
    }
    if (existing == 0) return false;

    // The answer comes later: the export then takes the kit as it is by then.
    const std::string text = replaceQuestion(existing, first);
    const bool asked = frame && frame->askQuestion(kReplaceCaption, text, [this, path, kind](bool yes) {
        if (yes)
            writeExport(path, kind);
        else
            showStatus("Nothing exported: the existing files were kept");
    });
    if (!asked) {
        // Without a question box nothing is replaced unasked.
        std::fprintf(stderr, "[Rimbrel-VST] %s: no question box (zenity or kdialog) to ask, nothing replaced\n",
                     text.c_str());
        showStatus("Nothing exported: " + fileNameOf(first) + " exists and no question box can ask to replace it");
    }
    return true;
}

}  // namespace rimbrel
