// A FLAC decoder of the project's own for streams held in memory: the "fLaC"
// marker, STREAMINFO (other metadata blocks are skipped), then frame after
// frame with every subframe kind (CONSTANT, VERBATIM, FIXED, LPC), wasted
// bits, the stereo decorrelations and both checksums.
//
// The bytes are untrusted: every read is bounded by them, a frame's block is
// at most 65536 frames of up to 8 channels, and anything damaged (a bad
// checksum, a reserved code, a frame that disagrees with STREAMINFO, a sample
// outside its size) ends decoding with an error instead of a guess. Samples
// of 4 to 24 bits are read: all the kit state ever stores is 24.
#pragma once

#include "platform/ownaudio/FlacBits.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rimbrel::platform::ownaudio {

struct FlacStreamInfo {
    int channels = 0;
    int bitsPerSample = 0;
    int sampleRate = 0;
    int64_t totalFrames = 0;  // 0: not known
};

class FlacDecoder {
public:
    // The bytes stay the caller's and must outlive the decoder.
    FlacDecoder(const uint8_t* bytes, std::size_t size) : reader_(bytes, size), bytes_(bytes), size_(size) {}

    // Reads the marker and the metadata up to the first frame; false when
    // they are not a FLAC stream's this decoder reads.
    bool readHeader();
    const FlacStreamInfo& info() const { return info_; }

    // Decodes the next frame: its frame count (after which channel(c) holds
    // that many samples of channel c), 0 at the end of the stream, or -1 when
    // the frame is damaged or memory runs out.
    int nextFrame();
    const int32_t* channel(int c) const { return block_[std::size_t(c)].data(); }

private:
    struct FrameHeader {
        int blockSize = 0;
        int assignment = 0;  // 0..7 independent channels, 8..10 stereo
        int bitsPerSample = 0;
    };
    bool readFrameHeader(FrameHeader& header);
    bool readSubframe(int32_t* samples, int blockSize, int bitsPerSample);
    bool readResidual(int32_t* samples, int blockSize, int order, int bitsPerSample,
                      const int32_t* coefficients, int shift);
    bool undoStereo(int assignment, int blockSize);

    BitReader reader_;
    const uint8_t* bytes_;
    std::size_t size_;
    FlacStreamInfo info_;
    int64_t decoded_ = 0;  // frames of the frames read so far
    std::vector<std::vector<int32_t>> block_;
};

}  // namespace rimbrel::platform::ownaudio
