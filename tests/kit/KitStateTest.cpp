// The kit's saved state: whole kits come back exactly, 16- and 24-bit audio
// bit for bit, and damaged or foreign bytes are refused with one clear line
// and nothing half-read.
#include "kit/KitState.h"

#include "platform/LosslessAudio.h"
#include "tests/kit/SoundFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace rimbrel {
namespace {

// Audio on the 24-bit grid, different for every key and channel.
std::vector<float> gridAudio(int32_t frames, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int32_t> sample(-8388608, 8388607);
    std::vector<float> v(static_cast<std::size_t>(frames));
    for (float& f : v) f = float(sample(random)) / 8388608.0f;
    return v;
}

KitStateKey makeKey(int k, int32_t length, int channels) {
    KitStateKey key;
    key.key = k;
    key.name = "/home/ü/Drums/" + std::to_string(k) + " caisse clairé \xff.wav";
    key.settings.pitch = -48 + 4 * k;
    key.settings.playMode = k % 3;
    key.settings.reverse = k % 2 == 1;
    key.settings.volume = 4.0f * float(k) / 23.0f;
    key.settings.pan = -1.0f + 2.0f * float(k) / 23.0f;
    key.length = length;
    key.channels = length > 0 ? channels : 0;
    if (length > 0) key.left = gridAudio(length, unsigned(2 * k));
    if (length > 0 && channels == 2) key.right = gridAudio(length, unsigned(2 * k + 1));
    return key;
}

// A small state: two short keys, one stereo, one without audio.
KitStateData smallKit() {
    KitStateData data;
    data.target = KitTarget::Op1Field;
    data.keys.push_back(makeKey(3, 40, 2));
    data.keys.push_back(makeKey(7, 0, 0));
    data.keys.push_back(makeKey(9, 25, 1));
    return data;
}

// What a read must give whether it refused or not.
void expectReadSafely(bool ok, const KitStateData& out, const std::string& why) {
    if (!ok) {
        EXPECT_EQ(out, KitStateData());
        EXPECT_EQ(why.rfind("kit state refused: ", 0), 0u) << why;
        EXPECT_EQ(why.find('\n'), std::string::npos) << why;
        return;
    }
    for (const KitStateKey& k : out.keys) {
        ASSERT_TRUE(isKeyIndex(k.key));
        ASSERT_EQ(k.left.size(), std::size_t(k.channels >= 1 ? k.length : 0));
        ASSERT_EQ(k.right.size(), std::size_t(k.channels == 2 ? k.length : 0));
        ASSERT_LE(k.name.size(), kMaxStateNameBytes);
    }
}

std::string refusal(std::vector<uint8_t> bytes) {
    KitStateData out;
    std::string why;
    const bool ok = decodeKitState(bytes.data(), bytes.size(), out, why);
    expectReadSafely(ok, out, why);
    return ok ? "read" : why;
}

void putU32At(std::vector<uint8_t>& bytes, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + std::size_t(i)] = uint8_t(v >> (8 * i));
}

// Offsets in the state of smallKit(): preamble 12, kit record 12, then the
// first key record (tag, size, index, pitch, mode, reverse, volume, pan,
// name size, name...).
constexpr std::size_t kFirstKey = 24;
constexpr std::size_t kFirstKeyIndex = kFirstKey + 8;
constexpr std::size_t kFirstKeyNameSize = kFirstKey + 8 + 21;

TEST(KitState, FullKitComesBackExactly) {
    KitStateData data;
    data.target = KitTarget::Op1Field;
    for (int k = 0; k < kNumKeys; ++k) data.keys.push_back(makeKey(k, k == 5 ? 0 : 300 + 97 * k, 1 + k % 2));
    data.keys[11] = makeKey(11, kMaxStateKeyFrames, 2);  // the longest a key holds
    data.keys[12].name = std::string(kMaxStateNameBytes, 'n');

    const std::vector<uint8_t> bytes = encodeKitState(data);
    ASSERT_FALSE(bytes.empty());
    KitStateData back;
    std::string why;
    ASSERT_TRUE(decodeKitState(bytes.data(), bytes.size(), back, why)) << why;
    EXPECT_EQ(why, "");
    EXPECT_TRUE(back == data);  // every float compared exactly

    data.target = KitTarget::Op1;
    data.keys.clear();
    const std::vector<uint8_t> empty = encodeKitState(data);
    ASSERT_TRUE(decodeKitState(empty.data(), empty.size(), back, why)) << why;
    EXPECT_TRUE(back == data);
}

TEST(KitState, SixteenAndTwentyFourBitSourcesComeBackBitForBit) {
    test::TempDir dir;
    std::mt19937 random(7);
    for (const int format : {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_AIFF | SF_FORMAT_PCM_24}) {
        const bool wide = (format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_24;
        const int32_t full = wide ? 8388608 : 32768;
        std::uniform_int_distribution<int32_t> sample(-full, full - 1);
        std::vector<float> written(2 * 5000);
        for (float& f : written) f = float(sample(random)) / float(full);
        written[0] = -1.0f;  // both extremes of the file's range
        written[1] = float(full - 1) / float(full);
        const std::string path = dir.file(wide ? "s24.aif" : "s16.wav");
        test::writeSound(path, format, 2, 44100, written);
        const test::Decoded decoded = test::decode(path);  // what the loader reads
        ASSERT_EQ(decoded.frames, 5000);

        KitStateData data;
        KitStateKey stereo = makeKey(0, 5000, 2);
        KitStateKey mixed = makeKey(1, 5000, 1);  // the OP-1's mono mix of two 16-bit samples
        for (int i = 0; i < 5000; ++i) {
            stereo.left[std::size_t(i)] = decoded.samples[std::size_t(2 * i)];
            stereo.right[std::size_t(i)] = decoded.samples[std::size_t(2 * i + 1)];
            mixed.left[std::size_t(i)] = (stereo.left[std::size_t(i)] + stereo.right[std::size_t(i)]) * 0.5f;
        }
        data.keys = {stereo};
        if (!wide) data.keys.push_back(mixed);
        const std::vector<uint8_t> bytes = encodeKitState(data);
        KitStateData back;
        std::string why;
        ASSERT_TRUE(decodeKitState(bytes.data(), bytes.size(), back, why)) << why;
        ASSERT_EQ(back.keys.size(), data.keys.size());
        for (std::size_t k = 0; k < data.keys.size(); ++k) {
            EXPECT_EQ(std::memcmp(back.keys[k].left.data(), data.keys[k].left.data(), 5000 * sizeof(float)), 0) << k;
            EXPECT_EQ(back.keys[k].right, data.keys[k].right) << k;
        }
    }
}

TEST(KitState, FloatAudioWithinTwentyFourBits) {
    KitStateData data;
    KitStateKey key = makeKey(4, 1000, 1);
    std::mt19937 random(3);
    std::uniform_real_distribution<float> any(-1.0f, 1.0f);
    for (float& f : key.left) f = any(random);
    key.left[0] = 1.0f;
    key.left[1] = -1.0f;
    key.left[2] = std::nanf("");
    data.keys = {key};
    const std::vector<uint8_t> bytes = encodeKitState(data);
    KitStateData back;
    std::string why;
    ASSERT_TRUE(decodeKitState(bytes.data(), bytes.size(), back, why)) << why;
    const std::vector<float>& got = back.keys.at(0).left;
    EXPECT_EQ(got[0], 8388607.0f / 8388608.0f);
    EXPECT_EQ(got[1], -1.0f);
    EXPECT_EQ(got[2], 0.0f);
    for (std::size_t i = 3; i < got.size(); ++i) EXPECT_NEAR(got[i], key.left[i], 0.5 / 8388608.0) << i;
}

TEST(KitState, WhatAStateCannotHoldIsNotWritten) {
    const auto writes = [](KitStateKey key) {
        KitStateData data;
        data.keys = {key};
        return !encodeKitState(data).empty();
    };
    EXPECT_TRUE(writes(makeKey(0, 10, 1)));
    KitStateKey k = makeKey(24, 10, 1);
    EXPECT_FALSE(writes(k));
    k = makeKey(0, 10, 1);
    k.settings.pitch = 49;
    EXPECT_FALSE(writes(k));
    k = makeKey(0, 10, 1);
    k.name = std::string(kMaxStateNameBytes + 1, 'x');
    EXPECT_FALSE(writes(k));
    k = makeKey(0, 10, 1);
    k.name.push_back('\0');
    EXPECT_FALSE(writes(k));
    k = makeKey(0, 10, 2);
    k.right.pop_back();  // channels of different lengths
    EXPECT_FALSE(writes(k));
    KitStateData twice;
    twice.keys = {makeKey(2, 10, 1), makeKey(2, 10, 1)};
    EXPECT_TRUE(encodeKitState(twice).empty());
}

TEST(KitState, DamagedStatesAreRefusedOrReadSafely) {
    const std::vector<uint8_t> good = encodeKitState(smallKit());
    ASSERT_FALSE(good.empty());
    for (std::size_t n = 0; n < good.size(); ++n) {
        const std::string why = refusal(std::vector<uint8_t>(good.begin(), good.begin() + std::ptrdiff_t(n)));
        ASSERT_NE(why, "read") << "truncated at " << n;
    }
    // A flip may change a name or a setting, or hide a record as one of a
    // newer version's, but never the audio: that is refused.
    const KitStateData original = smallKit();
    for (std::size_t i = 0; i < good.size(); ++i) {
        for (const uint8_t flip : {uint8_t(0x01), uint8_t(0x80), uint8_t(0xff)}) {
            std::vector<uint8_t> bytes = good;
            bytes[i] ^= flip;
            if (refusal(bytes) != "read") continue;  // checks the invariants either way
            if (HasFatalFailure()) FAIL() << "byte " << i << " flipped with " << int(flip);
            KitStateData out;
            std::string why;
            ASSERT_TRUE(decodeKitState(bytes.data(), bytes.size(), out, why));
            for (const KitStateKey& k : out.keys)
                for (const KitStateKey& o : original.keys)
                    if (k.key == o.key) {
                        EXPECT_TRUE(k.left == o.left && k.right == o.right) << "byte " << i;
                    }
        }
    }
    std::vector<uint8_t> padded = good;
    padded.push_back(0);
    EXPECT_EQ(refusal(padded), "kit state refused: sizes do not add up");
    EXPECT_EQ(refusal({'R', 'I', 'F', 'F', 0, 0, 0, 0}), "kit state refused: not a kit state");
}

TEST(KitState, RefusalsSayWhy) {
    const std::vector<uint8_t> good = encodeKitState(smallKit());
    struct Case {
        std::size_t at;
        uint32_t value;
        const char* why;
    };
    const Case cases[] = {
        {4, 2, "kit state refused: made by a newer version (2.0)"},  // major 2, minor 0
        {8, 0xfffffff0, "kit state refused: sizes do not add up"},
        {kFirstKey + 4, 0xfffffff0, "kit state refused: sizes do not add up"},
        {20, 9, "kit state refused: unknown kit target 9"},
        {kFirstKeyIndex, 24, "kit state refused: key index 24 outside 0..23"},
        {kFirstKeyNameSize, 512, "kit state refused: key 3: name longer than 511 bytes"},
        {kFirstKeyNameSize, 0xffffffff, "kit state refused: key 3: name longer than 511 bytes"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good;
        putU32At(bytes, c.at, c.value);
        EXPECT_EQ(refusal(bytes), c.why) << c.at;
    }
    // The first key claims 882001 frames or 3 channels.
    const std::size_t nameSize = encodeKitState(smallKit())[kFirstKeyNameSize];
    const std::size_t lengthAt = kFirstKeyNameSize + 4 + nameSize;
    std::vector<uint8_t> bytes = good;
    putU32At(bytes, lengthAt, 882001);
    EXPECT_EQ(refusal(bytes), "kit state refused: key 3: audio longer than 20 s (882000 frames)");
    bytes = good;
    putU32At(bytes, lengthAt + 4, 3);
    EXPECT_EQ(refusal(bytes), "kit state refused: key 3: 3 channels for 40 frames");
    bytes = good;
    putU32At(bytes, lengthAt, 39);  // the audio holds one frame more
    EXPECT_EQ(refusal(bytes), "kit state refused: key 3: audio cannot be decoded");
}

TEST(KitState, ANewerMinorVersionsAdditionsAreSkipped) {
    const KitStateData data = smallKit();
    std::vector<uint8_t> bytes = encodeKitState(data);
    bytes[6] = 9;  // minor 9
    // A longer first key record, and a record of an unknown kind before it.
    const uint32_t keySize = uint32_t(bytes[kFirstKey + 4] | bytes[kFirstKey + 5] << 8 | bytes[kFirstKey + 6] << 16);
    const std::size_t keyEnd = kFirstKey + 8 + keySize;
    bytes.insert(bytes.begin() + std::ptrdiff_t(keyEnd), {1, 2, 3});
    putU32At(bytes, kFirstKey + 4, keySize + 3);
    bytes.insert(bytes.begin() + kFirstKey, {'X', 'T', 'R', 'A', 2, 0, 0, 0, 0xaa, 0xbb});
    putU32At(bytes, 8, uint32_t(bytes.size() - 12));

    KitStateData back;
    std::string why;
    ASSERT_TRUE(decodeKitState(bytes.data(), bytes.size(), back, why)) << why;
    EXPECT_TRUE(back == data);
}

TEST(KitState, CacheReusesEncodedAudioOfTheSameGeneration) {
    KitStateData data = smallKit();
    std::vector<KitStateKeySource> sources;
    for (const KitStateKey& k : data.keys)
        sources.push_back({k.key, k.name, k.settings, k.length, k.channels, k.left.data(), k.right.data(), 1});
    KitStateCache cache;
    std::string why;
    const auto assemble = [&] {
        const std::vector<uint8_t>* state = cache.assemble(data.target, sources.data(), sources.size(), why);
        return state ? *state : std::vector<uint8_t>();
    };
    const std::vector<uint8_t> first = assemble();
    EXPECT_EQ(first, encodeKitState(data)) << why;

    // Settings and the target change in place, exactly as a fresh state has them.
    data.target = KitTarget::Op1;
    for (std::size_t i = 0; i < data.keys.size(); ++i) {
        data.keys[i].settings = {int32_t(i) - 7, PlayModeLoop, true, 3.5f, -0.25f};
        sources[i].settings = data.keys[i].settings;
    }
    EXPECT_EQ(assemble(), encodeKitState(data));
    // So does a new name (the state is laid out again).
    data.keys[1].name = "/elsewhere/longer name.wav";
    sources[1].name = data.keys[1].name;
    EXPECT_EQ(assemble(), encodeKitState(data));

    // Same generation: the kept audio, even though the floats changed.
    data.keys[0].left[0] = 0.5f;
    sources[2].name = data.keys[2].name = "/x.wav";  // laid out again, the audio from the cache
    KitStateData back;
    std::vector<uint8_t> again = assemble();
    ASSERT_TRUE(decodeKitState(again.data(), again.size(), back, why)) << why;
    EXPECT_NE(back.keys[0].left[0], 0.5f);
    // A new generation encodes the key again.
    sources[0].generation = 2;
    again = assemble();
    ASSERT_TRUE(decodeKitState(again.data(), again.size(), back, why)) << why;
    EXPECT_EQ(back, data);

    sources[1].key = 3;  // the same key twice
    EXPECT_EQ(cache.assemble(data.target, sources.data(), sources.size(), why), nullptr);
    EXPECT_EQ(why, "kit state not written: key 3 twice");
    sources[1].key = 7;
    EXPECT_NE(cache.assemble(data.target, sources.data(), sources.size(), why), nullptr);
    sources[1].settings.volume = 5.0f;  // out of range, with nothing else changed
    EXPECT_EQ(cache.assemble(data.target, sources.data(), sources.size(), why), nullptr);
    EXPECT_EQ(why, "kit state not written: key 7: settings out of range");
}

TEST(LosslessAudio, DecodingStaysWithinTheCallersLimits) {
    const std::vector<float> left = gridAudio(3000, 1), right = gridAudio(3000, 2);
    const float* channels[2] = {left.data(), right.data()};
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(platform::encodeLosslessAudio(channels, 2, 3000, bytes));
    std::vector<std::vector<float>> out;
    EXPECT_TRUE(platform::decodeLosslessAudio(bytes.data(), bytes.size(), {2, 3000}, out));
    EXPECT_EQ(out, (std::vector<std::vector<float>>{left, right}));
    EXPECT_FALSE(platform::decodeLosslessAudio(bytes.data(), bytes.size(), {2, 2999}, out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(platform::decodeLosslessAudio(bytes.data(), bytes.size(), {1, 3000}, out));

    // Another format libsndfile reads is still not this codec's.
    test::TempDir dir;
    test::writeWav(dir.file("a.wav"), 100);
    FILE* f = std::fopen(dir.file("a.wav").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> wav(4096);
    wav.resize(std::fread(wav.data(), 1, wav.size(), f));
    std::fclose(f);
    EXPECT_FALSE(platform::decodeLosslessAudio(wav.data(), wav.size(), {2, 3000}, out));
    EXPECT_FALSE(platform::encodeLosslessAudio(channels, 3, 10, bytes));
}

}  // namespace
}  // namespace rimbrel
