// The kit: 24 keys, each one mono or stereo sample with its playback
// settings, plus the note queue of the current audio block.
//
// Storage. Each key owns buffers allocated to its size: keySamples[k] (left,
// or the only channel) and keyRight[k] (right of a stereo key, null for a
// mono one), both null for an empty key. They always hold at least
// keyLength[k] frames; the audio thread trusts that. Buffers are allocated
// and freed on the UI thread only, through the functions of kit/KeyAudio.h.
//
// Threads. The host's UI thread (editor, loader, export) and its audio thread
// (processEvents / processReplacing) share this struct without locks:
//  - keySamples, keyRight and keyLength are written only by the UI thread,
//    and only between beginKeyRewrite() and endKeyRewrite(). While a key is
//    marked busy the audio thread neither reads nor starts it, so a key being
//    rewritten is never heard half-written. A buffer taken out of a key is
//    freed only once the audio thread is outside every block that could still
//    read it (see retireBuffer).
//  - The settings (and the target) are atomics: the UI writes them through the effect's
//    parameters, the audio thread reads them at every frame.
//  - keyPlaying is atomic because the window shows which keys sound.
//    keyPosition, keyIncrement, keyNoteHeld and the note queue belong to the
//    audio thread; the UI touches keyPosition only while the key is busy.
//  - An audition from the UI thread is a request (requestAudition) that the
//    audio thread carries out at the start of its next block. A key held
//    down in the window (holdKey / releaseKey) is a mask the audio thread
//    reads at every block start: it keeps a loop going and, once released,
//    stops a loop key; other keys play their pass.
//  - Which keys sound: the audio thread adds the keys that sounded in each
//    block to a mask (noteKeysSounded); the window takes it (takeSoundedKeys)
//    at every refresh and lights those keys.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace rimbrel {

constexpr int kNumKeys = 24;
constexpr int kMaxKeyFrames = 529200;       // 12 s at 44100 frames per second
constexpr int kMaxKitFrames = 529200;       // the most a whole kit may total for export
constexpr int kMaxFieldKeyFrames = 882000;  // 20 s: the longest key the Field target plays
constexpr int kMaxFieldKitFrames = 882000;  // the most a Field kit may total for export
constexpr int kFirstKeyNote = 53;           // MIDI note of key 0 (F)
constexpr int kLastKeyNote = 76;            // MIDI note of key 23 (E)
constexpr int kMidiQueueSlots = 128;
constexpr int kMidiQueueMax = 127;  // the count is a signed 8-bit value
constexpr double kFramesPerSecond = 44100.0;

enum PlayMode : int32_t { PlayModeGate = 0,
                          PlayModeOneShot = 1,
                          PlayModeLoop = 2 };

// The instrument the kit is made for. The target decides how long keys play
// and export, and whether stereo keys sound stereo; it never changes what a
// key holds, so switching back and forth loses nothing.
enum class KitTarget : int32_t {
    Op1 = 0,       // the original: mono, 12 s
    Op1Field = 1,  // the Field: stereo, 20 s
};

// "OP-1" or "OP-1 Field".
const char* kitTargetName(KitTarget target);

// The length a key of `length` stored frames plays, shows and exports with
// under `target`: a key longer than the target's limit counts one frame
// short of it, as a longer file always has.
constexpr int32_t targetKeyLength(int32_t length, KitTarget target) {
    const int32_t limit = target == KitTarget::Op1Field ? kMaxFieldKeyFrames : kMaxKeyFrames;
    return length > limit ? limit - 1 : length;
}

// One note event waiting for its frame in the current block.
struct QueuedNote {
    int32_t deltaFrames;  // frame inside the block; -1 once handled
    uint8_t note;         // 0..127
    uint8_t velocity;     // 0..127; 0 for a note-off
    uint8_t channel;      // low nibble of the status + 1, modulo 16 (MIDI channel 1 -> 1)
    uint8_t used;
};

// Bit k set means key k; used for busy marks and pending auditions.
using KeyMask = uint32_t;
constexpr KeyMask keyBit(int k) { return KeyMask(1) << k; }
constexpr bool isKeyIndex(int k) { return k >= 0 && k < kNumKeys; }

struct Kit {
    // Every key empty, default settings, nothing sounding, no note queued.
    Kit();
    // Frees every key's buffers and those still waiting to be freed.
    ~Kit();
    Kit(const Kit&) = delete;
    Kit& operator=(const Kit&) = delete;

    // ---- sample storage (UI writes under the rewrite protocol) ----
    float* keySamples[kNumKeys];  // left channel, or the only one; null when empty
    float* keyRight[kNumKeys];    // right channel of a stereo key; null for mono
    int32_t keyLength[kNumKeys];  // frames as loaded
    // UI thread: a number each key's audio gets anew whenever it is
    // rewritten (filled, erased, exchanged), so what was made from it (the
    // saved state's encoded audio) can tell whether it is still current.
    uint64_t keyGeneration[kNumKeys];
    // Gives key k (UI thread) a generation number no key of any kit has had
    // before.
    void renewKeyGeneration(int k);
    // Held by every write of key audio (kit/KeyAudio.h) and by the saved
    // state while it reads the keys' audio: a host may save its project from
    // its main thread while its editor thread loads keys. Never the audio
    // thread's.
    std::mutex keyWriters;

    // ---- settings (written through the effect's parameters) ----
    std::atomic<int32_t> keyPitch[kNumKeys];     // semitones, -48..+48
    std::atomic<int32_t> keyPlayMode[kNumKeys];  // PlayMode
    std::atomic<bool> keyReverse[kNumKeys];
    std::atomic<float> keyVolume[kNumKeys];  // linear gain 0..4
    std::atomic<float> keyPan[kNumKeys];     // -1 full left, 0 centre, +1 full right
    std::atomic<KitTarget> target{KitTarget::Op1};

    // UI thread: a Field play-mode value the window has no setting for (the
    // Field's fourth mode), kept from an opened kit for the Field's export.
    // It counts while the key holds the audio it came with (generation) and
    // still has the play mode it was shown as (shownAs); value -1: none.
    struct HeldFieldPlayMode {
        int32_t value = -1;
        int32_t shownAs = 0;
        uint64_t generation = 0;
    };
    HeldFieldPlayMode heldFieldPlayMode[kNumKeys];
    // Key k's held value when it still counts, else -1.
    int32_t fieldPlayModeHeld(int k) const;

    // ---- playback state (audio thread) ----
    std::atomic<bool> keyPlaying[kNumKeys];
    double keyPosition[kNumKeys];
    double keyIncrement[kNumKeys];
    bool keyNoteHeld[kNumKeys];

    QueuedNote midiQueue[kMidiQueueSlots];
    int8_t midiQueueCount;

    // ---- key-rewrite protocol, UI side ----
    // Marks the keys busy and returns once the audio thread is outside any
    // block that could still be reading them (waiting at most about half a
    // second, for a host whose audio thread stalls). Answers false when it
    // gave up waiting: a block that began before the mark may still read the
    // keys' buffers. Pair with endKeyRewrite.
    bool beginKeyRewrite(KeyMask keys);
    void endKeyRewrite(KeyMask keys);

    // UI thread, inside a rewrite: a buffer that no key points to any more.
    // Freed at once when the rewrite saw the audio thread out (audioOut);
    // otherwise kept until a later call finds the block that was running
    // then has ended, or until the kit is destroyed.
    void retireBuffer(float* buffer, bool audioOut);
    // Buffers waiting for a stalled block to end.
    std::size_t retiredBufferCount() const { return retiredCount_; }

    // Asks the audio thread to start key k at the beginning of its next block.
    void requestAudition(int k);
    // Key k is held down in the window / let go. Holding starts nothing by
    // itself: a press auditions the key and holds it.
    void holdKey(int k);
    void releaseKey(int k);
    void releaseAllKeys();

    // The keys that sounded in any block since the last call (cleared).
    KeyMask takeSoundedKeys();

    // ---- key-rewrite protocol, audio side ----
    // Called first thing in every processReplacing: returns the keys that are
    // busy for this whole block (they must be neither read nor started) and
    // the auditions requested since the last block (already cleared).
    struct BlockStart {
        KeyMask busy;
        KeyMask auditions;
        KeyMask held = 0;  // keys held down in the window
    };
    BlockStart audioBlockBegin();
    // Adds the keys that sounded in the block that is ending.
    void noteKeysSounded(KeyMask keys);
    // Called last thing in every processReplacing.
    void audioBlockEnd();

    // UI thread: the keys' lengths under the current target added up, in
    // frames (what the kit plays and exports).
    int64_t totalFrames() const;

    // UI thread: key k's length under the current target, and its channels.
    int32_t playLength(int k) const {
        return targetKeyLength(keyLength[k], target.load(std::memory_order_relaxed));
    }
    int keyChannels(int k) const { return keyRight[k] ? 2 : 1; }

private:
    std::atomic<KeyMask> busyKeys_{0};
    std::atomic<KeyMask> pendingAuditions_{0};
    std::atomic<KeyMask> heldKeys_{0};
    std::atomic<KeyMask> soundedKeys_{0};
    // Odd while the audio thread is inside a block.
    std::atomic<uint64_t> blockSequence_{0};
    // The UI side's process-wide barrier stands in for the audio thread's
    // fence (set once, before any block).
    bool sharedBarrier_ = false;

    // Buffers retired while a block was running that may still read them,
    // each with the block sequence value of that block.
    struct RetiredBuffer {
        float* buffer;
        uint64_t block;
        RetiredBuffer* next;
    };
    RetiredBuffer* retired_ = nullptr;
    std::size_t retiredCount_ = 0;
    void freeRetiredBuffers(bool all);
};

// RAII form of the rewrite protocol.
class KeyRewrite {
public:
    KeyRewrite(Kit& kit, KeyMask keys) : kit_(kit), keys_(keys) { audioOut_ = kit_.beginKeyRewrite(keys_); }
    ~KeyRewrite() { kit_.endKeyRewrite(keys_); }
    KeyRewrite(const KeyRewrite&) = delete;
    KeyRewrite& operator=(const KeyRewrite&) = delete;

    // False when the wait for the audio thread gave up (see beginKeyRewrite).
    bool audioOut() const { return audioOut_; }

private:
    Kit& kit_;
    KeyMask keys_;
    bool audioOut_ = false;
};

// Zeroed storage, for objects that want it (calloc hands out large blocks as
// fresh zero pages).
void* allocateZeroed(std::size_t size) noexcept;
void freeZeroed(void* p) noexcept;

}  // namespace rimbrel
