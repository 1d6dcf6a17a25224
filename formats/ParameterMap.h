// The per-key settings as the effect's parameter interface carries them:
// every setting is a normalised value in [0, 1] (0.5 = pitch 0, one-shot,
// volume 1.0; 0 = forward). These are the conversions both ways, kept here so
// the exports and the tools read settings exactly as the effect gives them.
#pragma once

#include <cmath>
#include <cstdint>

namespace rimbrel::param {

// trunc(x) as an int32, with NaN giving 0 and values beyond the range held at its ends.
inline int32_t truncToInt(double x) {
    if (!(x == x)) return 0;
    if (x >= 2147483647.0) return 2147483647;
    if (x <= -2147483648.0) return -2147483647 - 1;
    return int32_t(x);
}

// ---- setting -> normalised value (what getParameter answers) ----
inline float pitchToParameter(int32_t semitones) { return float(semitones + 48) / 96.0f; }
inline float playModeToParameter(int32_t mode) { return float(mode) * 0.5f; }
inline float reverseToParameter(bool reversed) { return reversed ? 1.0f : 0.0f; }
inline float volumeToParameter(float gain) { return std::sqrt(gain * 0.25f); }

// ---- normalised value -> setting (what setParameter stores) ----
inline int32_t pitchFromParameter(float v) { return truncToInt(double(float(v * 96.0f)) + 0.5) - 48; }
inline int32_t playModeFromParameter(float v) { return truncToInt(double(float(v * 2.0f)) + 0.5); }
inline bool reverseFromParameter(float v) { return truncToInt(double(v) + 0.5) != 0; }
inline float volumeFromParameter(float v) { return v * v * 4.0f; }

}  // namespace rimbrel::param
