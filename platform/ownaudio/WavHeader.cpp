// WAV (RIFF) headers: the "fmt " and "data" chunks, found in any order among
// the others. Chunk sizes are little-endian; a chunk of odd size is followed
// by a pad byte.
#include "platform/ownaudio/FileBytes.h"
#include "platform/ownaudio/SoundLayout.h"

#include <cstring>

namespace rimbrel::platform::ownaudio {

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xfffe;

// The last 14 bytes of the sub-format GUIDs of WAVE_FORMAT_EXTENSIBLE; the
// first two hold the plain format code.
constexpr unsigned char kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                         0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};

struct Format {
    uint16_t code = 0;
    int channels = 0;
    uint32_t rate = 0;
    int bits = 0;
};

std::optional<Format> readFmt(const FileBytes& file, int64_t at, uint32_t size) {
    unsigned char b[40];
    if (size < 16 || !file.read(at, b, size >= 40 ? 40 : 16)) return std::nullopt;
    Format f;
    f.code = le16(b);
    f.channels = le16(b + 2);
    f.rate = le32(b + 4);
    f.bits = le16(b + 14);
    if (f.code == kFormatExtensible) {
        if (size < 40 || std::memcmp(b + 26, kGuidTail, sizeof kGuidTail) != 0) return std::nullopt;
        f.code = le16(b + 24);
    }
    return f;
}

std::optional<SampleEncoding> encodingOf(const Format& f) {
    SampleEncoding e;
    // Integer samples fill whole bytes, the bits that count at the top
    // (12 bits in 2 bytes, 20 in 3); 8 bits and fewer are unsigned.
    if (f.code == kFormatPcm && f.bits >= 1 && f.bits <= 32) {
        e.kind = f.bits <= 8 ? SampleEncoding::Kind::Unsigned : SampleEncoding::Kind::Signed;
        e.bytes = (f.bits + 7) / 8;
        return e;
    }
    if (f.code == kFormatFloat && (f.bits == 32 || f.bits == 64)) {
        e.kind = SampleEncoding::Kind::Float;
        e.bytes = f.bits / 8;
        return e;
    }
    return std::nullopt;
}

}  // namespace

std::optional<SoundLayout> readWavHeader(const FileBytes& file) {
    unsigned char riff[12];
    if (!file.read(0, riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
        return std::nullopt;

    // The RIFF size is not trusted (writers that stop early leave it wrong):
    // the chunks are walked to the file's end.
    std::optional<Format> format;
    bool haveData = false;
    int64_t dataOffset = 0;
    int64_t dataBytes = 0;
    int64_t at = 12;
    unsigned char header[8];
    for (int chunks = 0; chunks < kMaxChunks && (!format || !haveData); ++chunks) {
        if (file.readSome(at, header, sizeof header) < static_cast<int64_t>(sizeof header)) {
            // A file cut inside the data chunk's size holds a sound of no
            // frames (libsndfile takes it so, and Linux loads it alike).
            if (!haveData && std::memcmp(header, "data", 4) == 0 && file.length() - at > 4) {
                haveData = true;
                dataOffset = file.length();
            }
            break;
        }
        const uint32_t size = le32(header + 4);
        const int64_t body = at + 8;
        const bool fits = static_cast<int64_t>(size) <= file.length() - body;
        if (std::memcmp(header, "data", 4) == 0) {
            if (!haveData) {
                haveData = true;
                dataOffset = body;
                dataBytes = size;
            }
            // Data running past the end is a file cut short: what is there
            // is read, and nothing after it can be a chunk.
            if (!fits) break;
        } else {
            // Any other chunk must lie inside the file, or the header is
            // taken for broken.
            if (!fits) break;
            if (std::memcmp(header, "fmt ", 4) == 0 && !format) {
                format = readFmt(file, body, size);
                if (!format) return std::nullopt;
            }
        }
        at = body + size + (size & 1);
    }
    if (!format || !haveData) return std::nullopt;

    const std::optional<SampleEncoding> encoding = encodingOf(*format);
    if (!encoding || format->channels < 1 || format->channels > kMaxChannels) return std::nullopt;
    // A rate beyond what a signed 32-bit count holds is no rate.
    if (format->rate < 1 || format->rate > 0x7fffffffu) return std::nullopt;

    SoundLayout layout;
    layout.channels = format->channels;
    layout.sampleRate = static_cast<int>(format->rate);
    layout.encoding = *encoding;
    layout.dataOffset = dataOffset;
    layout.frames = framesHeld(dataOffset, dataBytes, file.length(), layout.frameBytes());
    return layout;
}

}  // namespace rimbrel::platform::ownaudio
