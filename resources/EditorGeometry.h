// Where the editor's window puts its labels and key buttons, in window
// pixels. The artwork is drawn around these places and the editor puts its
// controls on them, so both (and every tool that aims a click or a drop at
// a key) read them from here. Plain numbers: this header needs nothing.
#pragma once

namespace rimbrel::geometry {

// The window: the background bitmap's size.
constexpr int kWindowWidth = 540;
constexpr int kWindowHeight = 786;

// Keys 0..23 run from F to E over two octaves; these are drawn white.
constexpr bool isWhiteKey(int k) {
    const int m = k % 12;
    return m == 0 || m == 2 || m == 4 || m == 6 || m == 7 || m == 9 || m == 11;
}

// ---- the label column: one name label and one value label per key ----
constexpr double kNameLabelLeft = 34;
constexpr double kNameLabelRight = 206;
constexpr double kNameLabelHeight = 18;
constexpr double kValueLabelLeft = 210;
constexpr double kValueLabelRight = 244;
constexpr double kValueLabelHeight = 16;

// Vertical offsets of the 12 keys of an octave (F .. E) below the octave's
// first label top, and the distance between the two octaves.
constexpr double kFirstLabelTop = 160;
constexpr double kKeyOffsets[12] = {0, 20, 40, 61, 81, 102, 122, 162, 183, 203, 224, 244};
constexpr double kOctavePitch = 7 * 40.71428571;

// Top of key k's name and value labels, in double precision and unrounded
// (the second octave lies 284.99999997 pixels below the first).
constexpr double labelTop(int k) { return kFirstLabelTop + kKeyOffsets[k % 12] + double(k / 12) * kOctavePitch; }

// Where a click or a drop aimed at key k's name lands: the label's middle.
constexpr int nameLabelMiddleX() { return int(kNameLabelLeft + kNameLabelRight) / 2; }
constexpr int nameLabelMiddleY(int k) { return int(labelTop(k) + kNameLabelHeight / 2); }

// ---- the keyboard: one invisible button over each drawn key ----
struct Box {
    int left, top, right, bottom;
};

// The buttons' tops do not follow the label rule: they trace the drawing of
// the keyboard (each button starts 3 pixels below its entry here).
constexpr int kKeyButtonTops[24] = {148, 148, 189, 210, 230, 250, 271, 311, 311, 352, 372, 392,
                                    433, 433, 474, 494, 514, 534, 556, 598, 598, 637, 657, 678};

constexpr Box keyButtonBox(int k) {
    const int top = kKeyButtonTops[k] + 3;
    if (isWhiteKey(k)) return {277, top, 277 + 80, top + 41};
    // The two G sharps sit between keys drawn closer together.
    return {358, top, 358 + 40, top + (k % 12 == 3 ? 40 : 60)};
}

// ---- the mode switch above the keys: one icon per display mode ----
constexpr int kModeSwitchLeft = 16;
constexpr int kModeSwitchTop = 113;
constexpr int kModeSwitchWidth = 232;  // the label panel's width
constexpr int kModeSwitchHeight = 37;  // one image of the strip
constexpr int kModeSwitchIcons = 6;
// The middle of icon m, where a click chooses that mode.
constexpr double modeIconMiddleX(int m) { return kModeSwitchLeft + (m + 0.5) * kModeSwitchWidth / kModeSwitchIcons; }
constexpr double modeIconMiddleY() { return kModeSwitchTop + kModeSwitchHeight / 2.0; }

// ---- the target switch below the total: "OP-1" | "OP-1 Field" ----
constexpr int kTargetSwitchLeft = 35;
constexpr int kTargetSwitchTop = 745;
constexpr int kTargetSwitchWidth = 180;  // two halves, one per target
constexpr int kTargetSwitchHeight = 19;  // one image of the pair
// The middle of target t's half (0 OP-1, 1 OP-1 Field).
constexpr double targetHalfMiddleX(int t) { return kTargetSwitchLeft + (t + 0.5) * kTargetSwitchWidth / 2.0; }
constexpr double targetSwitchMiddleY() { return kTargetSwitchTop + kTargetSwitchHeight / 2.0; }

}  // namespace rimbrel::geometry
