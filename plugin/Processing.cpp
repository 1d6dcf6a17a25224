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
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = events->events[i];
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
}

// Adds key k to out2 for the frames [from, to); returns the end of the frames
// in which the key sounded (from, if it did not sound at all).
VstInt32 Tamblet::renderKey(int k, float* out2, VstInt32 from, VstInt32 to) {
    const int32_t length = kit.keyLength[k];
    double position = kit.keyPosition[k];
    const double increment = kit.keyIncrement[k];
    const double last = double(length) - 1.0;
    // A playing key always sits inside its frames [0, length - 1); anything
    // else (a key too short to play) is stopped before it reads anything.
    if (length < 2 || !(position >= 0.0) || position >= last) {
        kit.keyPlaying[k].store(false, std::memory_order_relaxed);
        return from;
    }
    const float volume = kit.keyVolume[k].load(std::memory_order_relaxed);
    const bool loops =
        kit.keyPlayMode[k].load(std::memory_order_relaxed) >= PlayModeLoop && kit.keyNoteHeld[k];
    const double restart =
        kit.keyReverse[k].load(std::memory_order_relaxed) ? double(length - 2) : 0.0;
    const float* samples = kit.keySamples[k];

    VstInt32 i = from;
    // (position lies in [0, length - 1) here, so the integer conversion is exact
    // exactly when the position is a whole frame.)
    if ((increment == 1.0 || increment == -1.0) && position == double(int32_t(position))) {
        // One stored frame per output frame: whole runs up to the key's end.
        while (i < to) {
            const int32_t p = int32_t(position);
            const int32_t untilEnd = increment > 0 ? length - 1 - p : p + 1;
            const int32_t n = std::min<int32_t>(untilEnd, to - i);
            if (increment > 0) addForward(out2 + i, samples + p, n, volume);
            else addBackward(out2 + i, samples + p, n, volume);
            i += n;
            position = increment > 0 ? double(p + n) : double(p - n);
            if (n < untilEnd) break;
            if (!loops) {
                kit.keyPlaying[k].store(false, std::memory_order_relaxed);
                kit.keyPosition[k] = position;
                return i;
            }
            position = restart;
        }
    } else {
        while (i < to) {
            const float value = samples[int32_t(position)];
            position += increment;
            out2[i] = out2[i] + clipKeySample(volume * value);
            ++i;
            if (position >= last || position < 0.0) {
                if (!loops) {
                    kit.keyPlaying[k].store(false, std::memory_order_relaxed);
                    kit.keyPosition[k] = position;
                    return i;
                }
                position = restart;
            }
        }
    }
    kit.keyPosition[k] = position;
    return to;
}

void Tamblet::renderKeys(float* out1, float* out2, VstInt32 from, VstInt32 to) {
    VstInt32 sounded = from;
    for (int k = 0; k < kNumKeys; ++k) {
        if (!kit.keyPlaying[k].load(std::memory_order_relaxed)) continue;
        sounded = std::max(sounded, renderKey(k, out2, from, to));
    }
    // In every frame in which a key sounded both outputs carry the mix.
    if (sounded > from && out1 != out2)
        std::memcpy(out1 + from, out2 + from, sizeof(float) * size_t(sounded - from));
}

void Tamblet::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    const ProcessingScope scope(this);
    const Kit::BlockStart start = kit.audioBlockBegin();
    blockBusy_ = start.busy;
    for (int k = 0; k < kNumKeys; ++k)
        if (blockBusy_ & keyBit(k)) kit.keyPlaying[k].store(false, std::memory_order_relaxed);

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
    kit.audioBlockEnd();
}

}  // namespace rimbrel
