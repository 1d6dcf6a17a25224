// The parameter map: where each per-key setting sits among the effect's
// parameter indices, and how a setting converts to and from the normalised
// value in [0, 1] that the parameter interface carries (0.5 = pitch 0,
// one-shot, volume 1.0, pan centre; 0 = forward, the OP-1 target), with the
// text each shows. The effect
// answers the host with these, the exports and the tools read settings
// through them, and the editor edits settings through the effect's
// parameters, so all of them agree by construction.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "kit/Kit.h"

namespace rimbrel {

// ---- indices (k = key index 0..23) ----
// Setting a value v at kParamAudition auditions key round(v). The host itself
// is told about one parameter only (index 0, which does nothing).
constexpr int32_t kParamAudition = 2;
constexpr int32_t kParamPitch = 99;      // + k: pitch of key k
constexpr int32_t kParamPlayMode = 123;  // + k: play mode
constexpr int32_t kParamReverse = 147;   // + k: direction
constexpr int32_t kParamVolume = 171;    // + k: volume
constexpr int32_t kParamPan = 245;       // + k: pan (195..244 are the window's own)
constexpr int32_t kParamTarget = 269;    // the kit target (one for the kit)

// Which setting an index belongs to, and for which key. Hosts may pass any
// index, down to INT32_MIN: the difference is taken without overflow.
inline bool keyOfIndex(int32_t index, int32_t base, int& k) {
    const int64_t d = int64_t(index) - int64_t(base);
    k = d >= 0 && d < kNumKeys ? int(d) : -1;
    return k >= 0;
}

// Converts to an integer toward zero, saturating at the int32 range (NaN
// gives 0): out-of-range parameter values must not be undefined behaviour.
inline int32_t truncToInt(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.0) return 2147483647;
    if (x <= -2147483648.0) return -2147483647 - 1;
    return int32_t(x);
}

namespace param {

// ---- setting -> normalised value (what getParameter answers) ----
inline float pitchToParameter(int32_t semitones) { return float(semitones + 48) / 96.0f; }
inline float playModeToParameter(int32_t mode) { return float(mode) * 0.5f; }
inline float reverseToParameter(bool reversed) { return reversed ? 1.0f : 0.0f; }
inline float volumeToParameter(float gain) { return std::sqrt(gain * 0.25f); }
inline float panToParameter(float pan) { return (pan + 1.0f) * 0.5f; }  // 0 left, 0.5 centre, 1 right
inline float targetToParameter(KitTarget target) { return target == KitTarget::Op1Field ? 1.0f : 0.0f; }

// ---- normalised value -> setting (what setParameter stores) ----
inline int32_t pitchFromParameter(float v) {
    const int64_t pitch = int64_t(truncToInt(double(float(v * 96.0f)) + 0.5)) - 48;
    return int32_t(pitch < INT32_MIN ? INT32_MIN : pitch);
}
inline int32_t playModeFromParameter(float v) { return truncToInt(double(float(v * 2.0f)) + 0.5); }
inline bool reverseFromParameter(float v) { return truncToInt(double(v) + 0.5) != 0; }
// Not finite for values of NaN, an infinity, or one so large its square
// overflows: the effect keeps the volume it had for those.
inline float volumeFromParameter(float v) { return v * v * 4.0f; }
// Held to -1..+1; NaN gives NaN, and the effect keeps the pan it had.
inline float panFromParameter(float v) {
    const float pan = v * 2.0f - 1.0f;
    return pan < -1.0f ? -1.0f : (pan > 1.0f ? 1.0f : pan);
}
inline KitTarget targetFromParameter(float v) { return v >= 0.5f ? KitTarget::Op1Field : KitTarget::Op1; }

// The value each setting takes on an empty or erased key: pitch 0,
// one-shot, forward, volume 1.0.
constexpr float kDefaultPitch = 0.5f;
constexpr float kDefaultPlayMode = 0.5f;
constexpr float kDefaultReverse = 0.0f;
constexpr float kDefaultVolume = 0.5f;
constexpr float kDefaultPan = 0.5f;

// ---- the texts a setting shows (getParameterDisplay) ----
// Written into text (size bytes, cut if longer); never allocates.
inline void pitchText(int32_t semitones, char* text, std::size_t size) {
    std::snprintf(text, size, "%7d", semitones);
}
// nullptr for a mode outside the table: it has no text.
inline const char* playModeText(int32_t mode) {
    switch (mode) {
        case PlayModeGate: return "->  ";
        case PlayModeOneShot: return "-> |";
        case PlayModeLoop: return "Loop";
        default: return nullptr;
    }
}
inline const char* reverseText(bool reversed) { return reversed ? " <<" : " >>"; }
// Whole decibels, signed: "+ 0", "-12", " -INF" for silence.
inline void volumeText(float gain, char* text, std::size_t size) {
    if (gain <= 0.0f) {
        std::snprintf(text, size, "%s", " -INF");
        return;
    }
    char buf[32];
    const float decibels = 20.0f * float(std::log10(double(gain)));
    const int n = truncToInt(double(decibels) + 0.5);
    std::snprintf(buf, sizeof buf, "%3d", n);
    if (n >= 0) buf[0] = '+';
    std::snprintf(text, size, "%s", buf);
}

// "  C" at the centre, else the side and how far out in percent: "L 50", "R100".
inline void panText(float pan, char* text, std::size_t size) {
    const int percent = truncToInt(double(std::fabs(pan)) * 100.0 + 0.5);
    if (percent == 0) std::snprintf(text, size, "%s", "  C");
    else std::snprintf(text, size, "%c%3d", pan < 0.0f ? 'L' : 'R', percent);
}
inline const char* targetText(KitTarget target) { return target == KitTarget::Op1Field ? "Field" : "OP-1"; }

}  // namespace param
}  // namespace rimbrel
