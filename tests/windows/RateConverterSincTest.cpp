// The kit's own rate converter (the one of platforms without libsoxr): a tone
// keeps its pitch and level, and the frame count is the one the loader plans.
#include "kit/RateConverter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace rimbrel {
namespace {

// Converts in pieces of piece frames, as the loader does, then drains.
std::vector<float> convertAll(int rate, const std::vector<float>& in, std::size_t piece) {
    auto converter = RateConverter::create(rate);
    EXPECT_NE(converter, nullptr);
    std::vector<float> out;
    std::vector<float> room(997);
    std::size_t taken = 0;
    for (;;) {
        const bool ended = taken == in.size();
        std::size_t used = 0, made = 0;
        const std::size_t count = std::min(piece, in.size() - taken);
        EXPECT_TRUE(converter->convert(ended ? nullptr : in.data() + taken, count, used, room.data(), room.size(), made));
        taken += used;
        out.insert(out.end(), room.begin(), room.begin() + long(made));
        if (ended && made == 0) break;
    }
    return out;
}

// The amplitude of frequency hz in x at 44100 Hz, over its middle half.
double amplitudeAt(const std::vector<float>& x, double hz) {
    double re = 0, im = 0;
    const std::size_t from = x.size() / 4, to = 3 * x.size() / 4;
    for (std::size_t i = from; i < to; ++i) {
        const double phase = 2 * std::numbers::pi * hz * double(i) / 44100.0;
        re += x[i] * std::cos(phase);
        im += x[i] * std::sin(phase);
    }
    return 2 * std::hypot(re, im) / double(to - from);
}

TEST(RateConverterSinc, KeepsAToneAndDropsWhatTheKitCannotHold) {
    for (int rate : {8000, 22050, 48000, 96000}) {
        SCOPED_TRACE(rate);
        const int64_t frames = rate / 2;
        std::vector<float> tone(std::size_t(frames), 0.0f);
        // 1 kHz at 0.5, and (above 22.05 kHz, only where the source has it)
        // 30 kHz at 0.25 that must not fold back into the kit.
        for (std::size_t i = 0; i < tone.size(); ++i) {
            const double t = double(i) / rate;
            tone[i] = float(0.5 * std::sin(2 * std::numbers::pi * 1000 * t));
            if (rate > 60000) tone[i] += float(0.25 * std::sin(2 * std::numbers::pi * 30000 * t));
        }
        const std::vector<float> out = convertAll(rate, tone, 4096);
        EXPECT_EQ(int64_t(out.size()), convertedFrames(frames, rate));
        EXPECT_NEAR(amplitudeAt(out, 1000), 0.5, 0.005);
        if (rate > 60000) EXPECT_LT(amplitudeAt(out, 44100 - 30000), 0.001);  // where 30 kHz would fold
        EXPECT_EQ(convertAll(rate, tone, 333), out);                          // pieces of any size give the same frames
    }
}

}  // namespace
}  // namespace rimbrel
