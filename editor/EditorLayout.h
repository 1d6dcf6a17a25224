// Where everything lies in the editor's window, and the tags its controls
// carry. Rectangles are in window pixels (left, top, right, bottom).
#pragma once

#include <cstdint>

#include "platform/Geometry.h"
#include "kit/Kit.h"

namespace rimbrel {

// ---- control tags ----
constexpr int32_t kTagNameLabel = 51;  // + key: name label
constexpr int32_t kTagKeyButton = 75;  // + key: key button
constexpr int32_t kTagExport = 195;
constexpr int32_t kTagDrop = 197;
constexpr int32_t kTagModeSwitch = 198;

// ---- what the value labels and the name-label bars show ----
enum DisplayMode : int32_t {
    ModeDuration = 0,
    ModePitch = 1,
    ModePlayMode = 2,
    ModeReverse = 3,
    ModeVolume = 4,
};
constexpr int kNumDisplayModes = 5;

// ---- kinds of save dialog awaiting an answer ----
constexpr int32_t kSelectorNone = 0;
constexpr int32_t kSelectorKitExport = 102;
constexpr int32_t kSelectorIndividualExport = 103;

// ---- the window ----
constexpr int kWindowWidth = 540;   // the background bitmap's size; the
constexpr int kWindowHeight = 786;  // window takes whatever the bitmap has
constexpr int kLabelHeight = 18;    // name labels
constexpr int kValueLabelHeight = 16;

// Vertical offsets of the 12 keys of an octave (F .. E) below the octave's
// first label top, and the distance between the two octaves.
constexpr double kKeyOffsets[12] = {0, 20, 40, 61, 81, 102, 122, 162, 183, 203, 224, 244};
constexpr double kOctavePitch = 7 * 40.71428571;

// Top of key k's name and value labels, in double precision and unrounded
// (the second octave lies 284.99999997 pixels below the first).
constexpr double labelTop(int k) {
    return 160.0 + kKeyOffsets[k % 12] + double(k / 12) * kOctavePitch;
}

constexpr gui::CRect nameLabelRect(int k) { return {34, labelTop(k), 206, labelTop(k) + kLabelHeight}; }
constexpr gui::CRect valueLabelRect(int k) {
    return {210, labelTop(k), 244, labelTop(k) + kValueLabelHeight};
}

// The invisible button over the drawn key k. Its tops do not follow the
// label rule: they trace the drawing of the keyboard.
constexpr int kKeyButtonTops[kNumKeys] = {148, 148, 189, 210, 230, 250, 271, 311, 311, 352, 372, 392,
                                          433, 433, 474, 494, 514, 534, 556, 598, 598, 637, 657, 678};
constexpr gui::CRect keyButtonRect(int k) {
    const double top = kKeyButtonTops[k] + 3;
    if (isWhiteKey(k)) return {277, top, 277 + 80, top + 41};
    // The two G sharps sit between keys drawn closer together.
    const double height = (k % 12 == 3) ? 40 : 60;
    return {358, top, 358 + 40, top + height};
}

// Where key k lights up while it sounds, inside its button: the face of a
// white key, or a disc on the round cap of a black key, which is drawn on
// the border below the white key before it.
constexpr gui::CRect keyLightRect(int k) {
    if (isWhiteKey(k)) {
        const gui::CRect button = keyButtonRect(k);
        return {button.left + 4, button.top + 4, button.right - 4, button.bottom - 4};
    }
    const double centreX = 378, centreY = keyButtonRect(k - 1).bottom, radius = 13;
    return {centreX - radius, centreY - radius, centreX + radius, centreY + radius};
}

constexpr gui::CRect kTotalLabelRect{35, 726, 225, 742};
// Below the total and the drawn instrument, across the window.
constexpr gui::CRect kStatusLineRect{35, 766, 528, 784};
constexpr gui::CPoint kExportButtonOrigin{14, 73};  // size: the bitmap's width, half its height
constexpr gui::CPoint kDropButtonOrigin{8, 11};     // size: the bitmap's width, half its height
constexpr gui::CPoint kModeSwitchOrigin{16, 113};   // size: the bitmap's width, a fifth of its height

// Parameter index of key k's setting shown in mode m (1..4).
constexpr int32_t parameterBank(int m) {
    switch (m) {
        case ModePitch: return 99;
        case ModePlayMode: return 123;
        case ModeReverse: return 147;
        case ModeVolume: return 171;
        default: return 0;
    }
}

// The value a setting takes when its key is erased or reset: pitch 0,
// one-shot, forward, gain 1.0.
constexpr float defaultSettingValue(int m) { return m == ModeReverse ? 0.0f : 0.5f; }

}  // namespace rimbrel
