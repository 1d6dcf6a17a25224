// A FLAC encoder of the project's own, simple and exact rather than small:
// blocks of 4096 frames; per channel the cheapest of CONSTANT (silence or any
// held value), FIXED orders 0..4 with Rice-coded residuals (the partition
// order and parameters chosen per block), and VERBATIM, leaving out low bits that
// are 0 in every sample (wasted bits); for two channels the best predicted of
// left/right, left/side, side/right and mid/side. STREAMINFO
// carries the frame count, the block and frame sizes, and no MD5 (all zeros:
// "not computed").
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rimbrel::platform::ownaudio {

class BitWriter;

class FlacEncoder {
public:
    static constexpr int kBlockFrames = 4096;

    // Writes the stream's header to out for totalFrames frames of channels
    // (1..8) channels of bitsPerSample (4..24) bits. Growing out may throw
    // std::bad_alloc, here and below.
    FlacEncoder(std::vector<uint8_t>& out, int channels, int bitsPerSample, int sampleRate, int64_t totalFrames);

    // Encodes the next frames (1..kBlockFrames; only the last block may hold
    // fewer) as one frame; channels[c] points at channel c's samples, each
    // within bitsPerSample bits.
    void writeBlock(const int32_t* const* channels, int frames);

    // Writes the smallest and largest frame sizes into STREAMINFO.
    void finish();

private:
    struct Plan;  // how one subframe is coded, and its size in bits
    void planSubframe(const int32_t* samples, int frames, int bits, Plan& plan);
    void writeSubframe(BitWriter& w, const int32_t* samples, int frames, int bits, const Plan& plan);
    void writeFrameHeader(BitWriter& w, int frames, int assignment);
    // The samples shifted right by wasted bits (in shifted_ unless 0).
    const int32_t* withoutWastedBits(const int32_t* samples, int frames, int wasted);

    std::vector<uint8_t>& out_;
    std::size_t streamStart_;
    int channels_;
    int bitsPerSample_;
    int sampleRate_;
    int64_t frameNumber_ = 0;
    uint32_t smallestFrame_ = 0;
    uint32_t largestFrame_ = 0;
    std::vector<int32_t> mid_, side_;
    std::vector<int32_t> shifted_;
    std::vector<uint32_t> folded_;
};

}  // namespace rimbrel::platform::ownaudio
