// Folding decoded frames to a key's mono samples.
#pragma once

#include <cstddef>

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

}  // namespace rimbrel
