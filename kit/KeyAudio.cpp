#include "kit/KeyAudio.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

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

void splitStereo(const float* in, float* left, float* right, std::size_t count) {
    std::size_t i = 0;
#ifdef RIMBREL_MIX_SSE2
    for (; i + 4 <= count; i += 4) {
        const __m128 lo = clamp4(_mm_loadu_ps(in + 2 * i));      // L0 R0 L1 R1
        const __m128 hi = clamp4(_mm_loadu_ps(in + 2 * i + 4));  // L2 R2 L3 R3
        _mm_storeu_ps(left + i, _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm_storeu_ps(right + i, _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1)));
    }
#endif
    for (; i < count; ++i) {
        left[i] = clampSample(in[2 * i]);
        right[i] = clampSample(in[2 * i + 1]);
    }
}

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

bool KeyAudioBuffers::allocate(int32_t frames, int channelCount) {
    left.reset();
    right.reset();
    length = 0;
    if (frames < 1 || channelCount < 1 || channelCount > 2) return false;
    left.reset(new (std::nothrow) float[std::size_t(frames)]);
    if (channelCount == 2) right.reset(new (std::nothrow) float[std::size_t(frames)]);
    if (!left || (channelCount == 2 && !right)) {
        left.reset();
        right.reset();
        return false;
    }
    length = frames;
    return true;
}

bool KeyAudioBuffers::assign(const float* l, const float* r, int32_t count) {
    if (count < 1 || !l) {
        *this = KeyAudioBuffers{};
        return true;
    }
    if (!allocate(count, r ? 2 : 1)) return false;
    std::memcpy(left.get(), l, std::size_t(count) * sizeof(float));
    if (r) std::memcpy(right.get(), r, std::size_t(count) * sizeof(float));
    return true;
}

void replaceKeysAudio(Kit& kit, KeyMask keys, KeyAudioBuffers (&fresh)[kNumKeys], bool stop) {
    keys &= (KeyMask(1) << kNumKeys) - 1;
    if (!keys) return;
    float* old[2 * kNumKeys] = {};
    int oldCount = 0;
    const std::lock_guard<std::mutex> writing(kit.keyWriters);
    KeyRewrite rewrite(kit, keys);
    for (int k = 0; k < kNumKeys; ++k) {
        if (!(keys & keyBit(k))) continue;
        KeyAudioBuffers& f = fresh[k];
        if (!f.left) f = KeyAudioBuffers{};  // no audio: an empty key
        old[oldCount++] = kit.keySamples[k];
        old[oldCount++] = kit.keyRight[k];
        kit.keySamples[k] = f.left.release();
        kit.keyRight[k] = f.right.release();
        kit.keyLength[k] = f.length;
        kit.renewKeyGeneration(k);
        f.length = 0;
        if (stop) {
            kit.keyPosition[k] = 0.0;
            kit.keyPlaying[k].store(false, std::memory_order_relaxed);
        }
    }
    for (int i = 0; i < oldCount; ++i) kit.retireBuffer(old[i], rewrite.audioOut());
}

void replaceKeyAudio(Kit& kit, int k, KeyAudioBuffers&& fresh, bool stop) {
    if (!isKeyIndex(k)) return;
    KeyAudioBuffers all[kNumKeys];
    all[k] = std::move(fresh);
    replaceKeysAudio(kit, keyBit(k), all, stop);
}

void eraseKeyAudio(Kit& kit, int k) { replaceKeyAudio(kit, k, KeyAudioBuffers{}); }

void stopAndExchangeKeys(Kit& kit, int stopped, int g, int f) {
    const bool exchange = isKeyIndex(g) && isKeyIndex(f) && g != f;
    KeyMask keys = isKeyIndex(stopped) ? keyBit(stopped) : 0;
    if (exchange) keys |= keyBit(g) | keyBit(f);
    if (!keys) return;
    const std::lock_guard<std::mutex> writing(kit.keyWriters);
    KeyRewrite rewrite(kit, keys);
    if (isKeyIndex(stopped)) {
        kit.keyPosition[stopped] = 0.0;
        kit.keyPlaying[stopped].store(false, std::memory_order_relaxed);
    }
    if (!exchange) return;
    std::swap(kit.keySamples[g], kit.keySamples[f]);
    std::swap(kit.keyRight[g], kit.keyRight[f]);
    std::swap(kit.keyLength[g], kit.keyLength[f]);
    kit.renewKeyGeneration(g);
    kit.renewKeyGeneration(f);
}

void mixKeyToMono(const Kit& kit, int k, float* out, int32_t count) {
    const float* left = kit.keySamples[k];
    const float* right = kit.keyRight[k];
    if (!left || count < 1) return;
    if (!right) {
        std::memcpy(out, left, std::size_t(count) * sizeof(float));
        return;
    }
    for (int32_t i = 0; i < count; ++i) out[i] = (right[i] + left[i]) * 0.5f;
}

}  // namespace rimbrel
