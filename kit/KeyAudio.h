// What goes into a key's audio, and every change the window asks of it:
// decoded frames clamped (or folded to mono), putting freshly filled buffers
// into a key, and erasing and exchanging keys. The writes run on the UI
// thread under the kit's rewrite protocol (kit/Kit.h), so the audio thread
// never hears a key half-written and never reads a freed buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "kit/Kit.h"

namespace rimbrel {

// One sample clamped to -1..+1. NaN (possible in float files) becomes 0, so
// it never reaches the host's output.
inline float clampSample(float v) {
    if (v != v) return 0.0f;
    return v < -1.0f ? -1.0f : (v > 1.0f ? 1.0f : v);
}

// Mixes count frames of interleaved samples with channels 1 or 2 to mono:
// out[i] = clampSample(left) for one channel, and for two
// (clampSample(right) + clampSample(left)) * 0.5 with the sum rounded to
// single precision before the halving. in and out must not overlap.
void mixToMono(const float* in, float* out, std::size_t count, int channels);

// Splits count frames of interleaved stereo into left and right, each sample
// clamped as clampSample does. No buffers may overlap.
void splitStereo(const float* in, float* left, float* right, std::size_t count);

// Writes a key's whole buffer: the first count samples from src, the rest of
// its total samples 0. Uses stores that bypass the cache where the platform
// has them (the buffer is not read again by this thread), and orders them
// before the function returns.
void writeKeyBuffer(float* key, std::size_t total, const float* src, std::size_t count);

// A key's audio outside the kit, ready to go into a key: one buffer per
// channel of exactly length frames (right null for a mono key; both null and
// length 0 for an empty key).
struct KeyAudioBuffers {
    std::unique_ptr<float[]> left;
    std::unique_ptr<float[]> right;
    int32_t length = 0;

    int channels() const { return left ? (right ? 2 : 1) : 0; }
    // Buffers for frames frames (at least 1) of 1 or 2 channels, contents
    // not set. False, holding nothing, when memory runs out.
    bool allocate(int32_t frames, int channels);
    // A copy of count frames of one or two channels (right may be null).
    bool assign(const float* left, const float* right, int32_t count);
};

// Puts fresh into key k (0..23; others are ignored) and frees what the key
// held. fresh is filled before the key is marked busy; under the rewrite
// only the pointers and the length change, and the old buffers are freed
// once the audio thread cannot be reading them. With stop, the key is also
// stopped and its position set back to the start.
void replaceKeyAudio(Kit& kit, int k, KeyAudioBuffers&& fresh, bool stop = false);
// The same for every key of keys in one rewrite; fresh is indexed by key.
void replaceKeysAudio(Kit& kit, KeyMask keys, KeyAudioBuffers (&fresh)[kNumKeys], bool stop);

// Empties key k (0..23; others are ignored): its length becomes 0 and its
// buffers are freed. Settings are the effect's parameters and are not
// touched here.
void eraseKeyAudio(Kit& kit, int k);

// Stops key `stopped` (its position back to the start) and, when g and f are
// two different keys, exchanges their audio and lengths (the buffers change
// hands, nothing is copied); their settings stay with the key positions.
// g or f -1 (or equal): only the stop. Every key involved is busy for the
// whole change, one rewrite for all.
void stopAndExchangeKeys(Kit& kit, int stopped, int g, int f);

// Key k's mono mix, as the original target plays and exports a stereo key:
// (right + left) * 0.5 per frame, in single precision. A mono key is copied.
// out holds at least count frames; count is at most keyLength[k].
void mixKeyToMono(const Kit& kit, int k, float* out, int32_t count);

}  // namespace rimbrel
