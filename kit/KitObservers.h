// What the loader and the drop intake tell the window while they fill keys.
// The kit knows nothing of the window: the editor implements these and passes
// itself in; tools that have no window pass nullptr.
#pragma once

#include <cstdint>

namespace rimbrel {

// What one load did, for the window to tell the user.
struct LoadReport {
    bool loaded = false;       // the key holds the file's audio now
    int sourceRate = 0;        // the file's own rate (0 when it was not read)
    bool resampled = false;    // converted from sourceRate to 44100 Hz
    bool cut = false;          // longer than the target's limit (12 s, or 20 s) and cut to it
    int64_t sourceFrames = 0;  // frames the file's header gives
    int32_t length = 0;        // the key's length after a load, in frames at 44100 Hz
};

// Events of one load (loadKeyFile / DoXPlatLoadStuff).
class LoadObserver {
public:
    virtual ~LoadObserver() = default;
    // A load starts, and it ends whatever the outcome: the window takes no
    // clicks in between.
    virtual void loadStarted() = 0;
    virtual void loadEnded() = 0;
    // Key k holds new audio and a new length: refresh its duration label and
    // then the kit total (updateValueLabel(k), updateTotalLabel()).
    virtual void keyLoaded(int k) = 0;
    // Once per load the loader runs on key k, whatever the outcome, just
    // before the load ends (loadEnded()).
    virtual void keyLoadReported(int /*k*/, const LoadReport& /*report*/) {}
};

// Events of a drop: those of every load, plus one per key that got a name.
class DropObserver : public LoadObserver {
public:
    // Key k's stored path and audio are about to be replaced (undo keeps
    // them first).
    virtual void keyAboutToChange(int k) {}
    // Key k's file loaded and its stored path was written: set the name
    // label's hasName and call updateNameLabel(k). Not called when the load
    // failed (the key keeps its old name).
    virtual void keyNamed(int k) = 0;
};

}  // namespace rimbrel
