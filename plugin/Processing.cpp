// MIDI and audio processing: notes queued by processEvents start and stop
// keys at their exact frame in processReplacing; sounding keys are read at the
// speed their pitch gives, scaled by their volume, clipped each on its own and
// added to the second input, which then goes to both outputs.
//
// The block is rendered in segments between the frames that carry events and,
// inside a segment, key by key. The frames of one output sample still see
// exactly the same operations in the same order as a frame-by-frame loop over
// the keys would do (additions in key order, each key's position advanced one
// frame at a time), so the result is identical to the bit.
//
// Settings (volume, play mode, direction) are atomics that the UI may change
// at any time; they are read once per segment. A change made while a segment
// is being rendered takes effect from the next segment or block.
//
// Keys hold 44100 frames per second. At another host rate a key advances by
// its pitch's increment times 44100 / the host rate per output frame (read
// once per block), read like a pitched key; at 44100 Hz that factor is
// exactly 1 and nothing changes.

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "plugin/Tamblet.h"

namespace rimbrel {

namespace {

// The effect whose processReplacing runs on this thread, if any.
thread_local const Tamblet* tProcessingEffect = nullptr;

class ProcessingScope {
public:
    explicit ProcessingScope(const Tamblet* effect) : previous_(tProcessingEffect) {
        tProcessingEffect = effect;
    }
    ~ProcessingScope() { tProcessingEffect = previous_; }
    ProcessingScope(const ProcessingScope&) = delete;
    ProcessingScope& operator=(const ProcessingScope&) = delete;

private:
    const Tamblet* previous_;
};

// s above 1 becomes 1, else s below -1 becomes -1 (NaN passes). Written as
// two selects of the form the vector min/max instructions implement exactly.
inline float clipKeySample(float s) {
    s = 1.0f < s ? 1.0f : s;
    s = -1.0f > s ? -1.0f : s;
    return s;
}

#if defined(__SSE2__)
// Four frames at once. MINPS(1, s) is exactly "1 < s ? 1 : s" and MAXPS(-1, s)
// exactly "-1 > s ? -1 : s" (a NaN in s passes through both), so the lanes
// compute what clipKeySample does.
inline __m128 clipKeySamples(__m128 s) {
    return _mm_max_ps(_mm_set1_ps(-1.0f), _mm_min_ps(_mm_set1_ps(1.0f), s));
}
#endif

// Adds n frames of a key read forwards one stored frame per output frame.
void addForward(float* __restrict out, const float* __restrict in, int n, float volume) {
    int j = 0;
#if defined(__SSE2__)
    const __m128 v = _mm_set1_ps(volume);
    for (; j + 4 <= n; j += 4) {
        const __m128 s = clipKeySamples(_mm_mul_ps(v, _mm_loadu_ps(in + j)));
        _mm_storeu_ps(out + j, _mm_add_ps(_mm_loadu_ps(out + j), s));
    }
#endif
    for (; j < n; ++j) out[j] = out[j] + clipKeySample(volume * in[j]);
}

// Adds n frames of a key read backwards from in[0], one frame per output frame.
void addBackward(float* __restrict out, const float* __restrict in, int n, float volume) {
    int j = 0;
#if defined(__SSE2__)
    const __m128 v = _mm_set1_ps(volume);
    for (; j + 4 <= n; j += 4) {
        // in[-j - 3 .. -j], reversed into frame order.
        const __m128 frames = _mm_shuffle_ps(_mm_loadu_ps(in - j - 3), _mm_loadu_ps(in - j - 3),
                                             _MM_SHUFFLE(0, 1, 2, 3));
        const __m128 s = clipKeySamples(_mm_mul_ps(v, frames));
        _mm_storeu_ps(out + j, _mm_add_ps(_mm_loadu_ps(out + j), s));
    }
#endif
    for (; j < n; ++j) out[j] = out[j] + clipKeySample(volume * in[-j]);
}

void copyChannel(float* out, const float* in, VstInt32 frames) {
    if (!in) std::memset(out, 0, sizeof(float) * size_t(frames));
    else if (in != out) std::memmove(out, in, sizeof(float) * size_t(frames));
}

}  // namespace

bool Tamblet::isProcessing() const { return tProcessingEffect == this; }

// ---- events ----

VstInt32 Tamblet::processEvents(VstEvents* events) {
    if (!events) return 1;
    // The record declares two event pointers, but the host's block holds
    // numEvents of them: index from the start of that block rather than
    // through the two-entry array (indexing the array past 2 is undefined).
    VstEvent* const* list = events->events + 0;
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = list[i];
        if (!event || event->type != kVstMidiType) continue;
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
        const uint8_t status = uint8_t(midi->midiData[0]);
        const uint8_t kind = status & 0xF0;
        if (kind != 0x90 && kind != 0x80) continue;
        // The queue holds at most kMidiQueueMax notes per block: the count is
        // a signed 8-bit value. Notes beyond that are dropped.
        const int count = std::max<int>(kit.midiQueueCount, 0);
        if (count >= kMidiQueueMax) continue;
        QueuedNote& q = kit.midiQueue[count];
        q.deltaFrames = midi->deltaFrames;
        q.note = uint8_t(midi->midiData[1]) & 0x7F;
        q.velocity = kind == 0x80 ? 0 : uint8_t(uint8_t(midi->midiData[2]) & 0x7F);
        q.channel = uint8_t((status + 1) & 0x0F);
        q.used = 1;
        kit.midiQueueCount = int8_t(count + 1);
    }
    return 1;
}

void Tamblet::applyEventsAt(VstInt32 frame) {
    const int count = kit.midiQueueCount;
    for (int q = 0; q < count; ++q) {
        QueuedNote& e = kit.midiQueue[q];
        if (e.deltaFrames != frame) continue;
        if (e.channel == 1 && e.note >= kFirstKeyNote && e.note <= kLastKeyNote) {
            const int k = e.note - kFirstKeyNote;
            kit.keyNoteHeld[k] = e.velocity > 0;
            if (e.velocity > 0) {
                // Through the overridable operation, so the editor hears of it.
                setParameter(kParamAudition, float(k));
            } else if (kit.keyPlayMode[k].load(std::memory_order_relaxed) == PlayModeGate) {
                kit.keyPlaying[k].store(false, std::memory_order_relaxed);
            }
        }
        e.deltaFrames = -1;
    }
}

// The first frame after `after` and before `frames` at which a note waits.
VstInt32 Tamblet::nextEventFrame(VstInt32 after, VstInt32 frames) const {
    VstInt32 next = frames;
    for (int q = 0; q < kit.midiQueueCount; ++q) {
        const VstInt32 d = kit.midiQueue[q].deltaFrames;
        if (d > after && d < next) next = d;
    }
    return next;
}

// ---- keys ----

void Tamblet::startKey(int k) {
    if (!isKeyIndex(k) || (blockBusy_ & keyBit(k))) return;
    const int32_t length = kit.keyLength[k];
    if (length < 2) {
        // Too short to play: its only frame is the one never played. Silent,
        // and nothing outside the key's buffer is ever read.
        kit.keyPlaying[k].store(false, std::memory_order_relaxed);
        return;
    }
    const int32_t pitch = kit.keyPitch[k].load(std::memory_order_relaxed);
    double increment;
    if (pitch >= 0) {
        increment = float(std::pow(2.0, double(float(double(pitch) * kSemitoneToOctave))));
    } else {
        increment = 1.0 / double(float(std::pow(2.0, double(float(-double(pitch) * kSemitoneToOctave)))));
    }
    double position = 0.0;
    if (kit.keyReverse[k].load(std::memory_order_relaxed)) {
        position = double(length - 2);
        increment = -increment;
    }
    kit.keyPosition[k] = position;
    kit.keyIncrement[k] = increment;
    kit.keyPlaying[k].store(true, std::memory_order_relaxed);
    blockSounded_ |= keyBit(k);
}

namespace {

// One sounding key's reading state for the length of a segment.
struct Voice {
    int key = -1;
    const float* samples = nullptr;
    int32_t length = 0;
    double position = 0.0;
    double increment = 1.0;
    double last = 0.0;     // length - 1: reaching it (or going below 0) is the end
    double restart = 0.0;  // where a loop goes on
    float volume = 1.0f;
    bool loops = false;  // loop mode with the note held
    bool playing = true;

    // One stored frame per output frame from a whole frame: runs of frames
    // can be added at once. (position lies in [0, length - 1) here, so the
    // integer conversion is exact exactly when the position is a whole frame.)
    bool wholeFrameSteps() const {
        return (increment == 1.0 || increment == -1.0) && position == double(int32_t(position));
    }
    // Frames that can surely be read before the end test could be met (at
    // most `limit`). The position moves one way only; each addition rounds
    // by at most 2^-34 (positions stay below 2^20), so over at most 2^16
    // frames the error stays under 2^-18, far below the margin of two steps
    // of at least 1/64 (pitch -48 steps by 1/16). Slower keys, which only
    // settings outside the parameters' range make, always take the end test.
    VstInt32 framesBeforeEnd(VstInt32 limit) const {
        if (!(std::abs(increment) >= 1.0 / 64.0)) return 0;
        const double room = increment > 0 ? (last - position) / increment : position / -increment;
        if (!(room > 2.0)) return 0;
        const VstInt32 cap = std::min<VstInt32>(limit, 1 << 16);
        return room - 2.0 >= double(cap) ? cap : VstInt32(room - 2.0);
    }
    // After a frame: the end test, and the loop or the stop.
    void endTest() {
        if (position >= last || position < 0.0) {
            if (loops) position = restart;
            else playing = false;
        }
    }
};

// Reads key k's state; false (and the key stopped) when it cannot play: a
// playing key always sits inside its frames [0, length - 1), anything else
// (a key too short to play) is stopped before it reads anything. step is the
// block's host-rate factor. A loop goes on while its note is held, or the key
// is held down in the window.
bool loadVoice(Kit& kit, int k, double step, bool heldInWindow, Voice& v) {
    v.key = k;
    v.length = kit.keyLength[k];
    v.position = kit.keyPosition[k];
    v.increment = kit.keyIncrement[k] * step;
    v.last = double(v.length) - 1.0;
    if (v.length < 2 || !(v.position >= 0.0) || v.position >= v.last) {
        kit.keyPlaying[k].store(false, std::memory_order_relaxed);
        return false;
    }
    v.samples = kit.keySamples[k];
    v.volume = kit.keyVolume[k].load(std::memory_order_relaxed);
    v.loops = kit.keyPlayMode[k].load(std::memory_order_relaxed) >= PlayModeLoop &&
              (kit.keyNoteHeld[k] || heldInWindow);
    v.restart = kit.keyReverse[k].load(std::memory_order_relaxed) ? double(v.length - 2) : 0.0;
    v.playing = true;
    return true;
}

void storeVoice(Kit& kit, const Voice& v) {
    kit.keyPosition[v.key] = v.position;
    if (!v.playing) kit.keyPlaying[v.key].store(false, std::memory_order_relaxed);
}

// Whole runs up to the key's end; returns the end of the frames it sounded in.
VstInt32 addRuns(Voice& v, float* out, VstInt32 from, VstInt32 to) {
    VstInt32 i = from;
    const bool forward = v.increment > 0;
    while (i < to) {
        const int32_t p = int32_t(v.position);
        const int32_t untilEnd = forward ? v.length - 1 - p : p + 1;
        const int32_t n = std::min<int32_t>(untilEnd, to - i);
        if (forward) addForward(out + i, v.samples + p, n, v.volume);
        else addBackward(out + i, v.samples + p, n, v.volume);
        i += n;
        v.position = forward ? double(p + n) : double(p - n);
        if (n < untilEnd) break;
        v.endTest();
        if (!v.playing) return i;
    }
    return to;
}

// Frame by frame at any speed.
VstInt32 addSteps(Voice& v, float* out, VstInt32 from, VstInt32 to) {
    for (VstInt32 i = from; i < to;) {
        // A stretch in which the end cannot come, without the end test...
        const VstInt32 sure = i + v.framesBeforeEnd(to - i);
        double position = v.position;
        for (; i < sure; ++i) {
            const float value = v.samples[int32_t(position)];
            position += v.increment;
            out[i] = out[i] + clipKeySample(v.volume * value);
        }
        v.position = position;
        if (i == to) break;
        // ...then one frame with it.
        const float value = v.samples[int32_t(v.position)];
        v.position += v.increment;
        out[i] = out[i] + clipKeySample(v.volume * value);
        ++i;
        v.endTest();
        if (!v.playing) return i;
    }
    return to;
}

// Two keys (a before b in key order) frame by frame in one loop: each key's
// position is a chain of additions, and two chains side by side take about
// the time of one. Each frame still adds a, then b.
void addStepsPair(Voice& a, Voice& b, float* out, VstInt32 from, VstInt32 to, VstInt32& endA,
                  VstInt32& endB) {
    VstInt32 i = from;
    while (i < to) {
        // A stretch in which neither key can reach its end...
        const VstInt32 sure = i + std::min(a.framesBeforeEnd(to - i), b.framesBeforeEnd(to - i));
        double positionA = a.position, positionB = b.position;
        for (; i < sure; ++i) {
            const float valueA = a.samples[int32_t(positionA)];
            positionA += a.increment;
            const float valueB = b.samples[int32_t(positionB)];
            positionB += b.increment;
            const float withA = out[i] + clipKeySample(a.volume * valueA);
            out[i] = withA + clipKeySample(b.volume * valueB);
        }
        a.position = positionA;
        b.position = positionB;
        if (i == to) break;
        // ...then one frame with the end tests.
        const float valueA = a.samples[int32_t(a.position)];
        a.position += a.increment;
        const float valueB = b.samples[int32_t(b.position)];
        b.position += b.increment;
        const float withA = out[i] + clipKeySample(a.volume * valueA);
        out[i] = withA + clipKeySample(b.volume * valueB);
        ++i;
        a.endTest();
        b.endTest();
        if (!a.playing || !b.playing) break;
    }
    endA = a.playing ? to : i;
    endB = b.playing ? to : i;
    if (a.playing && i < to) endA = addSteps(a, out, i, to);
    if (b.playing && i < to) endB = addSteps(b, out, i, to);
}

}  // namespace

void Tamblet::renderKeys(float* out1, float* out2, VstInt32 from, VstInt32 to) {
    VstInt32 sounded = from;
    // A key read frame by frame waits here for a partner to share its loop;
    // any other key that comes first in key order renders it alone first.
    Voice waiting;
    bool isWaiting = false;
    for (int k = 0; k < kNumKeys; ++k) {
        if (!kit.keyPlaying[k].load(std::memory_order_relaxed)) continue;
        Voice v;
        if (!loadVoice(kit, k, blockStep_, (blockHeld_ & keyBit(k)) != 0, v)) continue;
        blockSounded_ |= keyBit(k);
        if (!v.wholeFrameSteps()) {
            if (!isWaiting) {
                waiting = v;
                isWaiting = true;
                continue;
            }
            VstInt32 endA = from, endB = from;
            addStepsPair(waiting, v, out2, from, to, endA, endB);
            storeVoice(kit, waiting);
            storeVoice(kit, v);
            sounded = std::max({sounded, endA, endB});
            isWaiting = false;
            continue;
        }
        if (isWaiting) {
            sounded = std::max(sounded, addSteps(waiting, out2, from, to));
            storeVoice(kit, waiting);
            isWaiting = false;
        }
        sounded = std::max(sounded, addRuns(v, out2, from, to));
        storeVoice(kit, v);
    }
    if (isWaiting) {
        sounded = std::max(sounded, addSteps(waiting, out2, from, to));
        storeVoice(kit, waiting);
    }
    // In every frame in which a key sounded both outputs carry the mix.
    if (sounded > from && out1 != out2)
        std::memcpy(out1 + from, out2 + from, sizeof(float) * size_t(sounded - from));
}

void Tamblet::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    const ProcessingScope scope(this);
    const Kit::BlockStart start = kit.audioBlockBegin();
    blockBusy_ = start.busy;
    blockStep_ = playbackStep_.load(std::memory_order_relaxed);
    for (int k = 0; k < kNumKeys; ++k)
        if (blockBusy_ & keyBit(k)) kit.keyPlaying[k].store(false, std::memory_order_relaxed);
    releaseWindowKeys(start.held);

    float* out1 = outputs ? outputs[0] : nullptr;
    float* out2 = outputs ? outputs[1] : nullptr;
    if (frames > 0 && out1 && out2) {
        copyChannel(out1, inputs ? inputs[0] : nullptr, frames);
        copyChannel(out2, inputs ? inputs[1] : nullptr, frames);
        // Auditions asked for since the last block start at frame 0, before
        // that frame's notes.
        for (int k = 0; k < kNumKeys; ++k)
            if (start.auditions & keyBit(k)) startKey(k);
        VstInt32 from = 0;
        while (from < frames) {
            if (kit.midiQueueCount > 0) applyEventsAt(from);
            const VstInt32 to = kit.midiQueueCount > 0 ? nextEventFrame(from, frames) : frames;
            renderKeys(out1, out2, from, to);
            from = to;
        }
    }
    // Notes whose frame lay outside the block are dropped with the rest.
    kit.midiQueueCount = 0;
    blockBusy_ = 0;
    kit.noteKeysSounded(blockSounded_);
    blockSounded_ = 0;
    kit.audioBlockEnd();
}

// A key let go in the window stops as at a note-off (a gate key at once) and
// a loop stops too; a one-shot plays on. A MIDI note still held keeps it.
void Tamblet::releaseWindowKeys(KeyMask held) {
    const KeyMask released = blockHeld_ & ~held;
    blockHeld_ = held;
    if (!released) return;
    for (int k = 0; k < kNumKeys; ++k) {
        if (!(released & keyBit(k)) || kit.keyNoteHeld[k]) continue;
        // Only a loop waits for the button: a window audition of any other
        // key plays its pass to the end, as a click always has.
        if (kit.keyPlayMode[k].load(std::memory_order_relaxed) == PlayModeLoop)
            kit.keyPlaying[k].store(false, std::memory_order_relaxed);
    }
}

}  // namespace rimbrel
