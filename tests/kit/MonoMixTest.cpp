// The mono mix and the key buffer write, against plain scalar arithmetic,
// for every count (vector blocks and their remainders) and special values.
#include "kit/KeyAudio.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace rimbrel {
namespace {

float scalarClamp(float v) {
    if (std::isnan(v)) return 0.0f;
    if (v < -1.0f) return -1.0f;
    if (v > 1.0f) return 1.0f;
    return v;
}

std::vector<float> awkwardSamples(std::size_t n) {
    const float specials[] = {0.0f, -0.0f, 1.0f, -1.0f, 1.0000001f, -1.0000001f, 3.5f, -250.0f,
                              std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::denorm_min(),
                              0x1p-24f, 0.999999f, -0.75f, 0.3333333f};
    std::vector<float> s(n);
    for (std::size_t i = 0; i < n; ++i) s[i] = specials[(i * 7 + i / 3) % 16];
    return s;
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A stereo key's channels, split as the loader splits them; their mix must
// be the mono mix bit for bit.
TEST(MonoMix, StereoSplitMatchesScalarArithmeticAndMixesToTheMonoMix) {
    for (std::size_t count = 0; count <= 37; ++count) {
        const std::vector<float> in = awkwardSamples(2 * count + 1);
        std::vector<float> left(count + 1, 42.0f), right(count + 1, 42.0f), mono(count + 1);
        splitStereo(in.data() + 1, left.data(), right.data(), count);
        mixToMono(in.data() + 1, mono.data(), count, 2);
        for (std::size_t i = 0; i < count; ++i) {
            ASSERT_TRUE(sameBits(left[i], scalarClamp(in[1 + 2 * i]))) << count << " " << i;
            ASSERT_TRUE(sameBits(right[i], scalarClamp(in[2 + 2 * i]))) << count << " " << i;
            ASSERT_TRUE(sameBits((right[i] + left[i]) * 0.5f, mono[i])) << count << " " << i;
        }
        EXPECT_EQ(left[count], 42.0f);
        EXPECT_EQ(right[count], 42.0f);
    }
}

TEST(MonoMix, MatchesScalarArithmeticForEveryCount) {
    for (std::size_t count = 0; count <= 37; ++count) {
        for (std::size_t offset = 0; offset < 3; ++offset) {  // unaligned input and output too
            const std::vector<float> in = awkwardSamples(2 * count + offset);
            std::vector<float> mono(count + offset + 1, 42.0f), stereo(count + offset + 1, 42.0f);
            mixToMono(in.data() + offset, mono.data() + offset, count, 1);
            mixToMono(in.data() + offset, stereo.data() + offset, count, 2);
            for (std::size_t i = 0; i < count; ++i) {
                const float* f = in.data() + offset;
                ASSERT_TRUE(sameBits(mono[offset + i], scalarClamp(f[i]))) << count << " " << i;
                const float sum = scalarClamp(f[2 * i + 1]) + scalarClamp(f[2 * i]);
                ASSERT_TRUE(sameBits(stereo[offset + i], sum * 0.5f)) << count << " " << i;
            }
            EXPECT_EQ(mono[offset + count], 42.0f) << "nothing written past count";
            EXPECT_EQ(stereo[offset + count], 42.0f);
        }
    }
}

TEST(MonoMix, ClampSampleKeepsTheHostSafe) {
    EXPECT_EQ(clampSample(std::numeric_limits<float>::quiet_NaN()), 0.0f);
    EXPECT_EQ(clampSample(std::numeric_limits<float>::infinity()), 1.0f);
    EXPECT_EQ(clampSample(-std::numeric_limits<float>::infinity()), -1.0f);
    EXPECT_EQ(clampSample(0.25f), 0.25f);
}

TEST(WriteKeyBuffer, CopiesThenZeroesTheWholeBuffer) {
    const std::size_t total = 103;
    for (std::size_t start = 0; start < 4; ++start) {  // aligned and unaligned keys
        for (std::size_t count : {0u, 1u, 3u, 4u, 5u, 50u, 101u, 103u, 200u}) {
            alignas(16) float storage[110];
            std::fill(std::begin(storage), std::end(storage), 7.0f);
            std::vector<float> src(200);
            for (std::size_t i = 0; i < src.size(); ++i) src[i] = 0.5f + static_cast<float>(i);
            writeKeyBuffer(storage + start, total, src.data(), count);
            for (std::size_t i = 0; i < total; ++i)
                ASSERT_EQ(storage[start + i], i < count ? src[i] : 0.0f) << start << " " << count << " " << i;
            for (std::size_t i = start + total; i < 110; ++i) ASSERT_EQ(storage[i], 7.0f) << "past the key";
            for (std::size_t i = 0; i < start; ++i) ASSERT_EQ(storage[i], 7.0f) << "before the key";
        }
    }
}

}  // namespace
}  // namespace rimbrel
