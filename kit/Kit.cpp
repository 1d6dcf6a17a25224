#include "kit/Kit.h"

#include "platform/ThreadBarrier.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

namespace rimbrel {

Kit::Kit() : midiQueueCount(0), sharedBarrier_(platform::processWideBarrierAvailable()) {
    for (int k = 0; k < kNumKeys; ++k) {
        keySamples[k] = nullptr;
        keyLength[k] = 0;
        keyRight[k] = nullptr;
        keyGeneration[k] = 0;
        keyPitch[k].store(0, std::memory_order_relaxed);
        keyPlayMode[k].store(PlayModeOneShot, std::memory_order_relaxed);
        keyReverse[k].store(false, std::memory_order_relaxed);
        keyVolume[k].store(1.0f, std::memory_order_relaxed);
        keyPan[k].store(0.0f, std::memory_order_relaxed);
        keyPlaying[k].store(false, std::memory_order_relaxed);
        keyPosition[k] = 0.0;
        keyIncrement[k] = 1.0;
        keyNoteHeld[k] = false;
    }
    for (QueuedNote& q : midiQueue) q = QueuedNote{-1, 0, 0, 0, 0};
}

int32_t Kit::fieldPlayModeHeld(int k) const {
    const HeldFieldPlayMode& held = heldFieldPlayMode[k];
    if (held.value < 0 || held.generation != keyGeneration[k] ||
        held.shownAs != keyPlayMode[k].load(std::memory_order_relaxed))
        return -1;
    return held.value;
}

void Kit::renewKeyGeneration(int k) {
    // One count for every kit of the process: a kit's own bytes then change
    // only in the key rewritten.
    static std::atomic<uint64_t> lastGeneration{0};
    keyGeneration[k] = lastGeneration.fetch_add(1, std::memory_order_relaxed) + 1;
}

const char* kitTargetName(KitTarget target) { return target == KitTarget::Op1Field ? "OP-1 Field" : "OP-1"; }

void* allocateZeroed(std::size_t size) noexcept { return std::calloc(1, size); }
void freeZeroed(void* p) noexcept { std::free(p); }

Kit::~Kit() {
    // Whoever destroys the kit has stopped calling processReplacing.
    for (int k = 0; k < kNumKeys; ++k) {
        delete[] keyRight[k];
        delete[] keySamples[k];
    }
    freeRetiredBuffers(true);
}

bool Kit::beginKeyRewrite(KeyMask keys) {
    busyKeys_.fetch_or(keys, std::memory_order_seq_cst);
    // The audio thread stores the block sequence and then loads the busy
    // keys without a barrier of its own (audioBlockBegin): this one stands in
    // for it, so that either its block sees the mark or the load below sees
    // its block.
    if (sharedBarrier_) platform::processWideBarrier();
    // A block that begins from now on sees the mark. One that is running may
    // have begun before it: wait until it has ended.
    const uint64_t seq = blockSequence_.load(std::memory_order_seq_cst);
    if ((seq & 1) == 0) return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (blockSequence_.load(std::memory_order_seq_cst) == seq) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

void Kit::retireBuffer(float* buffer, bool audioOut) {
    freeRetiredBuffers(false);
    if (!buffer) return;
    if (audioOut) {
        delete[] buffer;
        return;
    }
    // The block in progress now is the only one that can hold the buffer:
    // every later one sees the key busy, or the key without it.
    const uint64_t block = blockSequence_.load(std::memory_order_seq_cst);
    if ((block & 1) == 0) {
        delete[] buffer;
        return;
    }
    auto* node = new (std::nothrow) RetiredBuffer{buffer, block, retired_};
    if (!node) return;  // never freed rather than freed under a running block
    retired_ = node;
    ++retiredCount_;
}

void Kit::freeRetiredBuffers(bool all) {
    const uint64_t now = blockSequence_.load(std::memory_order_seq_cst);
    RetiredBuffer** link = &retired_;
    while (RetiredBuffer* node = *link) {
        if (all || node->block != now) {
            *link = node->next;
            delete[] node->buffer;
            delete node;
            --retiredCount_;
        } else {
            link = &node->next;
        }
    }
}

void Kit::endKeyRewrite(KeyMask keys) { busyKeys_.fetch_and(~keys, std::memory_order_seq_cst); }

void Kit::requestAudition(int k) {
    if (!isKeyIndex(k)) return;
    pendingAuditions_.fetch_or(keyBit(k), std::memory_order_release);
}

void Kit::holdKey(int k) {
    if (isKeyIndex(k)) heldKeys_.fetch_or(keyBit(k), std::memory_order_release);
}

void Kit::releaseKey(int k) {
    if (isKeyIndex(k)) heldKeys_.fetch_and(~keyBit(k), std::memory_order_release);
}

void Kit::releaseAllKeys() { heldKeys_.store(0, std::memory_order_release); }

KeyMask Kit::takeSoundedKeys() { return soundedKeys_.exchange(0, std::memory_order_acq_rel); }

void Kit::noteKeysSounded(KeyMask keys) {
    if (keys) soundedKeys_.fetch_or(keys, std::memory_order_release);
}

// The audio thread is the only writer of the block sequence, so plain stores
// count it on. No locked instruction runs here unless an audition waits:
// with the process-wide barrier the UI side orders the sequence's store
// before the busy keys' load (beginKeyRewrite); without it a full fence does.
Kit::BlockStart Kit::audioBlockBegin() {
    const uint64_t odd = blockSequence_.load(std::memory_order_relaxed) + 1;
    BlockStart start;
    if (sharedBarrier_) {
        blockSequence_.store(odd, std::memory_order_relaxed);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        start.busy = busyKeys_.load(std::memory_order_acquire);
    } else {
        blockSequence_.store(odd, std::memory_order_seq_cst);
        start.busy = busyKeys_.load(std::memory_order_seq_cst);
    }
    start.auditions = pendingAuditions_.load(std::memory_order_relaxed) != 0
                          ? pendingAuditions_.exchange(0, std::memory_order_acquire)
                          : 0;
    start.held = heldKeys_.load(std::memory_order_acquire);
    return start;
}

void Kit::audioBlockEnd() {
    blockSequence_.store(blockSequence_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

int64_t Kit::totalFrames() const {
    int64_t total = 0;
    for (int k = 0; k < kNumKeys; ++k) total += playLength(k);
    return total;
}

}  // namespace rimbrel
