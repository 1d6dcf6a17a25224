// The loader's decode that keeps a file's channels: the same key layout as a
// load into the kit, per channel, with its own cut.
#include "kit/Loader.h"

#include "SoundFiles.h"

#include <gtest/gtest.h>

#include <cstring>

namespace rimbrel {
namespace {

using namespace rimbrel::test;

void expectSameKey(const std::vector<float>& got, const std::vector<float>& expected, int32_t length) {
    ASSERT_GE(got.size(), std::size_t(length));
    for (int32_t i = 0; i < length; ++i)
        ASSERT_EQ(std::memcmp(&got[std::size_t(i)], &expected[std::size_t(i)], sizeof(float)), 0) << "position " << i;
}

TEST(DecodeKeyAudio, EachChannelIsLaidOutAsTheLoaderLaysOutAKey) {
    TempDir dir;
    for (int channels : {1, 2}) {
        const std::string path = dir.file("s" + std::to_string(channels) + ".wav");
        writeWav(path, 3000, channels, 7);
        DecodedKeyAudio audio;
        const LoadReport report = decodeKeyAudio(path.c_str(), kMaxKeyFrames, audio);
        ASSERT_TRUE(report.loaded);
        ASSERT_EQ(audio.channels, channels);
        const Decoded d = decode(path);
        for (int c = 0; c < channels; ++c) {
            std::vector<float> expected;
            const int32_t length = expectedKey(channelOf(d, c), expected);
            EXPECT_EQ(audio.length, length);
            expectSameKey(audio.channel[c], expected, length);
        }
        // A mono file gives what a load into the kit gives.
        if (channels == 1) {
            std::unique_ptr<Kit> kit = makeKit();
            testing::internal::CaptureStderr();
            loadKeyFile(*kit, path.c_str(), 0, nullptr);
            testing::internal::GetCapturedStderr();
            EXPECT_EQ(kit->keyLength[0], audio.length);
            expectSameKey(audio.channel[0], std::vector<float>(kit->keySamples[0], kit->keySamples[0] + 3000), 3000);
        }
    }
}

TEST(DecodeKeyAudio, CutsAtItsOwnLimitAndConvertsBothChannels) {
    TempDir dir;
    const std::string path = dir.file("long.wav");
    writeWav(path, 900000, 2, 3);
    DecodedKeyAudio audio;
    LoadReport report = decodeKeyAudio(path.c_str(), 882000, audio);
    ASSERT_TRUE(report.loaded);
    EXPECT_TRUE(report.cut);
    EXPECT_EQ(audio.length, 881999);
    const Decoded d = decode(path);
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(audio.channel[c][2], d.samples[std::size_t(c)]) << c;
        EXPECT_EQ(audio.channel[c][881995], d.samples[std::size_t(881993 * 2 + c)]) << c;
        EXPECT_EQ(audio.channel[c][881996], 0.0f) << c;
    }

    // At another rate both channels come out as long as the kit's mono key.
    const std::string converted = dir.file("48k.wav");
    std::vector<float> samples = ramp(4800, 2, 5);
    writeSound(converted, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, samples);
    report = decodeKeyAudio(converted.c_str(), kMaxKeyFrames, audio);
    ASSERT_TRUE(report.loaded);
    EXPECT_TRUE(report.resampled);
    EXPECT_EQ(audio.length, 4410);
    EXPECT_EQ(audio.channel[1].size(), 4410u);

    EXPECT_FALSE(decodeKeyAudio(dir.file("missing.wav").c_str(), kMaxKeyFrames, audio).loaded);
    EXPECT_EQ(audio.channels, 0);
}

}  // namespace
}  // namespace rimbrel
