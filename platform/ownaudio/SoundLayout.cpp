// Turning stored samples into floats, and counting the frames a data area
// holds.
#include "platform/ownaudio/SoundLayout.h"

#include <cstring>

namespace rimbrel::platform::ownaudio {

namespace {

// The sample's bytes as an unsigned number, most significant first.
uint64_t assemble(const unsigned char* p, int bytes, bool bigEndian) {
    uint64_t v = 0;
    if (bigEndian) {
        for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    } else {
        for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    }
    return v;
}

}  // namespace

void convertSamples(const unsigned char* stored, std::size_t count, const SampleEncoding& encoding, float* out) {
    const int bytes = encoding.bytes;
    for (std::size_t i = 0; i < count; ++i, stored += bytes) {
        const uint64_t v = assemble(stored, bytes, encoding.bigEndian);
        switch (encoding.kind) {
            case SampleEncoding::Kind::Signed:
            case SampleEncoding::Kind::Unsigned: {
                // Moved to the top of 32 bits, so every width shares one
                // full scale; unsigned 8-bit samples are centred on 128.
                uint32_t top = static_cast<uint32_t>(v << (32 - 8 * bytes));
                if (encoding.kind == SampleEncoding::Kind::Unsigned) top ^= 0x80000000u;
                out[i] = static_cast<float>(static_cast<int32_t>(top)) * (1.0f / 2147483648.0f);
                break;
            }
            case SampleEncoding::Kind::Float:
                if (bytes == 4) {
                    const uint32_t bits = static_cast<uint32_t>(v);
                    std::memcpy(&out[i], &bits, sizeof bits);
                } else {
                    double d;
                    std::memcpy(&d, &v, sizeof d);
                    out[i] = static_cast<float>(d);
                }
                break;
        }
    }
}

int64_t framesHeld(int64_t dataOffset, int64_t claimedBytes, int64_t fileLength, int frameBytes) {
    int64_t bytes = claimedBytes;
    if (bytes > fileLength - dataOffset) bytes = fileLength - dataOffset;
    if (bytes < 0 || frameBytes < 1) return 0;
    return bytes / frameBytes;
}

}  // namespace rimbrel::platform::ownaudio
