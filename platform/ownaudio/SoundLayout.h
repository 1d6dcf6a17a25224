// What a WAV or AIFF header tells about the samples that follow it, and how
// those samples become floats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace rimbrel::platform::ownaudio {

class FileBytes;

// How one sample is stored.
struct SampleEncoding {
    enum class Kind { Signed,
                      Unsigned,
                      Float };
    Kind kind = Kind::Signed;
    int bytes = 2;  // 1..4 for integers, 4 or 8 for floats
    bool bigEndian = false;
};

struct SoundLayout {
    int channels = 0;
    int sampleRate = 0;
    SampleEncoding encoding;
    int64_t dataOffset = 0;  // the first frame's first byte
    int64_t frames = 0;      // whole frames the file holds from there

    int frameBytes() const { return channels * encoding.bytes; }
};

// The layout of a WAV (RIFF) file, or nothing when the file is not one this
// decoder reads.
std::optional<SoundLayout> readWavHeader(const FileBytes& file);

// The layout of an AIFF or AIFC file, or nothing likewise.
std::optional<SoundLayout> readAiffHeader(const FileBytes& file);

// Converts count samples stored with encoding into floats: integers at full
// scale (-1..+1), floats as stored.
void convertSamples(const unsigned char* stored, std::size_t count, const SampleEncoding& encoding, float* out);

// The most channels a file may have.
constexpr int kMaxChannels = 1024;
// Chunks looked at before the header is taken for broken: real files have a
// handful, and a large file of empty chunks would otherwise cost a read each.
constexpr int kMaxChunks = 10000;
// The whole frames of a data area, cut down to the file's end.
int64_t framesHeld(int64_t dataOffset, int64_t claimedBytes, int64_t fileLength, int frameBytes);

}  // namespace rimbrel::platform::ownaudio
