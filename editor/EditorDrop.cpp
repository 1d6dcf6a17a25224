// Files and folders dropped on the window, the hover highlight that shows
// where they would land, and the loader's reports while keys fill.
#include <string>
#include <vector>

#include "editor/ADEditor.h"
#include "editor/DropSummary.h"
#include "formats/KitOpening.h"

namespace rimbrel {

namespace {

// The items of a drag, in the order the container yields them. Each item's
// data is used as a path as it stands; the type and size are not looked at.
std::vector<std::string> dragItems(gui::CDragContainer* drag) {
    std::vector<std::string> items;
    if (!drag) return items;
    const int32_t count = drag->getCount();
    if (count <= 0) return items;
    int32_t size = 0;
    int32_t type = 0;
    const void* data = drag->first(size, type);
    for (int32_t i = 0; i < count && data; ++i) {
        items.emplace_back(static_cast<const char*>(data));
        data = drag->next(size, type);
    }
    return items;
}

}  // namespace

void ADEditor::HandleDragDrop(gui::CControl* control, gui::CDragContainer* drag, int32_t reserved) {
    dropTaken = false;
    if (!control || !effect) return;
    const int target = dropTargetKey(control->getTag());
    if (control == dropButton) {
        dropButton->dropHighlight = false;
        dropButton->setDirty(true);
    }
    // Examines, stores, loads and names one item after the other; the loads
    // report through loadStarted/keyLoaded/loadEnded, the names through keyNamed.
    const std::vector<std::string> items = dragItems(drag);
    // A kit file alone on the drop button opens the kit; on a key's name, or
    // among other files, it is one sound like any other.
    if (control == dropButton && items.size() == 1 && isKitFile(items[0])) {
        openKit(items[0]);
        return;
    }
    dropLoads = {};
    std::vector<KeyAssignment> filled;
    // The whole drop is one undo step, its keys recorded as they are reached.
    dropReplacedKeys = false;
    undoHistory.openStep();
    const KeyMask named = handleDrop(effect->kit, keyNames, items, target, this,
                                     [&filled](int key, const std::string& path) { filled.push_back({key, path}); });
    undoHistory.closeStep();

    // The status line says what became of every item (offering Undo when
    // filled keys were replaced); a drop of which nothing loaded is refused
    // to the file manager.
    const DropReport report = describeDrop(items, filled, dropLoads);
    dropTaken = report.anyLoaded();
    if (named && dropReplacedKeys)
        offerUndo(dropSummary(report));
    else
        showStatus(dropSummary(report));
}

void ADEditor::openKit(const std::string& path) {
    OpenedKit opened = openKitFile(path);
    dropTaken = opened.opened;
    if (!opened.opened) {
        showStatus(openedKitSummary(opened, path));
        return;
    }
    dropReplacedKeys = false;
    undoHistory.openStep();
    putOpenedKit(effect->kit, keyNames, opened, this);
    undoHistory.closeStep();
    showTarget();
    for (int k = 0; k < kNumKeys; ++k) refreshKey(k);
    updateTotalLabel();
    if (dropReplacedKeys)
        offerUndo(openedKitSummary(opened, path));
    else
        showStatus(openedKitSummary(opened, path));
}

void ADEditor::HandleDragHover(gui::CControl* control, gui::CDragContainer* drag, bool entering) {
    if (!control || !drag) return;
    if (drag->getCount() < 0) entering = false;
    if (control == dropButton) dropButton->dropHighlight = entering;
    // Entering lights the keys the drop would fill (from key 0 on the drop
    // button); leaving clears them all.
    KeyMask keys = 0;
    if (entering) {
        const int first = control == dropButton ? 0 : control->getTag() - kTagNameLabel;
        if (!isKeyIndex(first)) return;
        const std::vector<std::string> items = dragItems(drag);
        // A kit about to open fills every key.
        const bool kit = control == dropButton && items.size() == 1 && isKitFile(items[0]);
        keys = kit ? (KeyMask(1) << kNumKeys) - 1 : hoverKeys(items, first);
    }
    for (int k = 0; k < kNumKeys; ++k) {
        CMyTextLabel* label = nameLabels[k];
        if (!label) continue;
        label->dropHighlight = (keys & keyBit(k)) != 0;
        if (label->dropHighlight) label->highlightPhase = 0;
        label->setDirty(true);
    }
}

// ---- reports of the loader and the drop intake ----

// While a load runs the window counts as closed: its controls do nothing.
void ADEditor::loadStarted() { editorOpen.store(false, std::memory_order_release); }

void ADEditor::loadEnded() {
    // A load ending while the window is closed leaves it closed.
    editorOpen.store(frame != nullptr, std::memory_order_release);
}

void ADEditor::keyLoaded(int k) {
    updateValueLabel(k);
    updateTotalLabel();
}

void ADEditor::keyAboutToChange(int k) {
    if (!effect || !isKeyIndex(k)) return;
    if (!isKeyBlank(k)) dropReplacedKeys = true;
    undoHistory.keyAboutToChange(effect->kit, keyNames, k);
}

void ADEditor::keyLoadReported(int k, const LoadReport& report) {
    if (isKeyIndex(k)) dropLoads[static_cast<std::size_t>(k)] = report;
}

void ADEditor::keyNamed(int k) {
    if (!isKeyIndex(k)) return;
    if (nameLabels[k]) nameLabels[k]->hasName = true;
    updateNameLabel(k);
}

}  // namespace rimbrel
