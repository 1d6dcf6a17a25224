// One thread plays blocks with notes while another auditions, rewrites,
// erases, exchanges and undoes keys. Whatever the timing, no key may be heard
// half-written, and the thread sanitizer must find no race. Keys come and go
// in size and channels (new buffers replace old ones, erased keys free
// theirs), so the address sanitizer would see a buffer freed under a block.
//
// How a half-written key would show: every key holds one constant, and each
// of the four keys used owns a "slot" of six bits in the output: its constant
// is m * 2^-(6 * (slot + 1)) with m in 1..63, so any sum of the four decodes
// exactly into the four m. Within one block a key is either silent or plays
// its one constant (it cannot be rewritten between two frames of a block),
// so for every slot all non-zero digits of a block must be equal. A rewrite
// seen in the middle of a block (fills are made in several steps) or an
// exchange seen half-way would break that.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <thread>

#include "PluginTestSupport.h"
#include "kit/KitState.h"
#include "kit/UndoHistory.h"

namespace rimbrel::test {
namespace {

constexpr int kKeys = 4;
constexpr int kBlock = 64;
constexpr int kMinBlocks = 40000;
constexpr int kMinOperations = 3000;  // UI operations while blocks run
constexpr auto kTimeLimit = std::chrono::seconds(4);
constexpr int kMaxLength = 4096;

float slotValue(int slot, int m) { return std::ldexp(float(m), -6 * (slot + 1)); }

int digitOf(uint32_t code, int slot) { return int((code >> (6 * (kKeys - 1 - slot))) & 63); }

TEST(KeyRewriteStress, NoKeyIsHeardHalfWritten) {
    EffectHandle handle;
    Tamblet& effect = handle.effect();
    Kit& kit = effect.kit;

    // UI-side bookkeeping: which slot each key's audio belongs to.
    int slotOfKey[kKeys] = {0, 1, 2, 3};
    for (int k = 0; k < kKeys; ++k) setKeyAudio(kit, k, 1000, slotValue(k, 1));
    setPlayMode(effect, 0, PlayModeLoop);
    setPlayMode(effect, 1, PlayModeLoop);
    setPlayMode(effect, 3, PlayModeGate);

    std::atomic<bool> done{false};
    std::atomic<int> rewrites{0}, erases{0}, exchanges{0}, auditions{0}, undos{0}, resizes{0};

    std::thread ui([&] {
        UndoHistory history;
        KeyNames names{};
        std::mt19937 random(7);
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
        while (!done.load(std::memory_order_relaxed)) {
            const int op = pick(0, 12);
            const int k = pick(0, kKeys - 1);
            if (op <= 2) {
                effect.setParameter(kParamAudition, float(k));
                ++auditions;
            } else if (op <= 4) {
                // In place, in several steps, inside the key's own frames.
                const float value = slotValue(slotOfKey[k], pick(1, 63));
                KeyRewrite rewrite(kit, keyBit(k));
                const int length = kit.keyLength[k];
                for (int part = 0; part < 4 && length > 0; ++part) {
                    std::fill(kit.keySamples[k] + part * length / 4, kit.keySamples[k] + (part + 1) * length / 4,
                              value);
                    if (kit.keyRight[k])
                        std::fill(kit.keyRight[k] + part * length / 4, kit.keyRight[k] + (part + 1) * length / 4,
                                  value);
                    std::this_thread::yield();
                }
                ++rewrites;
            } else if (op <= 6) {
                // New buffers: short or long, mono or stereo, as loads make them.
                const int length = pick(0, 1) ? pick(2, 64) : pick(kMaxLength / 2, kMaxLength);
                setKeyAudio(kit, k, length, slotValue(slotOfKey[k], pick(1, 63)), pick(1, 2));
                ++resizes;
            } else if (op == 7) {
                eraseKeyAudio(kit, k);
                ++erases;
            } else if (op <= 9) {
                const int other = (k + pick(1, kKeys - 1)) % kKeys;
                stopAndExchangeKeys(kit, k, k, other);
                std::swap(slotOfKey[k], slotOfKey[other]);
                ++exchanges;
            } else if (op == 11) {
                // Undo puts back audio of the key's own slot while it may sound.
                history.recordKeys(kit, names, keyBit(k));
                setKeyAudio(kit, k, pick(2, kMaxLength), slotValue(slotOfKey[k], pick(1, 63)), pick(1, 2));
                effect.setParameter(kParamAudition, float(k));
                std::this_thread::yield();
                history.undo(kit, names);
                ++undos;
            } else {
                setPitch(effect, k, pick(-12, 12));
                setReverse(effect, k, pick(0, 1) == 1);
                // Hosts may change the rate while blocks run.
                handle.dispatch(effSetSampleRate, 0, 0, nullptr, pick(0, 1) ? 44100.0f : 48000.0f);
            }
        }
    });

    std::mt19937 random(11);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    std::vector<float> in1(kBlock, 0.0f), in2(kBlock, 0.0f), out1(kBlock), out2(kBlock);
    float* ins[] = {in1.data(), in2.data()};
    float* outs[] = {out1.data(), out2.data()};
    AEffect* record = handle.record();
    int failures = 0;
    int soundingFrames = 0;
    const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
    auto operations = [&] { return rewrites + resizes + erases + exchanges + auditions + undos; };
    int blocks = 0;
    for (int block = 0; failures < 5; ++block, ++blocks) {
        if (block >= kMinBlocks &&
            (operations() >= kMinOperations || std::chrono::steady_clock::now() > deadline))
            break;
        MidiList notes;
        for (int n = pick(0, 2); n > 0; --n) {
            const int k = pick(0, kKeys - 1);
            if (pick(0, 3) == 0) notes.noteOff(pick(0, kBlock - 1), kFirstKeyNote + k);
            else notes.noteOn(pick(0, kBlock - 1), kFirstKeyNote + k);
        }
        if (!notes.empty()) handle.dispatch(effProcessEvents, 0, 0, notes.vstEvents());
        record->processReplacing(record, ins, outs, kBlock);
        // Like a host's audio thread, spend part of the time outside blocks.
        if (block % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));

        int seen[kKeys] = {};
        for (int i = 0; i < kBlock; ++i) {
            const float scaled = out2[size_t(i)] * 16777216.0f;  // 2^24
            if (!(scaled >= 0.0f && scaled < 16777216.0f && scaled == std::floor(scaled))) {
                ADD_FAILURE() << "block " << block << " frame " << i << ": " << out2[size_t(i)]
                              << " is no sum of whole key constants";
                ++failures;
                break;
            }
            const uint32_t code = uint32_t(scaled);
            if (code) ++soundingFrames;
            for (int slot = 0; slot < kKeys; ++slot) {
                const int digit = digitOf(code, slot);
                if (!digit) continue;
                if (seen[slot] && seen[slot] != digit) {
                    ADD_FAILURE() << "block " << block << " frame " << i << ": slot " << slot
                                  << " plays " << digit << " after " << seen[slot];
                    ++failures;
                }
                seen[slot] = digit;
            }
        }
    }
    done.store(true);
    ui.join();

    std::printf("blocks %d, rewrites %d, resizes %d, erases %d, exchanges %d, auditions %d, undos %d\n", blocks,
                rewrites.load(), resizes.load(), erases.load(), exchanges.load(), auditions.load(), undos.load());
    // The run must really have mixed both sides.
    EXPECT_GT(soundingFrames, blocks);
    EXPECT_GT(rewrites.load(), 20);
    EXPECT_GT(resizes.load(), 20);
    EXPECT_GT(exchanges.load(), 10);
    EXPECT_GT(erases.load(), 3);
    EXPECT_GT(auditions.load(), 20);
    EXPECT_GT(undos.load(), 5);
}

}  // namespace
}  // namespace rimbrel::test

namespace rimbrel::test {
namespace {

// A host that saves its project from its main thread while its editor
// thread loads keys: every state handed over holds each key whole (one
// constant per key, as written), never a buffer being replaced or freed.
TEST(KeyRewriteStress, SavedStatesHoldWholeKeysWhileKeysAreWritten) {
    EffectHandle handle;
    Kit& kit = handle.kit();
    std::atomic<bool> done{false};
    std::thread editorThread([&] {
        std::mt19937 random(3);
        for (int i = 0; !done.load(); ++i) {
            const int k = int(random() % 6);
            if (i % 5 == 4) {
                stopAndExchangeKeys(kit, -1, k, (k + 1) % 6);
            } else {
                const float value = float(1 + random() % 1000) / 1024.0f;  // on the 24-bit grid
                setKeyAudio(kit, k, int32_t(1 + random() % 3000), value, 1 + int(random() % 2));
            }
        }
    });
    int states = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (states < 50 || (states < 2000 && std::chrono::steady_clock::now() < until)) {
        void* data = nullptr;
        const VstIntPtr size = handle.dispatch(effGetChunk, 0, 0, &data);
        ASSERT_GT(size, 0);
        KitStateData saved;
        std::string why;
        ASSERT_TRUE(decodeKitState(static_cast<const uint8_t*>(data), std::size_t(size), saved, why)) << why;
        for (const KitStateKey& key : saved.keys) {
            for (const std::vector<float>* channel : {&key.left, &key.right})
                for (float v : *channel) ASSERT_EQ(v, key.left.front()) << "key " << key.key;
        }
        ++states;
    }
    done = true;
    editorThread.join();
}

}  // namespace
}  // namespace rimbrel::test
