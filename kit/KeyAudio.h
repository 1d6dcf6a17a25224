// What goes into a key's audio, and every change the window asks of it:
// decoded frames folded to mono, the whole-buffer write the loader makes, and
// erasing and exchanging keys. The writes run on the UI thread under the
// kit's rewrite protocol (kit/Kit.h), so the audio thread never hears a key
// half-written.
#pragma once

#include <cstddef>

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

// Writes a key's whole buffer: the first count samples from src, the rest of
// its total samples 0. Uses stores that bypass the cache where the platform
// has them (the buffer is not read again by this thread), and orders them
// before the function returns.
void writeKeyBuffer(float* key, std::size_t total, const float* src, std::size_t count);

// Empties key k (0..23; others are ignored): its length becomes 0. The
// frames stay in the buffer until the next load overwrites them. Settings
// are the effect's parameters and are not touched here.
void eraseKeyAudio(Kit& kit, int k);

// Stops key `stopped` (its position back to the start) and, when g and f are
// two different keys, exchanges their audio and lengths; their settings stay
// with the key positions. g or f -1 (or equal): only the stop. Every key
// involved is busy for the whole change, one rewrite for all.
void stopAndExchangeKeys(Kit& kit, int stopped, int g, int f);

}  // namespace rimbrel
