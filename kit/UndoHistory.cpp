#include "kit/UndoHistory.h"

#include "kit/KeyAudio.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace rimbrel {

KeySettings readKeySettings(const Kit& kit, int k) {
    KeySettings s;
    s.pitch = kit.keyPitch[k].load(std::memory_order_relaxed);
    s.playMode = kit.keyPlayMode[k].load(std::memory_order_relaxed);
    s.reverse = kit.keyReverse[k].load(std::memory_order_relaxed);
    s.volume = kit.keyVolume[k].load(std::memory_order_relaxed);
    s.pan = kit.keyPan[k].load(std::memory_order_relaxed);
    return s;
}

// The settings go back as stored, not through the parameters: a volume's
// parameter value does not round-trip to the same gain.
void writeKeySettings(Kit& kit, int k, const KeySettings& s) {
    kit.keyPitch[k].store(s.pitch, std::memory_order_relaxed);
    kit.keyPlayMode[k].store(s.playMode, std::memory_order_relaxed);
    kit.keyReverse[k].store(s.reverse, std::memory_order_relaxed);
    kit.keyVolume[k].store(s.volume, std::memory_order_relaxed);
    kit.keyPan[k].store(s.pan, std::memory_order_relaxed);
}

UndoHistory::UndoHistory(std::size_t audioBudgetBytes) : budget_(audioBudgetBytes) {}

void UndoHistory::capture(const Kit& kit, const KeyNames& names, int k, Step& step) {
    for (const KeyState& held : step.keys)
        if (held.key == k && held.withAudio) return;
    KeyState state;
    state.key = k;
    state.withAudio = true;
    state.settings = readKeySettings(kit, k);
    state.length = kit.keySamples[k] ? std::max<int32_t>(kit.keyLength[k], 0) : 0;
    std::memcpy(state.name.data(), names[k], kKeyNameSize);
    state.name[kKeyNameSize - 1] = '\0';
    const std::size_t bytes = std::size_t(state.length) * sizeof(float) * std::size_t(kit.keyChannels(k));
    try {
        if (state.length > 0) {
            state.frames.assign(kit.keySamples[k], kit.keySamples[k] + state.length);
            if (kit.keyRight[k]) state.right.assign(kit.keyRight[k], kit.keyRight[k] + state.length);
        }
        step.keys.push_back(std::move(state));
    } catch (const std::bad_alloc&) {
        step.complete = false;
        return;
    }
    step.audioBytes += bytes;
}

void UndoHistory::openStep() {
    open_ = Step{};
    isOpen_ = true;
}

void UndoHistory::keyAboutToChange(const Kit& kit, const KeyNames& names, int k) {
    if (!isOpen_ || !isKeyIndex(k)) return;
    capture(kit, names, k, open_);
}

void UndoHistory::closeStep() {
    if (!isOpen_) return;
    isOpen_ = false;
    file(std::move(open_));
    open_ = Step{};
}

void UndoHistory::recordKeys(const Kit& kit, const KeyNames& names, KeyMask keys) {
    Step step;
    for (int k = 0; k < kNumKeys; ++k)
        if (keys & keyBit(k)) capture(kit, names, k, step);
    file(std::move(step));
}

void UndoHistory::recordSettings(int k, const KeySettings& before, int64_t mergeTag) {
    if (!isKeyIndex(k)) return;
    if (mergeTag != -1 && !steps_.empty() && steps_.back().mergeTag == mergeTag) return;
    Step step;
    step.mergeTag = mergeTag;
    KeyState state;
    state.key = k;
    state.settings = before;
    try {
        step.keys.push_back(std::move(state));
    } catch (const std::bad_alloc&) {
        step.complete = false;
    }
    file(std::move(step));
}

void UndoHistory::file(Step&& step) {
    if (!step.complete) {
        // A change that cannot be undone: the steps before it would put
        // back keys around it, so none of them stays.
        clear();
        return;
    }
    if (step.keys.empty()) return;
    step.id = ++lastId_;
    audioBytes_ += step.audioBytes;
    try {
        steps_.push_back(std::move(step));
    } catch (const std::bad_alloc&) {
        clear();
        return;
    }
    dropOldestBeyondBudget();
}

void UndoHistory::dropOldestBeyondBudget() {
    // The newest step always stays: one step never holds more than 24 keys.
    while (audioBytes_ > budget_ && steps_.size() > 1) {
        audioBytes_ -= steps_.front().audioBytes;
        steps_.pop_front();
    }
}

KeyMask UndoHistory::undo(Kit& kit, KeyNames& names) {
    if (steps_.empty()) return 0;
    // The keys' buffers are made first; out of memory, the kit and the step
    // stay as they are.
    KeyAudioBuffers fresh[kNumKeys];
    for (const KeyState& state : steps_.back().keys) {
        if (!state.withAudio || state.length < 1) continue;
        if (!fresh[state.key].assign(state.frames.data(), state.right.empty() ? nullptr : state.right.data(),
                                     state.length))
            return 0;
    }
    Step step = std::move(steps_.back());
    steps_.pop_back();
    audioBytes_ -= step.audioBytes;

    KeyMask keys = 0;
    KeyMask audioKeys = 0;
    for (const KeyState& state : step.keys) {
        keys |= keyBit(state.key);
        if (state.withAudio) audioKeys |= keyBit(state.key);
    }
    // Put in place in one rewrite, each key stopped.
    if (audioKeys) replaceKeysAudio(kit, audioKeys, fresh, true);
    for (const KeyState& state : step.keys) {
        writeKeySettings(kit, state.key, state.settings);
        if (state.withAudio) std::memcpy(names[state.key], state.name.data(), kKeyNameSize);
    }
    return keys;
}

void UndoHistory::clear() {
    steps_.clear();
    audioBytes_ = 0;
}

}  // namespace rimbrel
