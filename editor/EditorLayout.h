// Where everything lies in the editor's window, and the tags its controls
// carry. Rectangles are in window pixels (left, top, right, bottom).
#pragma once

#include <cstdint>

#include "platform/Geometry.h"
#include "kit/Kit.h"
#include "kit/ParameterMap.h"
#include "resources/EditorGeometry.h"

namespace rimbrel {

// ---- control tags ----
constexpr int32_t kTagNameLabel = 51;  // + key: name label
constexpr int32_t kTagKeyButton = 75;  // + key: key button
constexpr int32_t kTagExport = 195;
constexpr int32_t kTagDrop = 197;
constexpr int32_t kTagModeSwitch = 198;
constexpr int32_t kTagTargetSwitch = 199;

// ---- what the value labels and the name-label bars show ----
enum DisplayMode : int32_t {
    ModeDuration = 0,
    ModePitch = 1,
    ModePlayMode = 2,
    ModeReverse = 3,
    ModeVolume = 4,
    ModePan = 5,
};
constexpr int kNumDisplayModes = 6;
static_assert(kNumDisplayModes == geometry::kModeSwitchIcons, "one icon per display mode");

// ---- kinds of save dialog awaiting an answer ----
constexpr int32_t kSelectorNone = 0;
constexpr int32_t kSelectorKitExport = 102;
constexpr int32_t kSelectorIndividualExport = 103;
constexpr int32_t kSelectorFieldKitExport = 104;
constexpr int32_t kSelectorFieldIndividualExport = 105;

// ---- the window ----
// Where the labels and key buttons lie comes from the geometry the artwork
// is drawn around.
using geometry::isWhiteKey;
using geometry::kWindowHeight;  // the background bitmap's size; the
using geometry::kWindowWidth;   // window takes whatever the bitmap has
using geometry::labelTop;
constexpr int kLabelHeight = int(geometry::kNameLabelHeight);  // name labels
constexpr int kValueLabelHeight = int(geometry::kValueLabelHeight);

constexpr gui::CRect nameLabelRect(int k) {
    return {geometry::kNameLabelLeft, labelTop(k), geometry::kNameLabelRight, labelTop(k) + kLabelHeight};
}
constexpr gui::CRect valueLabelRect(int k) {
    return {geometry::kValueLabelLeft, labelTop(k), geometry::kValueLabelRight, labelTop(k) + kValueLabelHeight};
}

// The invisible button over the drawn key k.
constexpr gui::CRect keyButtonRect(int k) {
    const geometry::Box box = geometry::keyButtonBox(k);
    return {double(box.left), double(box.top), double(box.right), double(box.bottom)};
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
constexpr gui::CPoint kExportButtonOrigin{14, 73};                                                   // size: the bitmap's width, half its height
constexpr gui::CPoint kDropButtonOrigin{8, 11};                                                      // size: the bitmap's width, half its height
constexpr gui::CPoint kModeSwitchOrigin{geometry::kModeSwitchLeft, geometry::kModeSwitchTop};        // size: one image
constexpr gui::CPoint kTargetSwitchOrigin{geometry::kTargetSwitchLeft, geometry::kTargetSwitchTop};  // likewise

// Parameter index of key 0's setting shown in mode m (1..5); key k's is k above.
constexpr int32_t parameterBank(int m) {
    switch (m) {
        case ModePitch: return kParamPitch;
        case ModePlayMode: return kParamPlayMode;
        case ModeReverse: return kParamReverse;
        case ModeVolume: return kParamVolume;
        case ModePan: return kParamPan;
        default: return 0;
    }
}

// The value a setting takes when its key is erased or reset: pitch 0,
// one-shot, forward, gain 1.0, centre.
constexpr float defaultSettingValue(int m) {
    switch (m) {
        case ModePitch: return param::kDefaultPitch;
        case ModePlayMode: return param::kDefaultPlayMode;
        case ModeReverse: return param::kDefaultReverse;
        case ModePan: return param::kDefaultPan;
        default: return param::kDefaultVolume;
    }
}

}  // namespace rimbrel
