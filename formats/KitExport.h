// The two exports of the kit: one Op-1 drum-kit file (exportKit) and one AIFF
// file per key (exportIndividualFiles).
//
// Both take what they read as arguments, so they run without an effect or a
// window: the editor fills a KitExportInput from the kit, its parameter
// values and its stored key paths, and the command-line tool does the same.
// Both run on the UI thread; no exceptions leave them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kit/Kit.h"

namespace rimbrel {

constexpr int32_t kPositionFullScale = 2147483646;  // position value of 529200 frames

struct KitExportInput {
    // Audio of each key: at least length[k] frames (null counts as empty).
    const float* frames[kNumKeys] = {};
    int32_t length[kNumKeys] = {};
    // Normalised parameter values, as the effect's getParameter gives them
    // for pitch (99 + k), play mode (123 + k), direction (147 + k) and
    // volume (171 + k). The defaults are those of a fresh key.
    float pitch[kNumKeys];
    float playMode[kNumKeys];
    float reverse[kNumKeys];
    float volume[kNumKeys];
    // Stored path of each key's sample (may be null). A key counts as named
    // when the first byte lies in 1..127.
    const char* keyName[kNumKeys] = {};

    // Mono mixes of the kit's stereo keys that frames points into (see
    // kitExportInput); empty otherwise.
    std::shared_ptr<const std::vector<float>> mixes;
    // True when memory for the mixes ran out: the stereo keys then have no
    // audio here, and an export must be refused rather than written without them.
    bool mixesMissing = false;

    KitExportInput();
};

// Fills an input from the kit for the original OP-1: mono keys in place,
// stereo keys as their mono mix ((right + left) * 0.5, held by the input),
// lengths as the OP-1 counts them, the settings through the parameter map's
// conversions, the names as given (keyNames may be null: no key is named).
// Out of memory for a mix, that key counts as empty.
KitExportInput kitExportInput(const Kit& kit, const char* const* keyNames);

struct KeyLayout {
    int32_t contributedFrames;  // frames of the key in the audio: length - 1, or 0
    int32_t startFrame;         // first frame of the key in the audio
    int32_t endFrame;           // last frame of the key in the audio (inclusive)
    int32_t sourceKey;          // key whose audio and settings stand for this one
};

struct KitLayout {
    KeyLayout key[kNumKeys];
    int32_t totalFrames;  // frames of audio the kit yields
};

// Lays the keys end to end. An empty key 0 spans 0..128 with the settings of
// key 1; any later empty key repeats the previous key's span and settings.
// Keys longer than maxKeyFrames count as maxKeyFrames long.
KitLayout kitLayout(const int32_t length[kNumKeys], int32_t maxKeyFrames = kMaxKeyFrames);

// The keys' usable lengths added up into total; true when at least one key
// with audio has a name, the least a kit export needs.
bool anyNamedKeyWithAudio(const int32_t length[kNumKeys], const char* const keyName[kNumKeys], int64_t& total);

// floor(frame / 529200 * 2147483646) in double precision, held to 0..2147483646.
int32_t positionValue(int64_t frame);

// The description's values of one key's settings (normalised inputs).
int32_t pitchValue(float p);     // semitones * 512, +256 below -255
int32_t playModeValue(float p);  // 8000 gate, 8192 one-shot, 16384 loop
int32_t reverseValue(float p);   // 8192 forward, 16384 backwards
int32_t volumeValue(float p);    // 16384 * p, rounded

// The APPL text of a kit file: "op-1", the JSON description on one line, and
// the padding spaces. With printDiagnostics, writes the per-key "set starts"
// and "set ends" lines to stderr as it goes. May throw std::bad_alloc.
std::string kitDescription(const KitExportInput& in, const KitLayout& layout, bool printDiagnostics);

// The APPL text of the per-key files.
extern const char* const kIndividualFileComment;

enum class ExportResult {
    Written,          // the file (or at least one per-key file) is in place
    NothingToExport,  // nothing to write: no file touched, nothing printed
    Refused,          // the path does not fit, or memory ran out: one line printed
    Failed,           // a file could not be written: the writer's line printed
    TooLong,          // the keys total more than 529200 frames: one line printed, no file touched
};

// Writes the kit as one Op-1 drum-kit file at `path` (after forceAifExtension).
// A kit whose keys total more than kMaxKitFrames is refused (TooLong).
ExportResult exportKit(const char* path, const KitExportInput& in);

// Writes every key of 2 frames or more as <name>_NN.<ext>, NN = key + 1.
// filesWritten (optional) receives the number of files put in place.
ExportResult exportIndividualFiles(const char* path, const KitExportInput& in, int* filesWritten = nullptr);

// The file exportKit writes for `path` (with the ".aif" extension); empty
// when the path does not fit.
std::string kitExportPath(const char* path);

// The files exportIndividualFiles writes for `path`, in key order; none when
// the path does not fit.
struct IndividualExportFile {
    int key;
    std::string path;
};
std::vector<IndividualExportFile> individualExportFiles(const char* path, const KitExportInput& in);

// The per-key file of key k for `path` (<stem>_NN.aif); empty when it does
// not fit.
std::string individualExportPath(const char* path, int k);

}  // namespace rimbrel
