// Erasing and exchanging keys in the kit: what changes, what stays, and that
// a block on the audio thread never sees a key half-exchanged.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "kit/KeyAudio.h"
#include "SoundFiles.h"

namespace rimbrel {
namespace {

using namespace rimbrel::test;

bool keyHolds(const Kit& kit, int k, float value) {
    const int32_t n = kit.keyLength[k];
    for (int i : {0, 1, n / 2, n - 1})
        if (kit.keySamples[k][i] != value) return false;
    return true;
}

KeyMask busyKeys(Kit& kit) {
    const KeyMask busy = kit.audioBlockBegin().busy;
    kit.audioBlockEnd();
    return busy;
}

TEST(KeyWrites, EraseEmptiesOnlyThatKey) {
    auto kit = makeKit();
    fillKey(*kit, 3, 0.25f, 500);
    fillKey(*kit, 4, 0.5f, 700);
    eraseKeyAudio(*kit, 3);
    EXPECT_EQ(kit->keyLength[3], 0);
    EXPECT_EQ(kit->keyLength[4], 700);
    EXPECT_TRUE(keyHolds(*kit, 4, 0.5f));
    // Keys outside 0..23 are ignored.
    eraseKeyAudio(*kit, -1);
    eraseKeyAudio(*kit, kNumKeys);
    EXPECT_EQ(kit->keyLength[4], 700);
    EXPECT_EQ(busyKeys(*kit), 0u);
}

TEST(KeyWrites, ExchangeMovesAudioAndLengthsButNotSettingsAndStopsTheDraggedKey) {
    auto kit = makeKit();
    fillKey(*kit, 2, 0.25f, 500);
    fillKey(*kit, 9, 0.5f, 700);
    kit->keyPitch[2].store(7);
    kit->keyPosition[2] = 123.0;
    kit->keyPlaying[2].store(true);
    stopAndExchangeKeys(*kit, 2, 2, 9);
    EXPECT_EQ(kit->keyLength[2], 700);
    EXPECT_EQ(kit->keyLength[9], 500);
    EXPECT_TRUE(keyHolds(*kit, 2, 0.5f));
    EXPECT_TRUE(keyHolds(*kit, 9, 0.25f));
    EXPECT_EQ(kit->keyPitch[2].load(), 7);
    EXPECT_EQ(kit->keyPitch[9].load(), 0);
    EXPECT_EQ(kit->keyPosition[2], 0.0);
    EXPECT_FALSE(kit->keyPlaying[2].load());
    EXPECT_EQ(busyKeys(*kit), 0u);
}

TEST(KeyWrites, NoSecondKeyOnlyStops) {
    auto kit = makeKit();
    fillKey(*kit, 5, 0.25f, 500);
    for (int f : {-1, 5, kNumKeys}) {
        kit->keyPosition[5] = 40.0;
        kit->keyPlaying[5].store(true);
        stopAndExchangeKeys(*kit, 5, 5, f);
        EXPECT_EQ(kit->keyLength[5], 500) << f;
        EXPECT_TRUE(keyHolds(*kit, 5, 0.25f)) << f;
        EXPECT_EQ(kit->keyPosition[5], 0.0) << f;
        EXPECT_FALSE(kit->keyPlaying[5].load()) << f;
    }
    EXPECT_EQ(busyKeys(*kit), 0u);
}

// An audio thread runs blocks the whole time; in each it reads the two keys
// it is allowed to read and checks that length and audio belong together.
TEST(KeyWrites, BlocksNeverSeeAKeyHalfExchanged) {
    auto kit = makeKit();
    fillKey(*kit, 0, 0.25f, 500);
    fillKey(*kit, 23, 0.5f, 700);
    std::atomic<bool> done{false};
    std::atomic<int> mismatches{0};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        while (!done.load()) {
            const KeyMask busy = kit->audioBlockBegin().busy;
            for (int k : {0, 23}) {
                if (busy & keyBit(k)) continue;
                const float expected = kit->keyLength[k] == 500 ? 0.25f : 0.5f;
                if (!keyHolds(*kit, k, expected)) ++mismatches;
            }
            kit->audioBlockEnd();
            ++blocks;
        }
    });
    for (int n = 0; n < 40; ++n) stopAndExchangeKeys(*kit, 0, 0, 23);
    // At least one block after the last exchange.
    const int seen = blocks.load();
    while (blocks.load() < seen + 2) std::this_thread::yield();
    done = true;
    audio.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(kit->keyLength[0], 500);  // an even number of exchanges
    EXPECT_TRUE(keyHolds(*kit, 0, 0.25f));
}

}  // namespace
}  // namespace rimbrel
