// The Op-1 Field's kit file: one stereo drum-kit file of at most 20 seconds
// (exportFieldKit), and one stereo AIFF file per key (exportFieldIndividualFiles).
//
// The kit file is AIFC with the chunks FVER, COMM (2 channels, 16-bit,
// 44100 Hz, "sowt"), APPL and SSND. The APPL body is "op-1" and exactly
// 4096 bytes: the JSON description on one line (keys in alphabetical order,
// as the Field writes them), a line feed, then spaces. Keys are laid end to
// end as in the original kit (kitLayout), positions count 882000 frames to
// full scale. A mono key goes to both channels.
//
// The input is a description of the keys in memory, so the writer runs
// without a kit, an effect or a window. Both exports belong to the UI thread
// (or a tool's main thread); failures leave the target as it was, and no
// exceptions leave them.
#pragma once

#include <cstdint>
#include <string>

#include "formats/KitExport.h"

namespace rimbrel {

constexpr int32_t kFieldMaxKeyFrames = 882000;        // 20 s at 44100 frames per second
constexpr int32_t kFieldMaxKitFrames = 882000;        // the most a Field kit may total
constexpr std::size_t kFieldDescriptionBytes = 4096;  // APPL body after "op-1"

// One key's audio: 1 or 2 channels of at least `length` frames at 44100 Hz.
struct FieldKeyAudio {
    const float* channel[2] = {};  // left (or the only channel), right (null: mono)
    int32_t length = 0;
    int channels() const { return channel[1] ? 2 : 1; }
};

struct FieldKitInput {
    FieldKeyAudio audio[kNumKeys];
    // Normalised parameter values, as in KitExportInput (the defaults are
    // those of a fresh key).
    float pitch[kNumKeys];
    float playMode[kNumKeys];
    float reverse[kNumKeys];
    float volume[kNumKeys];
    float pan[kNumKeys];  // 0 full left, 0.5 centre, 1 full right
    // A play-mode value written as it stands instead of playMode's (the
    // Field's fourth mode, kept from an opened kit); -1: none.
    int32_t rawPlayMode[kNumKeys];
    // Stored path of each key's sample (may be null); named as in KitExportInput.
    const char* keyName[kNumKeys] = {};
    std::string name = "user";  // the kit's name in its description
    double mtime = -1.0;        // seconds since 1970; below 0: the time of writing

    FieldKitInput();
};

// Fills an input from the kit: each key's channels in place (keyRight null:
// mono) with its length under the Field target, the settings through the
// parameter map's conversions, pan included, and the names as given
// (keyNames may be null: no key is named).
FieldKitInput fieldKitInput(const Kit& kit, const char* const* keyNames);

// floor(frame / 882000 * 2147483646) in double precision, held to 0..2147483646.
int32_t fieldPositionValue(int64_t frame);

// The Field's values of one key's settings (normalised inputs). Pitch and
// volume are those of the original kit (pitchValue, volumeValue).
int32_t fieldPlayModeValue(float p);  // 4096 gate, 12288 one-shot, 28672 loop
int32_t fieldReverseValue(float p);   // 12000 forward, 24576 backwards
int32_t fieldPanValue(float p);       // 0 left, 16384 centre, 32767 right

// The APPL body of a Field kit: "op-1" and 4096 bytes. Empty when the JSON
// does not fit its 4095 bytes (a kit name far too long). May throw
// std::bad_alloc.
std::string fieldKitDescription(const FieldKitInput& in, const KitLayout& layout);

// Writes the kit as one Field kit file at `path` (after forceAifExtension).
// Keys count at most kFieldMaxKeyFrames; a kit whose keys total more than
// kFieldMaxKitFrames is refused (TooLong) and nothing is touched.
ExportResult exportFieldKit(const char* path, const FieldKitInput& in);

// Writes every key of 2 frames or more as a stereo AIFF <name>_NN.aif (a
// mono key on both channels), as exportIndividualFiles does.
ExportResult exportFieldIndividualFiles(const char* path, const FieldKitInput& in, int* filesWritten = nullptr);

}  // namespace rimbrel
