// Converting a file's audio to the kit's 44100 frames per second.
//
// The loader hands over mono frames as it decodes them and takes converted
// frames as they come; the converter holds what its filter still needs in
// between, so a file of any length costs a fixed amount of memory.
#pragma once

#include <cstdint>
#include <memory>

namespace rimbrel {

// Source rates the loader converts. Anything outside (a header claiming 1 Hz
// or 2 GHz is not a recording) is taken frame for frame, as if at 44100 Hz.
constexpr int kMinConvertedRate = 1000;
constexpr int kMaxConvertedRate = 768000;

// True when a file at sourceRate is converted on loading.
constexpr bool convertsRate(int sourceRate) {
    return sourceRate != 44100 && sourceRate >= kMinConvertedRate && sourceRate <= kMaxConvertedRate;
}

// Frames a file of sourceFrames at sourceRate lasts at 44100 Hz, rounded to
// the nearest frame; saturates instead of overflowing for absurd claims.
int64_t convertedFrames(int64_t sourceFrames, int sourceRate);

class RateConverter {
public:
    // A high-quality converter from sourceRate (see convertsRate) to 44100 Hz,
    // or null when it cannot be made (out of memory).
    static std::unique_ptr<RateConverter> create(int sourceRate);
    ~RateConverter();
    RateConverter(const RateConverter&) = delete;
    RateConverter& operator=(const RateConverter&) = delete;

    // Takes up to inCount frames from in and writes at most outRoom frames to
    // out. Returns false on a failure of the converter. used and made tell how
    // many frames were taken and written; with in null, the end of the input
    // has been reached and what the filter still holds comes out.
    bool convert(const float* in, std::size_t inCount, std::size_t& used, float* out, std::size_t outRoom,
                 std::size_t& made);

private:
    explicit RateConverter(void* state) : state_(state) {}
    void* state_;
};

}  // namespace rimbrel
