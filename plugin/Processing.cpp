// MIDI and audio processing: notes queued by processEvents start and stop
// keys at their exact frame in processReplacing; sounding keys are read at the
// speed their pitch gives, scaled by their volume, clipped each on its own,
// panned, and added to the second input, which is the base of both outputs.
//
// The block is rendered in segments between the frames that carry events and,
// inside a segment, key by key. The frames of one output sample still see
// exactly the same operations in the same order as a frame-by-frame loop over
// the keys would do (additions in key order, each key's position advanced one
// frame at a time), so the result is identical to the bit.
//
// Two sides. Every sounding key adds gL * c to the left sum and gR * c to the
// right one, where c is its clipped sample and gL, gR its pan gains (exactly
// 1 at the centre). Under the OP-1 a stereo key's sample is its mono mix
// (right + left) * 0.5f; under the Field it adds its left channel to the left
// and its right channel to the right. In the frames in which keys sound,
// output 1 carries input 2 plus the left sum and output 2 input 2 plus the
// right sum. While every sounding key is the same on both sides (mono or
// mixed, and centred) the two sums are equal: one sum is rendered into
// output 2 and copied to output 1, as it always has been.
//
// Settings (volume, play mode, direction, pan) are atomics that the UI may
// change at any time; they are read once per segment, and the target once per
// block. A change made while a segment is being rendered takes effect from
// the next segment or block.
//
// Keys hold 44100 frames per second. At another host rate a key advances by
// its pitch's increment times 44100 / the host rate per output frame (read
// once per block), read like a pitched key; at 44100 Hz that factor is
// exactly 1 and nothing changes.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "plugin/Tamblet.h"

namespace rimbrel {

namespace {

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

// Every key's bit, and no bit beyond them.
constexpr KeyMask kAllKeys = (KeyMask(1) << kNumKeys) - 1;

void copyChannel(float* out, const float* in, VstInt32 frames) {
    if (!in) std::memset(out, 0, sizeof(float) * size_t(frames));
    else if (in != out) std::memmove(out, in, sizeof(float) * size_t(frames));
}

}  // namespace

bool Tamblet::isProcessing() const {
    return processingThread_.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

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
// ---- keys ----

void Tamblet::startKey(int k) {
    if (!isKeyIndex(k) || (blockBusy_ & keyBit(k))) return;
    const int32_t length = targetKeyLength(kit.keyLength[k], blockTarget_);
    const float* samples = kit.keySamples[k];
    if (length < 2 || !samples) {
        // Too short to play: its only frame is the one never played. Silent,
        // and nothing outside the key's buffer is ever read.
        kit.keyPlaying[k].store(false, std::memory_order_relaxed);
        soundingKeys_ &= ~keyBit(k);
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
    soundingKeys_ |= keyBit(k);
    blockSounded_ |= keyBit(k);
}

const PanGains& Tamblet::keyGains(int k) {
    const float pan = kit.keyPan[k].load(std::memory_order_relaxed);
    // Compared as bits, so that a pan that is not a number is worked out once.
    if (std::bit_cast<uint32_t>(pan) != std::bit_cast<uint32_t>(seenPan_[k])) {
        seenPan_[k] = pan;
        panGains_[k] = panGains(pan);
    }
    return panGains_[k];
}

namespace {

// Where a key's two sides come from.
enum class Source {
    Mono,    // one channel, the same on both sides
    Mix,     // a stereo key under the OP-1: (right + left) * 0.5f on both sides
    Stereo,  // a stereo key under the Field: each channel to its own side
};

// One sounding key's reading state for the length of a segment. Left
// uninitialised (loadVoice sets it), so that a segment in which nothing
// sounds costs nothing here.
struct Voice {
    int key;
    const float* samples;  // the left channel, or the only one
    const float* right;    // the right channel of a stereo key
    Source source;
    int32_t length;
    double position;
    double increment;
    double last;     // length - 1: reaching it (or going below 0) is the end
    double restart;  // where a loop goes on
    float volume;
    float gainLeft, gainRight;
    bool loops;  // loop mode with the note held
    bool playing;

    // Adds exactly the same to both sides, so one sum serves both outputs.
    bool sameOnBothSides() const {
        return source != Source::Stereo && gainLeft == 1.0f && gainRight == 1.0f;
    }
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

// The sums the keys add into, indexed from the first frame rendered. left is
// null while every sounding key is the same on both sides: right then serves
// both.
struct Sums {
    float* left;
    float* right;
};

// Reads key k's state; false (and the key stopped) when it cannot play: a
// playing key always sits inside its frames [0, length - 1), anything else
// (a key too short to play, or without samples) is stopped before it reads
// anything. step is the block's host-rate factor. A loop goes on while its
// note is held, or the key is held down in the window.
bool loadVoice(Kit& kit, int k, double step, bool heldInWindow, KitTarget target, Voice& v) {
    v.key = k;
    v.length = targetKeyLength(kit.keyLength[k], target);
    v.position = kit.keyPosition[k];
    v.increment = kit.keyIncrement[k] * step;
    v.last = double(v.length) - 1.0;
    v.samples = kit.keySamples[k];
    if (v.length < 2 || !v.samples || !(v.position >= 0.0) || v.position >= v.last) {
        kit.keyPlaying[k].store(false, std::memory_order_relaxed);
        return false;
    }
    v.right = kit.keyRight[k];
    v.source = !v.right ? Source::Mono : target == KitTarget::Op1Field ? Source::Stereo
                                                                       : Source::Mix;
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

// What a key adds per frame, copied out of its Voice for the frame loops: as
// a local value the compiler keeps it in registers, where the Voice's fields
// would be loaded again after every store into the sums (both are floats).
struct FrameReader {
    const float* samples;
    const float* right;
    Source source;
    float volume, gainLeft, gainRight;
};

inline FrameReader readerOf(const Voice& v) {
    return {v.samples, v.right, v.source, v.volume, v.gainLeft, v.gainRight};
}

// One output frame i of a key, read at stored frame p. With one sum only keys
// that are the same on both sides sound, and their gains are 1.
template <bool kTwoSums>
inline void addFrame(const FrameReader v, int32_t p, const Sums sums, VstInt32 i) {
    if (kTwoSums && v.source == Source::Stereo) {
        sums.left[i] = sums.left[i] + v.gainLeft * clipKeySample(v.volume * v.samples[p]);
        sums.right[i] = sums.right[i] + v.gainRight * clipKeySample(v.volume * v.right[p]);
        return;
    }
    const float value = v.source == Source::Mix ? (v.right[p] + v.samples[p]) * 0.5f : v.samples[p];
    const float c = clipKeySample(v.volume * value);
    if (kTwoSums) {
        sums.left[i] = sums.left[i] + v.gainLeft * c;
        sums.right[i] = sums.right[i] + v.gainRight * c;
    } else {
        sums.right[i] = sums.right[i] + c;
    }
}

#if defined(__SSE2__)
// Frames j..j + 3 of a run read forwards from channel[0], or backwards.
template <bool kBackward>
inline __m128 loadRunFrames(const float* channel, int j) {
    if (!kBackward) return _mm_loadu_ps(channel + j);
    // channel[-j - 3 .. -j], reversed into frame order.
    const __m128 frames = _mm_loadu_ps(channel - j - 3);
    return _mm_shuffle_ps(frames, frames, _MM_SHUFFLE(0, 1, 2, 3));
}

inline void addInto(float* sum, __m128 value) {
    _mm_storeu_ps(sum, _mm_add_ps(_mm_loadu_ps(sum), value));
}

// Four output frames i..i + 3 of a key read at stored frames p[0..3]: the
// same operations as addFrame, lane by lane.
template <bool kTwoSums>
inline void addFrames4(const FrameReader& v, const int32_t* p, const Sums& sums, VstInt32 i) {
    const __m128 volume = _mm_set1_ps(v.volume);
    const float* l = v.samples;
    __m128 left = _mm_setr_ps(l[p[0]], l[p[1]], l[p[2]], l[p[3]]);
    __m128 right = left;
    if (v.source != Source::Mono) {
        const float* r = v.right;
        right = _mm_setr_ps(r[p[0]], r[p[1]], r[p[2]], r[p[3]]);
    }
    if (v.source == Source::Mix) left = right = _mm_mul_ps(_mm_add_ps(right, left), _mm_set1_ps(0.5f));
    left = clipKeySamples(_mm_mul_ps(volume, left));
    if (!kTwoSums) {
        addInto(sums.right + i, left);
        return;
    }
    right = v.source == Source::Stereo ? clipKeySamples(_mm_mul_ps(volume, right)) : left;
    addInto(sums.left + i, _mm_mul_ps(_mm_set1_ps(v.gainLeft), left));
    addInto(sums.right + i, _mm_mul_ps(_mm_set1_ps(v.gainRight), right));
}
#endif

// n frames of a key read one stored frame per output frame, from stored frame
// p forwards or backwards, into left[0..n) and right[0..n): the same
// operations as addFrame, four frames at once.
template <Source kSource, bool kTwoSums, bool kBackward>
void addRun(const Voice& v, int32_t p, float* __restrict left, float* __restrict right, int n) {
    const float* l = v.samples + p;
    const float* r = kSource == Source::Mono ? l : v.right + p;
    const int sign = kBackward ? -1 : 1;
    int j = 0;
#if defined(__SSE2__)
    const __m128 volume = _mm_set1_ps(v.volume);
    const __m128 gainLeft = _mm_set1_ps(v.gainLeft), gainRight = _mm_set1_ps(v.gainRight);
    for (; j + 4 <= n; j += 4) {
        if constexpr (kSource == Source::Stereo) {
            addInto(left + j, _mm_mul_ps(gainLeft, clipKeySamples(_mm_mul_ps(volume, loadRunFrames<kBackward>(l, j)))));
            addInto(right + j, _mm_mul_ps(gainRight, clipKeySamples(_mm_mul_ps(volume, loadRunFrames<kBackward>(r, j)))));
        } else {
            __m128 value = loadRunFrames<kBackward>(l, j);
            if constexpr (kSource == Source::Mix)
                value = _mm_mul_ps(_mm_add_ps(loadRunFrames<kBackward>(r, j), value), _mm_set1_ps(0.5f));
            const __m128 c = clipKeySamples(_mm_mul_ps(volume, value));
            if constexpr (kTwoSums) {
                addInto(left + j, _mm_mul_ps(gainLeft, c));
                addInto(right + j, _mm_mul_ps(gainRight, c));
            } else {
                addInto(right + j, c);
            }
        }
    }
#endif
    for (; j < n; ++j) {
        const int at = sign * j;
        if constexpr (kSource == Source::Stereo) {
            left[j] = left[j] + v.gainLeft * clipKeySample(v.volume * l[at]);
            right[j] = right[j] + v.gainRight * clipKeySample(v.volume * r[at]);
        } else {
            const float value = kSource == Source::Mix ? (r[at] + l[at]) * 0.5f : l[at];
            const float c = clipKeySample(v.volume * value);
            if constexpr (kTwoSums) {
                left[j] = left[j] + v.gainLeft * c;
                right[j] = right[j] + v.gainRight * c;
            } else {
                right[j] = right[j] + c;
            }
        }
    }
}

template <bool kTwoSums, bool kBackward>
void addRunOf(const Voice& v, int32_t p, const Sums& sums, VstInt32 i, int n) {
    float* left = kTwoSums ? sums.left + i : nullptr;
    float* right = sums.right + i;
    switch (v.source) {
        case Source::Mono: addRun<Source::Mono, kTwoSums, kBackward>(v, p, left, right, n); break;
        case Source::Mix: addRun<Source::Mix, kTwoSums, kBackward>(v, p, left, right, n); break;
        case Source::Stereo:
            if constexpr (kTwoSums) addRun<Source::Stereo, true, kBackward>(v, p, left, right, n);
            break;
    }
}

// Whole runs up to the key's end; returns the end of the frames it sounded in.
template <bool kTwoSums>
VstInt32 addRuns(Voice& v, const Sums& sums, VstInt32 from, VstInt32 to) {
    VstInt32 i = from;
    const bool forward = v.increment > 0;
    while (i < to) {
        const int32_t p = int32_t(v.position);
        const int32_t untilEnd = forward ? v.length - 1 - p : p + 1;
        const int32_t n = std::min<int32_t>(untilEnd, to - i);
        if (forward) addRunOf<kTwoSums, false>(v, p, sums, i, n);
        else addRunOf<kTwoSums, true>(v, p, sums, i, n);
        i += n;
        v.position = forward ? double(p + n) : double(p - n);
        if (n < untilEnd) break;
        v.endTest();
        if (!v.playing) return i;
    }
    return to;
}

// Frame by frame at any speed.
template <bool kTwoSums>
VstInt32 addSteps(Voice& v, const Sums& sums, VstInt32 from, VstInt32 to) {
    for (VstInt32 i = from; i < to;) {
        // A stretch in which the end cannot come, without the end test...
        const VstInt32 sure = i + v.framesBeforeEnd(to - i);
        const FrameReader reader = readerOf(v);
        const double increment = v.increment;
        double position = v.position;
#if defined(__SSE2__)
        for (; i + 4 <= sure; i += 4) {
            int32_t p[4];
            for (int32_t& frame : p) {
                frame = int32_t(position);
                position += increment;
            }
            addFrames4<kTwoSums>(reader, p, sums, i);
        }
#endif
        for (; i < sure; ++i) {
            const int32_t p = int32_t(position);
            position += increment;
            addFrame<kTwoSums>(reader, p, sums, i);
        }
        v.position = position;
        if (i == to) break;
        // ...then one frame with it.
        const int32_t p = int32_t(v.position);
        v.position += v.increment;
        addFrame<kTwoSums>(readerOf(v), p, sums, i);
        ++i;
        v.endTest();
        if (!v.playing) return i;
    }
    return to;
}

// Two keys (a before b in key order) frame by frame in one loop: each key's
// position is a chain of additions, and two chains side by side take about
// the time of one. Each frame still adds a, then b.
template <bool kTwoSums>
void addStepsPair(Voice& a, Voice& b, const Sums& sums, VstInt32 from, VstInt32 to, VstInt32& endA,
                  VstInt32& endB) {
    VstInt32 i = from;
    while (i < to) {
        // A stretch in which neither key can reach its end...
        const VstInt32 sure = i + std::min(a.framesBeforeEnd(to - i), b.framesBeforeEnd(to - i));
        const FrameReader readerA = readerOf(a), readerB = readerOf(b);
        const double incrementA = a.increment, incrementB = b.increment;
        double positionA = a.position, positionB = b.position;
#if defined(__SSE2__)
        for (; i + 4 <= sure; i += 4) {
            int32_t pA[4], pB[4];
            for (int q = 0; q < 4; ++q) {
                pA[q] = int32_t(positionA);
                positionA += incrementA;
                pB[q] = int32_t(positionB);
                positionB += incrementB;
            }
            addFrames4<kTwoSums>(readerA, pA, sums, i);
            addFrames4<kTwoSums>(readerB, pB, sums, i);
        }
#endif
        for (; i < sure; ++i) {
            const int32_t pA = int32_t(positionA);
            positionA += incrementA;
            const int32_t pB = int32_t(positionB);
            positionB += incrementB;
            addFrame<kTwoSums>(readerA, pA, sums, i);
            addFrame<kTwoSums>(readerB, pB, sums, i);
        }
        a.position = positionA;
        b.position = positionB;
        if (i == to) break;
        // ...then one frame with the end tests.
        const int32_t pA = int32_t(a.position);
        a.position += a.increment;
        const int32_t pB = int32_t(b.position);
        b.position += b.increment;
        addFrame<kTwoSums>(readerOf(a), pA, sums, i);
        addFrame<kTwoSums>(readerOf(b), pB, sums, i);
        ++i;
        a.endTest();
        b.endTest();
        if (!a.playing || !b.playing) break;
    }
    endA = a.playing ? to : i;
    endB = b.playing ? to : i;
    if (a.playing && i < to) endA = addSteps<kTwoSums>(a, sums, i, to);
    if (b.playing && i < to) endB = addSteps<kTwoSums>(b, sums, i, to);
}

// Adds frames [0, n) of the voices still playing, in key order; returns the
// end of the frames in which any of them sounded. A key read frame by frame
// waits for a partner to share its loop; any other key that comes first in
// key order renders it alone first.
template <bool kTwoSums>
VstInt32 addVoices(Voice* voices, int count, const Sums& sums, VstInt32 n) {
    VstInt32 sounded = 0;
    Voice* waiting = nullptr;
    for (int i = 0; i < count; ++i) {
        Voice& v = voices[i];
        if (!v.playing) continue;
        if (!v.wholeFrameSteps()) {
            if (!waiting) {
                waiting = &v;
                continue;
            }
            VstInt32 endA = 0, endB = 0;
            addStepsPair<kTwoSums>(*waiting, v, sums, 0, n, endA, endB);
            sounded = std::max({sounded, endA, endB});
            waiting = nullptr;
            continue;
        }
        if (waiting) {
            sounded = std::max(sounded, addSteps<kTwoSums>(*waiting, sums, 0, n));
            waiting = nullptr;
        }
        sounded = std::max(sounded, addRuns<kTwoSums>(v, sums, 0, n));
    }
    if (waiting) sounded = std::max(sounded, addSteps<kTwoSums>(*waiting, sums, 0, n));
    return sounded;
}

}  // namespace

void Tamblet::renderKeys(float* out1, float* out2, VstInt32 from, VstInt32 to) {
    if (!soundingKeys_) return;
    Voice voices[kNumKeys];
    int count = 0;
    bool twoSums = false;
    // In key order: lowest bit first.
    for (KeyMask keys = soundingKeys_; keys; keys &= keys - 1) {
        const int k = std::countr_zero(keys);
        // Stopped since (by the UI, or at the end of its last segment).
        if (!kit.keyPlaying[k].load(std::memory_order_relaxed)) {
            soundingKeys_ &= ~keyBit(k);
            continue;
        }
        Voice& v = voices[count];
        if (!loadVoice(kit, k, blockStep_, (blockHeld_ & keyBit(k)) != 0, blockTarget_, v)) {
            soundingKeys_ &= ~keyBit(k);
            continue;
        }
        const PanGains& gains = keyGains(k);
        v.gainLeft = gains.left;
        v.gainRight = gains.right;
        twoSums = twoSums || !v.sameOnBothSides();
        blockSounded_ |= keyBit(k);
        ++count;
    }
    if (count == 0) return;
    if (!twoSums) {
        // In every frame in which a key sounded both outputs carry the mix.
        const VstInt32 sounded = addVoices<false>(voices, count, Sums{nullptr, out2 + from}, to - from);
        if (out1 != out2) std::memcpy(out1 + from, out2 + from, sizeof(float) * size_t(sounded));
    } else {
        // The left sum starts from input 2 (as output 2 holds it here) in a
        // buffer of its own, since output 1 keeps input 1 after the last
        // frame in which a key sounded. With one output buffer for both,
        // it carries the right side.
        for (VstInt32 start = from; start < to; start += kLeftSumFrames) {
            const VstInt32 n = std::min<VstInt32>(kLeftSumFrames, to - start);
            std::memcpy(leftSum_, out2 + start, sizeof(float) * size_t(n));
            const VstInt32 sounded = addVoices<true>(voices, count, Sums{leftSum_, out2 + start}, n);
            if (out1 != out2) std::memcpy(out1 + start, leftSum_, sizeof(float) * size_t(sounded));
            if (sounded < n) break;
        }
    }
    for (int i = 0; i < count; ++i) {
        storeVoice(kit, voices[i]);
        if (!voices[i].playing) soundingKeys_ &= ~keyBit(voices[i].key);
    }
}

void Tamblet::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    // Marks this thread as the one inside the block, for isProcessing; cheaper
    // than a thread-local variable, which a plug-in reaches through a call.
    processingThread_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    const Kit::BlockStart start = kit.audioBlockBegin();
    blockBusy_ = start.busy;
    blockStep_ = playbackStep_.load(std::memory_order_relaxed);
    blockTarget_ = kit.target.load(std::memory_order_relaxed);
    for (KeyMask keys = blockBusy_ & kAllKeys; keys; keys &= keys - 1)
        kit.keyPlaying[std::countr_zero(keys)].store(false, std::memory_order_relaxed);
    soundingKeys_ &= ~blockBusy_;
    releaseWindowKeys(start.held);

    float* out1 = outputs ? outputs[0] : nullptr;
    float* out2 = outputs ? outputs[1] : nullptr;
    if (frames > 0 && out1 && out2) {
        copyChannel(out1, inputs ? inputs[0] : nullptr, frames);
        copyChannel(out2, inputs ? inputs[1] : nullptr, frames);
        // Auditions asked for since the last block start at frame 0, before
        // that frame's notes.
        for (KeyMask keys = start.auditions & kAllKeys; keys; keys &= keys - 1) startKey(std::countr_zero(keys));
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
    processingThread_.store(std::thread::id(), std::memory_order_relaxed);
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
