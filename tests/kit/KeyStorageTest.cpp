// Keys with buffers of their own: what a stereo file leaves in a key, what
// the target changes (and what it must not), what a key costs in memory, and
// that a block that never ends keeps the buffers it may be reading.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cstring>

#include "SoundFiles.h"
#include "formats/KitExport.h"
#include "kit/KeyAudio.h"
#include "kit/Loader.h"
#include "kit/UndoHistory.h"

namespace rimbrel {
namespace {

using namespace rimbrel::test;

void quietLoad(Kit& kit, const std::string& path, int k) {
    testing::internal::CaptureStderr();
    loadKeyFile(kit, path.c_str(), k, nullptr);
    testing::internal::GetCapturedStderr();
}

bool sameBits(const float* a, const float* b, std::size_t n) { return std::memcmp(a, b, n * sizeof(float)) == 0; }

TEST(KeyStorage, StereoFileKeepsBothChannelsAndItsMixIsTheOneAMonoKeyHeld) {
    TempDir dir;
    const std::string path = dir.file("stereo.wav");
    std::vector<float> s;
    for (int i = 0; i < 5000; ++i) s.insert(s.end(), {0.9f * float((i * 37) % 200 - 100) / 100.0f, i % 3 ? 1.7f : -0.3f});
    writeSound(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, s);
    auto kit = makeKit();
    quietLoad(*kit, path, 6);
    ASSERT_EQ(kit->keyChannels(6), 2);
    const Decoded d = decode(path);
    for (int c = 0; c < 2; ++c) {
        std::vector<float> expected;
        ASSERT_EQ(expectedKey(channelOf(d, c), expected), kit->keyLength[6]);
        EXPECT_TRUE(sameBits(c ? kit->keyRight[6] : kit->keySamples[6], expected.data(), 5000)) << "channel " << c;
    }
    // The mono mix, bit for bit what the loader used to store.
    std::vector<float> mixed;
    expectedKey(d, mixed);
    EXPECT_TRUE(sameBits(keyMix(*kit, 6).data(), mixed.data(), kMaxKeyFrames));
    // And what the OP-1 export writes.
    const KitExportInput in = kitExportInput(*kit, nullptr);
    ASSERT_EQ(in.length[6], 5000);
    EXPECT_TRUE(sameBits(in.frames[6], mixed.data(), 5000));

    // A mono file over it gives a mono key again.
    writeWav(dir.file("mono.wav"), 300);
    quietLoad(*kit, dir.file("mono.wav"), 6);
    EXPECT_EQ(kit->keyChannels(6), 1);
    EXPECT_EQ(kit->keyLength[6], 300);
}

TEST(KeyStorage, TheTargetAtLoadSetsTheCutAndSwitchingLosesNothing) {
    TempDir dir;
    const std::string path = dir.file("long.wav");
    writeWav(path, 900000, 2, 4);
    auto kit = makeKit();
    kit->target = KitTarget::Op1Field;
    testing::internal::CaptureStderr();
    loadKeyFile(*kit, path.c_str(), 2, nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Rimbrel err 617-03: frames 900000 is too long for allocation!! \n"), std::string::npos);
    ASSERT_EQ(kit->keyLength[2], kMaxFieldKeyFrames - 1);
    ASSERT_EQ(kit->keyChannels(2), 2);
    const float* left = kit->keySamples[2];
    const float* right = kit->keyRight[2];
    const float tail = right[881995];
    EXPECT_NE(tail, 0.0f);

    // The OP-1 plays, shows and exports 12 s of it; the key holds all 20.
    kit->target = KitTarget::Op1;
    EXPECT_EQ(kit->playLength(2), kMaxKeyFrames - 1);
    EXPECT_EQ(kitExportInput(*kit, nullptr).length[2], kMaxKeyFrames - 1);
    kit->target = KitTarget::Op1Field;
    EXPECT_EQ(kit->playLength(2), kMaxFieldKeyFrames - 1);
    EXPECT_EQ(kit->keySamples[2], left);
    EXPECT_EQ(kit->keyRight[2], right);
    EXPECT_EQ(kit->keyRight[2][881995], tail);

    // Loaded under the OP-1, the same file is cut as it always was, and
    // still stereo under the Field.
    kit->target = KitTarget::Op1;
    quietLoad(*kit, path, 3);
    EXPECT_EQ(kit->keyLength[3], kMaxKeyFrames - 1);
    kit->target = KitTarget::Op1Field;
    EXPECT_EQ(kit->keyChannels(3), 2);
    EXPECT_EQ(kit->playLength(3), kMaxKeyFrames - 1);
    EXPECT_EQ(kit->totalFrames(), int64_t(kMaxFieldKeyFrames - 1) + (kMaxKeyFrames - 1));
    kit->target = KitTarget::Op1;
    EXPECT_EQ(kit->totalFrames(), 2 * int64_t(kMaxKeyFrames - 1));
}

TEST(KeyStorage, UndoPutsBackEveryChannelAndCountsThemAll) {
    auto kit = makeKit();
    KeyNames names{};
    std::vector<float> left(700), right(700);
    for (int i = 0; i < 700; ++i) {
        left[std::size_t(i)] = float(i) / 1024.0f;
        right[std::size_t(i)] = -float(i) / 2048.0f;
    }
    setKeyAudio(*kit, 4, left, right);
    setKeyAudio(*kit, 9, 50, 0.5f);
    UndoHistory history;
    history.recordKeys(*kit, names, keyBit(4) | keyBit(9));
    EXPECT_EQ(history.audioBytes(), (2 * 700 + 50) * sizeof(float));
    stopAndExchangeKeys(*kit, -1, 4, 9);
    eraseKeyAudio(*kit, 9);
    EXPECT_EQ(history.undo(*kit, names), keyBit(4) | keyBit(9));
    ASSERT_EQ(kit->keyChannels(4), 2);
    ASSERT_EQ(kit->keyLength[4], 700);
    EXPECT_TRUE(sameBits(kit->keySamples[4], left.data(), 700));
    EXPECT_TRUE(sameBits(kit->keyRight[4], right.data(), 700));
    EXPECT_EQ(kit->keyChannels(9), 1);
    EXPECT_EQ(kit->keyLength[9], 50);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
std::size_t heapBytes() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;  // small blocks and mapped ones
}

TEST(KeyStorage, AKeyCostsItsAudioAndLittleMore) {
    TempDir dir;
    writeWav(dir.file("stereo.wav"), 44100, 2, 1);
    writeWav(dir.file("mono.wav"), 44100, 1, 2);
    const std::size_t before = heapBytes();
    auto kit = makeKit();
    EXPECT_LT(heapBytes() - before, std::size_t(64) * 1024) << "an empty kit";
    for (int k = 0; k < kNumKeys; ++k) quietLoad(*kit, dir.file(k % 2 ? "mono.wav" : "stereo.wav"), k);
    std::size_t audio = 0;
    for (int k = 0; k < kNumKeys; ++k) audio += std::size_t(kit->keyLength[k]) * kit->keyChannels(k) * sizeof(float);
    EXPECT_EQ(audio, std::size_t(12 * 2 + 12) * 44100 * sizeof(float));
    const std::size_t used = heapBytes() - before;
    std::printf("kit of %zu audio bytes: %zu heap bytes\n", audio, used);
    EXPECT_LE(double(used), 1.1 * double(audio) + 4.0 * 1024 * 1024);
    // Erasing gives the memory back.
    for (int k = 0; k < kNumKeys; ++k) eraseKeyAudio(*kit, k);
    EXPECT_LT(heapBytes() - before, std::size_t(64) * 1024);
}
#endif

TEST(KeyStorage, ABlockThatNeverEndsKeepsTheBuffersItMayRead) {
    auto kit = makeKit();
    setKeyAudio(*kit, 0, 4000, 0.25f, 2);
    setKeyAudio(*kit, 1, 100, 0.5f);
    // The audio thread enters a block and reads key 0; the block never ends.
    kit->audioBlockBegin();
    const float* left = kit->keySamples[0];
    const float* right = kit->keyRight[0];
    setKeyAudio(*kit, 0, 10, -0.5f);  // gives up waiting
    eraseKeyAudio(*kit, 1);
    EXPECT_EQ(kit->keyLength[0], 10);
    EXPECT_EQ(kit->keyRight[0], nullptr);
    EXPECT_EQ(kit->retiredBufferCount(), 3u);
    // Still the audio the block started with (a freed buffer would be a
    // use after free for the address sanitizer).
    EXPECT_EQ(left[3999], 0.25f);
    EXPECT_EQ(right[3999], 0.25f);
    kit->audioBlockEnd();
    stopAndExchangeKeys(*kit, 0, -1, -1);  // no buffer changes hands
    EXPECT_EQ(kit->retiredBufferCount(), 3u);
    eraseKeyAudio(*kit, 5);  // the next change sees the block ended
    EXPECT_EQ(kit->retiredBufferCount(), 0u);

    // Buffers still retired when the kit goes are freed with it (the leak
    // sanitizer would say otherwise).
    kit->audioBlockBegin();
    eraseKeyAudio(*kit, 0);
    EXPECT_EQ(kit->retiredBufferCount(), 1u);
    kit->audioBlockEnd();
    kit.reset();
}

}  // namespace
}  // namespace rimbrel
