// The own FLAC codec against libsndfile's: each reads what the other writes,
// bit for bit on the 24-bit grid, and the own decoder refuses damaged streams
// with nothing decoded.
#include "platform/LosslessAudio.h"
#include "platform/ownaudio/FlacAudio.h"
#include "platform/ownaudio/FlacBits.h"
#include "platform/ownaudio/FlacEncoder.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <unistd.h>

namespace rimbrel {
namespace {

using Channels = std::vector<std::vector<float>>;
using platform::LosslessAudioLimits;
using platform::ownaudio::decodeFlacAudio;
using platform::ownaudio::encodeFlacAudio;

constexpr float kStep = 1.0f / 8388608.0f;

// A test signal of the given kind: silence, a sine, noise, full scale (both
// extremes and beyond), a stereo pair that differs only a little.
Channels makeSignal(const std::string& kind, int channels, int64_t frames) {
    Channels s(std::size_t(channels), std::vector<float>(std::size_t(frames), 0.0f));
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (int c = 0; c < channels; ++c)
        for (int64_t i = 0; i < frames; ++i) {
            float& v = s[std::size_t(c)][std::size_t(i)];
            if (kind == "sine") v = 0.8f * float(std::sin(0.01 * double(i) * (c + 1)));
            if (kind == "noise") v = noise(random);
            if (kind == "full") v = (i / 3) % 2 ? 1.5f : -1.0f;
            if (kind == "hiss") v = 0.01f * noise(random);
            if (kind == "coarse") v = std::nearbyint(float(std::sin(0.03 * double(i))) * 30000.0f) / 32768.0f;
            if (kind == "near") v = float(std::sin(0.02 * double(i))) * 0.5f + (c ? 3 * kStep : 0.0f);
        }
    return s;
}

// The values the contract stores for s: round(v * 2^23), clamped, NaN as 0.
Channels onGrid(const Channels& s) {
    Channels g = s;
    for (auto& channel : g)
        for (float& v : channel) v = v != v ? 0.0f : std::clamp(std::nearbyint(v / kStep), -8388608.0f, 8388607.0f) * kStep;
    return g;
}

std::vector<const float*> pointers(const Channels& s) {
    std::vector<const float*> p;
    for (const auto& channel : s) p.push_back(channel.data());
    return p;
}

LosslessAudioLimits limitsFor(const Channels& s) { return {2, s.empty() ? 0 : int64_t(s[0].size())}; }

// libsndfile writing FLAC to a file at a compression level of 0..1 (FLAC's
// 0..8: the higher ones predict with LPC) with 16 or 24-bit samples; the
// bytes, and libsndfile's own reading of them as floats.
std::vector<uint8_t> libsndfileFlac(const Channels& s, double level, int format, Channels& readBack) {
    const std::string path = ::testing::TempDir() + "own-flac-" + std::to_string(getpid()) + ".flac";
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = int(s.size());
    info.format = SF_FORMAT_FLAC | format;
    SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(sf, nullptr);
    sf_command(sf, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
    const int shift = format == SF_FORMAT_PCM_16 ? 16 : 8;
    const int64_t frames = int64_t(s[0].size());
    std::vector<int> interleaved;
    const float top = float(1 << (31 - shift));
    for (int64_t i = 0; i < frames; ++i)
        for (const auto& channel : s) interleaved.push_back(int(std::clamp(std::nearbyint(channel[std::size_t(i)] * top), -top, top - 1)) * (1 << shift));
    sf_writef_int(sf, interleaved.data(), frames);
    sf_close(sf);

    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    sf = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<int> all(std::size_t(info.frames * info.channels));
    sf_readf_int(sf, all.data(), info.frames);
    sf_close(sf);
    std::remove(path.c_str());
    readBack.assign(std::size_t(info.channels), {});
    for (std::size_t i = 0; i < all.size(); ++i) readBack[i % std::size_t(info.channels)].push_back(float(all[i] >> 8) * kStep);
    return bytes;
}

TEST(OwnFlac, ReadsAndWritesWhatLibsndfileDoesBitForBit) {
    for (const char* kind : {"silence", "sine", "noise", "hiss", "full", "near"})
        for (int channels : {1, 2})
            for (int64_t frames : {0, 1, 4095, 4096, 4097, 100001}) {
                SCOPED_TRACE(std::string(kind) + ", " + std::to_string(channels) + " channels, " + std::to_string(frames) + " frames");
                const Channels signal = makeSignal(kind, channels, frames);
                const Channels expected = onGrid(signal);
                const auto in = pointers(signal);

                std::vector<uint8_t> theirs, ours;
                Channels ownOfTheirs = expected, theirsOfOwn, ownOfOwn;
                // (libsndfile neither writes nor reads a stream of 0
                // frames; a kit state holds none.)
                if (frames > 0) {
                    ASSERT_TRUE(platform::encodeLosslessAudio(in.data(), channels, frames, theirs));
                    ASSERT_TRUE(decodeFlacAudio(theirs.data(), theirs.size(), limitsFor(signal), ownOfTheirs));
                }
                ASSERT_TRUE(encodeFlacAudio(in.data(), channels, frames, ours));
                if (frames > 0) ASSERT_TRUE(platform::decodeLosslessAudio(ours.data(), ours.size(), limitsFor(signal), theirsOfOwn));
                else theirsOfOwn = expected;
                ASSERT_TRUE(decodeFlacAudio(ours.data(), ours.size(), limitsFor(signal), ownOfOwn));
                EXPECT_EQ(ownOfTheirs, expected);
                EXPECT_EQ(theirsOfOwn, expected);
                EXPECT_EQ(ownOfOwn, expected);
                // A real coder: a sine packs well below 3 bytes a sample.
                if (std::string(kind) == "sine" && frames > 4096) {
                    EXPECT_LT(ours.size(), std::size_t(frames * channels * 2));
                }
            }
}

TEST(OwnFlac, ReadsLibsndfilesLpcAnd16BitStreams) {
    for (int channels : {1, 2})
        for (double level : {0.0, 0.625, 1.0})
            for (int format : {SF_FORMAT_PCM_24, SF_FORMAT_PCM_16}) {
                SCOPED_TRACE(std::to_string(channels) + " channels, level " + std::to_string(level) + ", format " + std::to_string(format));
                for (const char* kind : {"sine", "noise", "near", "coarse"}) {
                    const Channels signal = makeSignal(kind, channels, 20000);
                    Channels theirs, ours;
                    const std::vector<uint8_t> bytes = libsndfileFlac(signal, level, format, theirs);
                    ASSERT_TRUE(decodeFlacAudio(bytes.data(), bytes.size(), limitsFor(signal), ours));
                    EXPECT_EQ(ours, theirs);
                }
            }
}

// What other encoders may write and libsndfile's does not: escaped
// partitions (raw residuals, or none at all), 5-bit Rice parameters and wasted
// bits, in a stream made by hand. libsndfile must read it the same.
TEST(OwnFlac, ReadsEscapedPartitionsAndWastedBits) {
    using namespace platform::ownaudio;
    std::vector<uint8_t> bytes;
    FlacEncoder(bytes, 2, 24, 44100, 16);  // its STREAMINFO only
    const std::size_t start = bytes.size();
    BitWriter w(bytes);
    w.write(0xFFF8, 16);
    w.write(0x691C, 16);  // 8-bit block size, 44100 Hz, left/right, 24 bits
    w.write(0, 8);        // frame 0
    w.write(15, 8);       // 16 frames
    w.write(flacCrc8(bytes.data() + start, bytes.size() - start), 8);
    // Left: FIXED order 1 with 4 wasted bits; residuals escaped as 5-bit
    // values, then Rice-coded with parameter 2.
    w.write(0x13, 8);
    w.writeUnary(3);
    w.writeSigned(-1000, 20);
    w.write(0x01, 6);  // 4-bit parameters, 2 partitions
    w.write(15, 4);
    w.write(5, 5);
    const int residuals[15] = {-16, 15, 3, -3, 0, 7, -9, 1, -5, 6, 0, 2, -1, 4, -7};
    for (int i = 0; i < 7; ++i) w.writeSigned(residuals[i], 5);
    w.write(2, 4);
    for (int i = 7; i < 15; ++i) {
        const uint64_t folded = foldResidual(residuals[i]);
        w.writeUnary(uint32_t(folded >> 2));
        w.write(uint32_t(folded), 2);
    }
    // Right: FIXED order 0; an escaped partition of zeros, then parameter 20.
    w.write(0x10, 8);
    w.write(0x11, 6);  // 5-bit parameters, 2 partitions
    w.write(31, 5);
    w.write(0, 5);
    w.write(20, 5);
    for (int i = 0; i < 8; ++i) {
        const uint64_t folded = foldResidual((i % 2 ? -1 : 1) * 1000000 * i);
        w.writeUnary(uint32_t(folded >> 20));
        w.write(uint32_t(folded), 20);
    }
    w.flushToByte();
    w.write(flacCrc16(bytes.data() + start, bytes.size() - start), 16);

    Channels expected(2);
    int64_t left = -1000;
    expected[0].push_back(float(left * 16) * kStep);
    for (int r : residuals) expected[0].push_back(float((left += r) * 16) * kStep);
    expected[1].assign(8, 0.0f);
    for (int i = 0; i < 8; ++i) expected[1].push_back(float((i % 2 ? -1 : 1) * 1000000 * i) * kStep);
    Channels ours, theirs;
    ASSERT_TRUE(decodeFlacAudio(bytes.data(), bytes.size(), {2, 16}, ours));
    ASSERT_TRUE(platform::decodeLosslessAudio(bytes.data(), bytes.size(), {2, 16}, theirs));
    EXPECT_EQ(ours, expected);
    EXPECT_EQ(theirs, expected);
}

TEST(OwnFlac, KeepsTheGridForOddValues) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Channels signal = {{nan, 2.0f, -2.0f, 1.0f, -1.0f, 0.3f * kStep, 0.7f * kStep, -0.5f * kStep}};
    const auto in = pointers(signal);
    std::vector<uint8_t> bytes = {9, 9};  // encoding appends
    ASSERT_TRUE(encodeFlacAudio(in.data(), 1, 8, bytes));
    Channels out;
    ASSERT_TRUE(decodeFlacAudio(bytes.data() + 2, bytes.size() - 2, limitsFor(signal), out));
    EXPECT_EQ(out, Channels({{0.0f, 8388607 * kStep, -1.0f, 8388607 * kStep, -1.0f, 0.0f, kStep, -0.0f}}));
    EXPECT_FALSE(encodeFlacAudio(in.data(), 3, 8, bytes));
}

TEST(OwnFlac, RefusesDamagedStreamsWithNothingDecoded) {
    const Channels signal = makeSignal("sine", 2, 5000);
    const auto in = pointers(signal);
    std::vector<uint8_t> good;
    ASSERT_TRUE(encodeFlacAudio(in.data(), 2, 5000, good));
    constexpr std::size_t kFramesStart = 42;  // the marker and STREAMINFO
    Channels out = {{1.0f}};

    for (std::size_t size = 0; size < good.size(); ++size) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + std::ptrdiff_t(size));
        EXPECT_FALSE(decodeFlacAudio(cut.data(), cut.size(), limitsFor(signal), out)) << "cut at " << size;
        EXPECT_TRUE(out.empty());
    }
    for (std::size_t at = kFramesStart; at < good.size(); ++at)
        for (uint8_t flip : {0x01, 0x80, 0xFF}) {
            std::vector<uint8_t> bad = good;
            bad[at] ^= flip;
            EXPECT_FALSE(decodeFlacAudio(bad.data(), bad.size(), limitsFor(signal), out)) << "flipped at " << at;
            EXPECT_TRUE(out.empty());
        }
    // STREAMINFO's claims: more channels or frames than allowed, fewer frames
    // than the stream holds, or more than it holds.
    const auto withClaim = [&](std::size_t byte, uint8_t value) {
        std::vector<uint8_t> bad = good;
        bad[byte] = value;
        return bad;
    };
    const std::vector<std::vector<uint8_t>> lies = {withClaim(20, uint8_t(good[20] | 0x0E)),  // 8 channels
                                                    withClaim(21, uint8_t(good[21] | 0x0F)),  // 2^36 - 1 frames
                                                    withClaim(24, 0x10), withClaim(24, 0x00), withClaim(24, 0x20)};
    for (const auto& bad : lies) {
        EXPECT_FALSE(decodeFlacAudio(bad.data(), bad.size(), {8, 1 << 20}, out));
        EXPECT_TRUE(out.empty());
    }
    EXPECT_FALSE(decodeFlacAudio(good.data(), good.size(), {1, 5000}, out));
    EXPECT_FALSE(decodeFlacAudio(good.data(), good.size(), {2, 4999}, out));
    EXPECT_TRUE(decodeFlacAudio(good.data(), good.size(), {2, 5000}, out));
}

}  // namespace
}  // namespace rimbrel
