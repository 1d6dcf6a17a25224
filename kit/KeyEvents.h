// What the loader and the drop intake tell the window while they fill keys.
// The kit knows nothing of the window: the editor implements these and passes
// itself in; tools that have no window pass nullptr.
#pragma once

namespace rimbrel {

// Events of one load (loadKeyFile / DoXPlatLoadStuff).
class LoadObserver {
public:
    virtual ~LoadObserver() = default;
    // false when a load starts, true when it ends, whatever the outcome
    // (the window's editorOpen flag).
    virtual void setEditorOpen(bool open) = 0;
    // Key k holds new audio and a new length: refresh its duration label and
    // then the kit total (updateValueLabel(k), updateTotalLabel()).
    virtual void keyLoaded(int k) = 0;
};

// Events of a drop: those of every load, plus one per key that got a name.
class DropObserver : public LoadObserver {
public:
    // Key k's stored path and audio are about to be replaced (undo keeps
    // them first).
    virtual void keyAboutToChange(int k) {}
    // Key k's stored path was written and its load has run (successful or
    // not): set the name label's hasName and call updateNameLabel(k).
    virtual void keyNamed(int k) = 0;
};

}  // namespace rimbrel
