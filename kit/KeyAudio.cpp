#include "kit/KeyAudio.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define RIMBREL_MIX_SSE2 1
#endif

namespace rimbrel {

namespace {

#ifdef RIMBREL_MIX_SSE2
// clampSample on four samples: max/min take the bound when the sample is NaN,
// and the ordered mask then turns NaN lanes into 0.
inline __m128 clamp4(__m128 v) {
    const __m128 ordered = _mm_cmpord_ps(v, v);
    __m128 c = _mm_max_ps(v, _mm_set1_ps(-1.0f));
    c = _mm_min_ps(c, _mm_set1_ps(1.0f));
    return _mm_and_ps(c, ordered);
}
#endif

void mixMono(const float* in, float* out, std::size_t count) {
    std::size_t i = 0;
#ifdef RIMBREL_MIX_SSE2
    for (; i + 4 <= count; i += 4) _mm_storeu_ps(out + i, clamp4(_mm_loadu_ps(in + i)));
#endif
    for (; i < count; ++i) out[i] = clampSample(in[i]);
}

void mixStereo(const float* in, float* out, std::size_t count) {
    std::size_t i = 0;
#ifdef RIMBREL_MIX_SSE2
    const __m128 half = _mm_set1_ps(0.5f);
    for (; i + 4 <= count; i += 4) {
        const __m128 lo = clamp4(_mm_loadu_ps(in + 2 * i));      // L0 R0 L1 R1
        const __m128 hi = clamp4(_mm_loadu_ps(in + 2 * i + 4));  // L2 R2 L3 R3
        const __m128 left = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 right = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
        _mm_storeu_ps(out + i, _mm_mul_ps(_mm_add_ps(right, left), half));
    }
#endif
    for (; i < count; ++i) {
        const float a = clampSample(in[2 * i]);
        const float sum = clampSample(in[2 * i + 1]) + a;
        out[i] = sum * 0.5f;
    }
}

}  // namespace

void mixToMono(const float* in, float* out, std::size_t count, int channels) {
    if (channels == 1)
        mixMono(in, out, count);
    else if (channels == 2)
        mixStereo(in, out, count);
}

void writeKeyBuffer(float* key, std::size_t total, const float* src, std::size_t count) {
    if (count > total) count = total;
#ifdef RIMBREL_MIX_SSE2
    if ((reinterpret_cast<std::uintptr_t>(key) & 15) == 0) {
        std::size_t i = 0;
        for (; i + 4 <= count; i += 4) _mm_stream_ps(key + i, _mm_loadu_ps(src + i));
        for (; i < count && (i & 3) != 0; ++i) key[i] = src[i];  // finish the last partial group
        for (; i < count; ++i) key[i] = src[i];
        // Zeros: up to the next 16-byte boundary by hand, then streamed.
        for (; i < total && (i & 3) != 0; ++i) key[i] = 0.0f;
        const __m128 zero = _mm_setzero_ps();
        for (; i + 4 <= total; i += 4) _mm_stream_ps(key + i, zero);
        for (; i < total; ++i) key[i] = 0.0f;
        _mm_sfence();
        return;
    }
#endif
    if (count > 0) std::memcpy(key, src, count * sizeof(float));
    for (std::size_t i = count; i < total; ++i) key[i] = 0.0f;
}

void eraseKeyAudio(Kit& kit, int k) {
    if (!isKeyIndex(k)) return;
    // keyLength changes only under the rewrite protocol.
    KeyRewrite rewrite(kit, keyBit(k));
    kit.keyLength[k] = 0;
}

void stopAndExchangeKeys(Kit& kit, int stopped, int g, int f) {
    const bool exchange = isKeyIndex(g) && isKeyIndex(f) && g != f;
    KeyMask keys = isKeyIndex(stopped) ? keyBit(stopped) : 0;
    if (exchange) keys |= keyBit(g) | keyBit(f);
    if (!keys) return;
    KeyRewrite rewrite(kit, keys);
    if (isKeyIndex(stopped)) {
        kit.keyPosition[stopped] = 0.0;
        kit.keyPlaying[stopped].store(false, std::memory_order_relaxed);
    }
    if (!exchange) return;
    // The buffers are exchanged element by element: no scratch key needed.
    std::swap_ranges(kit.keySamples[g], kit.keySamples[g] + kMaxKeyFrames, kit.keySamples[f]);
    std::swap(kit.keyLength[g], kit.keyLength[f]);
}

}  // namespace rimbrel
