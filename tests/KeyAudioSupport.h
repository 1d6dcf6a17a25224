// Filling keys directly in tests: each key gets buffers of its own size,
// put in place the way the loader puts them.
#pragma once

#include <cstdint>
#include <vector>

#include "kit/KeyAudio.h"
#include "kit/Kit.h"

namespace rimbrel::test {

// Key k holds left (and right, when not empty: a stereo key); its length is
// left's size. Empty left empties the key.
inline void setKeyAudio(Kit& kit, int k, const std::vector<float>& left, const std::vector<float>& right = {}) {
    KeyAudioBuffers fresh;
    fresh.assign(left.data(), right.empty() ? nullptr : right.data(), int32_t(left.size()));
    replaceKeyAudio(kit, k, std::move(fresh));
}

// Key k holds length frames of value (a stereo key when channels is 2).
inline void setKeyAudio(Kit& kit, int k, int32_t length, float value, int channels = 1) {
    const std::vector<float> frames(std::size_t(length > 0 ? length : 0), value);
    setKeyAudio(kit, k, frames, channels == 2 ? frames : std::vector<float>{});
}

// Key k as the original target hears it: its mono mix ((right + left) * 0.5
// for a stereo key), then silence up to kMaxKeyFrames (or its length, when
// longer), as the key's storage used to hold it.
inline std::vector<float> keyMix(const Kit& kit, int k) {
    const int32_t length = kit.keySamples[k] ? kit.keyLength[k] : 0;
    std::vector<float> mix(std::size_t(length > kMaxKeyFrames ? length : kMaxKeyFrames), 0.0f);
    mixKeyToMono(kit, k, mix.data(), length);
    return mix;
}

}  // namespace rimbrel::test
