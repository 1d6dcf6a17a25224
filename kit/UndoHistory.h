// Undo: the keys as they stood before the last changes, newest first.
//
// Every change to the kit that the window makes (a drop, erase, erase all,
// exchange, a setting edit) first records the keys it is about to change as
// one step; undo puts the newest step back. A step holds, per key, either
// everything (audio, length, stored path and the settings) or only the
// settings, for the edits that change nothing else.
//
// Memory: a key's audio is kept as its keyLength frames per channel (a full
// mono key of 12 s is about 2 MB). The recorded audio of all steps together stays within the budget
// given at construction; the oldest steps drop off to make room.
//
// Threads: UI thread only. Undo writes key audio under the kit's rewrite
// protocol (the audio thread never hears a key half-restored and never
// waits) and the settings through their atomics, exactly as recorded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "kit/DropIntake.h"
#include "kit/Kit.h"

namespace rimbrel {

// 200 MB of recorded audio.
constexpr std::size_t kUndoAudioBudget = std::size_t(200) * 1000 * 1000;

// The per-key settings as the kit stores them.
struct KeySettings {
    int32_t pitch = 0;
    int32_t playMode = PlayModeOneShot;
    bool reverse = false;
    float volume = 1.0f;
    float pan = 0.0f;
    bool operator==(const KeySettings&) const = default;
};

KeySettings readKeySettings(const Kit& kit, int k);
void writeKeySettings(Kit& kit, int k, const KeySettings& settings);

class UndoHistory {
public:
    explicit UndoHistory(std::size_t audioBudgetBytes = kUndoAudioBudget);

    // ---- recording a step whose keys are known as it goes (a drop) ----
    // Opens a step; keyAboutToChange adds each key before it is written
    // (a key already in the step is kept as first seen); closeStep files
    // the step, or forgets it when no key was added.
    void openStep();
    void keyAboutToChange(const Kit& kit, const KeyNames& names, int k);
    void closeStep();

    // ---- one-call steps ----
    // The keys of `keys`, everything about them.
    void recordKeys(const Kit& kit, const KeyNames& names, KeyMask keys);
    // Key k's settings as they were before an edit. Consecutive calls with
    // the same mergeTag (not -1) make one step: a drag along a label is one
    // change, not one per pixel.
    void recordSettings(int k, const KeySettings& before, int64_t mergeTag = -1);

    // Puts the newest step back and forgets it. Answers the keys it
    // restored (0 when there was nothing to undo).
    KeyMask undo(Kit& kit, KeyNames& names);

    bool canUndo() const { return !steps_.empty(); }
    // A number for the newest step, new with every step filed (0: none), so
    // an offer to undo one change can tell whether it is still the newest.
    uint64_t newestStep() const { return steps_.empty() ? 0 : steps_.back().id; }
    std::size_t stepCount() const { return steps_.size(); }
    std::size_t audioBytes() const { return audioBytes_; }
    void clear();

private:
    struct KeyState {
        int key = 0;
        bool withAudio = false;  // false: only the settings were recorded
        KeySettings settings;
        int32_t length = 0;
        std::vector<float> frames;  // keyLength frames: the left channel, or the only one
        std::vector<float> right;   // keyLength frames of a stereo key's right channel
        std::array<char, kKeyNameSize> name{};
    };
    struct Step {
        std::vector<KeyState> keys;
        int64_t mergeTag = -1;
        uint64_t id = 0;
        std::size_t audioBytes = 0;
        bool complete = true;  // false when a key could not be recorded
    };

    static void capture(const Kit& kit, const KeyNames& names, int k, Step& step);
    void file(Step&& step);
    void dropOldestBeyondBudget();

    std::size_t budget_;
    std::size_t audioBytes_ = 0;
    uint64_t lastId_ = 0;
    std::deque<Step> steps_;
    Step open_;
    bool isOpen_ = false;
};

}  // namespace rimbrel
