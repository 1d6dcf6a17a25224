// Reads and checks an Op-1 drum-kit file: an AIFF or AIFC file whose APPL
// chunk holds "op-1" and a JSON description of the 24 keys.
//
// The reader works on the file's bytes in memory and never reads outside
// them, whatever the sizes inside the file claim: a chunk that runs past the
// end, an odd size with its pad byte, a truncated file or a description that
// is not the JSON it should be all end up as lines in `errors` (the file is
// then invalid) or `warnings`, never as a crash. No exceptions leave it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kit/Kit.h"

namespace rimbrel {

// How the Field reads a play mode value: by zones of 8192.
enum class FieldPlayMode {
    Gate,     // 0 .. 8191
    OneShot,  // 8192 .. 16383
    Fourth,   // 16384 .. 24575: the Field's fourth mode, shown as its raw value
    Loop,     // 24576 .. 32767
    Outside,  // any other value
};
FieldPlayMode fieldPlayMode(int64_t value);
// The Field plays a key forward below 16384.
inline bool fieldPlaysForward(int64_t value) { return value < 16384; }

struct KitFileChunk {
    std::string id;       // four characters
    uint64_t offset = 0;  // of the chunk header in the file
    uint64_t size = 0;    // as the chunk header states it
};

struct KitFileDescription {
    bool present = false;  // an APPL chunk with the signature "op-1" was found
    bool parsed = false;   // its text is a JSON object
    std::string text;      // the JSON text, without trailing NUL bytes and white space
    int64_t drumVersion = 0;
    std::string type;
    std::string name;
    bool stereo = false;  // the description says the audio is stereo
    // Per-key arrays of the description; a missing or malformed array is
    // reported and left all 0 (hasX false).
    std::array<int64_t, 24> pitch{}, start{}, end{}, playmode{}, reverse{}, volume{}, pan{};
    bool hasPitch = false, hasStart = false, hasEnd = false, hasPlaymode = false, hasReverse = false,
         hasVolume = false, hasPan = false;
    // A start or end lies outside 0..2147483646 (one of the errors).
    bool positionsOutOfRange = false;
};

struct KitFile {
    bool aifc = false;
    std::vector<KitFileChunk> chunks;
    // COMM
    bool hasCommon = false;
    int channels = 0;
    uint32_t frames = 0;
    int bits = 0;
    double sampleRate = 0.0;
    std::string compression;  // "NONE" for plain AIFF
    bool littleEndian = false;
    // SSND: where the sample frames lie in the file
    bool hasSound = false;
    uint64_t soundOffset = 0;
    uint64_t soundBytes = 0;

    KitFileDescription description;
    // The Field's when the description says stereo, or when 2 channels come
    // with drum_version 2; the original's otherwise.
    KitTarget target = KitTarget::Op1;
    std::vector<std::string> errors;
    std::vector<std::string> warnings;

    bool valid() const { return errors.empty(); }
    // Frames that the description's positions count to full scale: 529200
    // (12 s) for the original, 882000 (20 s) for the Field.
    double positionScaleFrames() const;
};

// Parses a whole file held in memory.
KitFile parseKitFile(const uint8_t* data, std::size_t size);

// Reads the file at `path` (at most 256 MiB) and parses it. When `bytes` is
// given it receives the file's contents. A file that cannot be read gives a
// KitFile with one error.
KitFile readKitFile(const std::string& path, std::vector<uint8_t>* bytes = nullptr);

// The sample frames of a valid 16-bit file, mixed to mono (channels averaged),
// full scale +/-1.0. False when the file's samples cannot be decoded.
bool decodeKitFileFrames(const KitFile& file, const uint8_t* data, std::size_t size, std::vector<float>& mono);

// The frames of key k of a valid 16-bit file, from its start to its end
// position (both included), one vector per channel of the file (right stays
// empty for a mono file). False, with both empty, when the key's positions
// are missing, reversed or reach past the audio: nothing outside the file's
// audio is read.
bool decodeKitFileKey(const KitFile& file, const uint8_t* data, std::size_t size, int k, std::vector<float>& left,
                      std::vector<float>& right);

// 80-bit IEEE 754 extended number (big-endian) to double.
double decodeExtended80(const uint8_t* p);

// The frame a position value stands for, on the given scale.
double positionToFrame(int64_t position, double scaleFrames);

}  // namespace rimbrel
