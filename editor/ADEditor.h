// The plug-in's window: the drawing of the keyboard with, for every key, a
// name label, a value label (duration or the setting the mode switch
// chooses) and an invisible button over the drawn key; above them the drop
// target, the export button and the mode switch; below them the total and
// the target switch (the instrument the kit is made for: OP-1 or OP-1 Field).
//
// The effect creates one editor and keeps it for its whole life; the host
// opens and closes the window any number of times in between. The editor
// owns the stored key paths (keyNames), the bitmaps and the refresh timer for
// its whole life, the frame and its controls only while the window is open.
//
// Threads: everything runs on the host's UI thread (editor requests, mouse
// and drop events, timer ticks, dialogs) except setParameter, which the
// effect also calls from the audio thread at every note start; there it
// reads only editorOpen and the index.
//
// The work is spread over:
//   ADEditor.cpp        construction, open/close, labels, timer, notify
//   EditorCommands.cpp  what clicks, drags and the mode switch do
//   EditorExport.cpp    the export button, its save dialog and the export
//   EditorDrop.cpp      drops and hovers, and the loader's reports
//   EditorStatus.cpp    the status line's messages and hints
//   EditorUndo.cpp      undo of the last changes, Ctrl+Z
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "editor/CustomControls.h"
#include "editor/DropSummary.h"
#include "editor/EditorLayout.h"
#include "editor/KeyButton.h"
#include "editor/StatusLine.h"
#include "editor/TargetLimits.h"
#include "gui/Toolkit.h"
#include "binding/AEffGUIEditor.h"
#include "kit/DropIntake.h"
#include "kit/KitObservers.h"
#include "kit/UndoHistory.h"
#include "plugin/Tamblet.h"

namespace rimbrel {

class ADEditor : public gui::AEffGUIEditor,
                 public gui::CControlListener,
                 public gui::CBaseObject,
                 public DropObserver {
public:
    explicit ADEditor(Tamblet* effect);
    ~ADEditor() override;

    // ---- the host's editor requests ----
    // Builds the window in the host's parent window (the frame's platform
    // comes from the installed frame factory) and answers true.
    bool open(void* parentWindow, void* hostDisplay) override;
    bool open(void* parentWindow) { return open(parentWindow, nullptr); }
    // Releases the frame and every control in it.
    void close() override;
    void idle() override {}
    // Only the export button's index (195) shows anything: the button then
    // looks pressed for any value but 0. Safe from the audio thread.
    void setParameter(int index, float value) override;

    // Timer ticks and the end of a save dialog.
    gui::CMessageResult notify(gui::CBaseObject* sender, const char* message) override;
    virtual void timerRefresh();

    // ---- control listener ----
    void HandleDragDrop(gui::CControl* control, gui::CDragContainer* drag, int32_t reserved) override;
    void HandleDragHover(gui::CControl* control, gui::CDragContainer* drag, bool entering) override;
    bool dropWasTaken() const override { return dropTaken; }
    void HandleMouseEntered(gui::CControl* control) override;
    void HandleMouseExited(gui::CControl* control) override;
    void valueChanged(gui::CControl* control) override;

    // ---- label refresh (after every change of a key) ----
    void updateNameLabel(int k);
    void updateValueLabel(int k);
    void updateTotalLabel();
    // The whole kit was put in place from elsewhere (a project's saved
    // state), on whichever thread the host restores on. At its next refresh
    // (or when it opens) the window shows every key and the target anew and
    // forgets the recorded changes, since they belong to the kit that was.
    void kitReplaced() { kitReplacedPending.store(true, std::memory_order_release); }
    // The target as the effect's parameter gives it, and the window brought
    // in line with it: durations, the total and its limit, the export
    // button. The timer calls it too, for a host that sets the parameter.
    KitTarget kitTarget() const;
    void showTarget();

    // ---- commands ----
    void eraseKey(int k);
    void eraseAllKeys();
    // Starts a save dialog of the given kind (kSelectorKitExport,
    // kSelectorIndividualExport or their Field counterparts) titled `title`.
    void openExportSelector(const char* title, int32_t kind);

    // ---- the status line (EditorStatus.cpp) ----
    // Shows `text` on the status line for a few seconds or until the next
    // message; with an action, `actionLabel` is drawn as a button at the
    // line's end and a click on it runs the action. Nothing while the
    // window is closed.
    void showStatus(const std::string& text, std::function<void()> action = {},
                    const std::string& actionLabel = "Undo");

    // ---- undo (EditorUndo.cpp) ----
    // Puts back the keys of the newest recorded change (audio, names and
    // settings) and refreshes their labels. False when there was none.
    bool undo();
    bool canUndo() const { return undoHistory.canUndo(); }
    const UndoHistory& getUndoHistory() const { return undoHistory; }
    // Lets go of every recorded change and the memory it holds.
    void forgetUndoHistory() { undoHistory.clear(); }
    // Ctrl+Z, from the host's key request or the window system.
    bool onFrameKeyDown(gui::CKeyCode& key) override;

    // ---- loader and drop intake reports (DropObserver) ----
    void loadStarted() override;
    void loadEnded() override;
    void keyLoaded(int k) override;
    void keyLoadReported(int k, const LoadReport& report) override;
    void keyNamed(int k) override;
    void keyAboutToChange(int k) override;

    // The shown form of a stored path: the file name after the last '/' or
    // '\' (the whole text when there is none), at most 43 characters, less a
    // three-letter extension with its dot.
    static std::string displayName(const char* path);

    // The window system's set-up, run by open() before the frame is made
    // (the X11 backend installs its frame factory there). The plug-in module
    // sets it once; without one, frames take whatever factory is installed.
    using PlatformInstaller = void (*)();
    static void setPlatformInstaller(PlatformInstaller installer);

    // ---- state, open to the window's tests and tools ----
    bool isEditorOpen() const { return editorOpen.load(std::memory_order_acquire); }
    int32_t getPendingSelector() const { return pendingSelector; }
    int32_t getDisplayMode() const;
    Tamblet* getTamblet() const { return effect; }
    gui::CVSTGUITimer* getRefreshTimer() const { return refreshTimer; }
    CMyTextLabel* getNameLabel(int k) const { return isKeyIndex(k) ? nameLabels[k] : nullptr; }
    gui::CTextLabel* getValueLabel(int k) const { return isKeyIndex(k) ? valueLabels[k] : nullptr; }
    CKeyButton* getKeyButton(int k) const { return isKeyIndex(k) ? keyButtons[k] : nullptr; }
    // The keys shown lit (sounding) at the last refresh.
    KeyMask getLitKeys() const { return litKeys; }
    gui::CTextLabel* getTotalLabel() const { return totalLabel; }
    gui::CKickButton* getExportButton() const { return exportButton; }
    CMyDragButton* getDropButton() const { return dropButton; }
    gui::CHorizontalSwitch* getModeSwitch() const { return modeSwitch; }
    gui::CHorizontalSwitch* getTargetSwitch() const { return targetSwitch; }
    StatusLine* getStatusLine() const { return statusLine; }

    // The stored path of each key's sample; empty (first byte 0) when the
    // key has no name. Written by the drop intake, cleared and exchanged by
    // the commands.
    KeyNames keyNames;

    // A key counts as named when the first byte of its path lies in 1..127.
    bool isKeyNamed(int k) const;

private:
    // Commands behind the controls (EditorCommands.cpp).
    void keyButtonChanged(int k);
    void nameLabelChanged(int k);
    void swapKeys(int k);
    void exchangeKeyNames(int g, int f);
    void editSetting(int k);
    void modeSwitchChanged();
    void targetSwitchChanged();
    // Hints on the status line (EditorStatus.cpp): icon -1 when the mouse left.
    void modeIconHovered(int32_t icon);
    void targetHalfHovered(int32_t half);
    // The export button (EditorExport.cpp).
    void exportButtonChanged();
    gui::CMessageResult selectorEnded(gui::CBaseObject* sender);
    void exportTo(const std::string& path, int32_t kind);
    void writeExport(const std::string& path, int32_t kind);
    void writeFieldExport(const std::string& path, int32_t kind);
    // Before a per-key export of the kind given: when files it would write
    // exist, asks once whether to replace them and answers true (the answer
    // decides later).
    bool askBeforeReplacing(const std::string& path, int32_t kind);

    // A kit file dropped alone on the drop button (EditorDrop.cpp): every
    // key taken from it, one undo step.
    void openKit(const std::string& path);

    void audition(int k);
    void releaseControls();
    // On the window's own thread: catches up with a kitReplaced().
    void showReplacedKit();
    std::atomic<bool> kitReplacedPending{false};
    // Lights the keys that sounded since the last refresh (timer).
    void refreshLitKeys();

    // Undo (EditorUndo.cpp): what a change leaves to undo, the labels of a
    // key put back, the status line's offer; clearKey is the unrecorded
    // erase (EditorCommands.cpp).
    bool isKeyBlank(int k) const;
    void clearKey(int k);
    void refreshKey(int k);
    void offerUndo(const std::string& text);
    UndoHistory undoHistory;
    bool dropReplacedKeys = false;  // the drop in progress replaced a filled key

    Tamblet* effect;
    gui::CBitmap* backgroundBitmap = nullptr;
    gui::CBitmap* exportBitmap = nullptr;
    gui::CBitmap* exportFieldBitmap = nullptr;  // the export button in the Field target
    gui::CBitmap* targetBitmap = nullptr;
    gui::CBitmap* dropBitmap = nullptr;
    gui::CBitmap* modeBitmap = nullptr;
    gui::CVSTGUITimer* refreshTimer = nullptr;
    // True from the end of open() to the start of close(), false while the
    // loader decodes a file. Read by the audio thread in setParameter.
    std::atomic<bool> editorOpen{false};
    CMyTextLabel* nameLabels[kNumKeys] = {};
    gui::CTextLabel* valueLabels[kNumKeys] = {};
    gui::CTextLabel* totalLabel = nullptr;
    gui::CKickButton* exportButton = nullptr;
    int32_t pendingSelector = kSelectorNone;
    // The save dialog whose answer pendingSelector waits for (identity only).
    const gui::CBaseObject* pendingDialog = nullptr;
    CKeyButton* keyButtons[kNumKeys] = {};
    KeyMask litKeys = 0;
    CMyDragButton* dropButton = nullptr;
    gui::CHorizontalSwitch* modeSwitch = nullptr;
    gui::CHorizontalSwitch* targetSwitch = nullptr;
    KitTarget shownTarget = KitTarget::Op1;  // the target the window shows
    StatusLine* statusLine = nullptr;
    bool dropTaken = true;       // the last drop loaded something
    KeyLoadReports dropLoads{};  // what each load of the drop in progress did
};

}  // namespace rimbrel
