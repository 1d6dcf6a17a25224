// The kit saved with the host's project: getChunk / setChunk through the
// effect as hosts use it, with the window's key names.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "PluginTestSupport.h"
#include "editor/ADEditor.h"
#include "kit/UndoHistory.h"

namespace rimbrel::test {
namespace {

ADEditor& windowOf(EffectHandle& handle) { return *static_cast<ADEditor*>(handle.effect().getEditor()); }

// Frames on the 24-bit grid, which the state keeps bit for bit.
std::vector<float> gridNoise(std::mt19937& random, std::size_t frames) {
    std::uniform_int_distribution<int32_t> step(-8388608, 8388607);
    std::vector<float> out(frames);
    for (float& v : out) v = float(step(random)) / 8388608.0f;
    return out;
}

// Every key filled (mono and stereo, different lengths), named, and given
// settings of its own; the Field target.
void fillWholeKit(EffectHandle& handle) {
    std::mt19937 random(7);
    Kit& kit = handle.kit();
    ADEditor& window = windowOf(handle);
    for (int k = 0; k < kNumKeys; ++k) {
        const std::size_t frames = 1000 + std::size_t(k) * 97;
        if (k % 3 == 1) setKeyAudio(kit, k, gridNoise(random, frames), gridNoise(random, frames));
        else setKeyAudio(kit, k, gridNoise(random, frames));
        KeySettings s;
        s.pitch = k * 4 - 48;
        s.playMode = k % 3;
        s.reverse = k % 2 == 1;
        s.volume = 0.25f + float(k) * 0.125f;
        s.pan = float(k - 12) / 12.0f;
        writeKeySettings(kit, k, s);
        const std::string name = "/home/someone/sounds/kit " + std::to_string(k) + "/hit-\xc3\xa9.wav";
        std::snprintf(window.keyNames[k], kKeyNameSize, "%s", name.c_str());
    }
    kit.target.store(KitTarget::Op1Field);
}

std::vector<uint8_t> chunkOf(EffectHandle& handle, bool preset = false) {
    void* data = nullptr;
    const VstIntPtr size = handle.dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
    if (size <= 0 || !data) return {};
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

VstIntPtr restore(EffectHandle& handle, std::vector<uint8_t> bytes) {
    return handle.dispatch(effSetChunk, 0, VstIntPtr(bytes.size()), bytes.data());
}

std::vector<float> keyChannel(const Kit& kit, int k, bool right) {
    const float* p = right ? kit.keyRight[k] : kit.keySamples[k];
    return p ? std::vector<float>(p, p + kit.keyLength[k]) : std::vector<float>();
}

void expectSameKit(EffectHandle& a, EffectHandle& b) {
    const Kit& x = a.kit();
    const Kit& y = b.kit();
    EXPECT_EQ(x.target.load(), y.target.load());
    for (int k = 0; k < kNumKeys; ++k) {
        SCOPED_TRACE("key " + std::to_string(k));
        EXPECT_EQ(x.keyLength[k], y.keyLength[k]);
        EXPECT_EQ(keyChannel(x, k, false), keyChannel(y, k, false));
        EXPECT_EQ(keyChannel(x, k, true), keyChannel(y, k, true));
        EXPECT_EQ(readKeySettings(x, k), readKeySettings(y, k));
        EXPECT_STREQ(windowOf(a).keyNames[k], windowOf(b).keyNames[k]);
    }
}

bool kitIsEmpty(EffectHandle& handle) {
    const Kit& kit = handle.kit();
    if (kit.target.load() != KitTarget::Op1) return false;
    for (int k = 0; k < kNumKeys; ++k)
        if (kit.keyLength[k] != 0 || kit.keySamples[k] || !(readKeySettings(kit, k) == KeySettings{}) ||
            windowOf(handle).keyNames[k][0] != 0)
            return false;
    return true;
}

TEST(KitChunk, WholeKitComesBackExactly) {
    EffectHandle saved;
    fillWholeKit(saved);
    const std::vector<uint8_t> bank = chunkOf(saved);
    ASSERT_FALSE(bank.empty());
    EXPECT_EQ(chunkOf(saved, true), bank);  // the program's chunk is the bank's

    EffectHandle reopened;
    setKeyAudio(reopened.kit(), 23, 50, 0.5f);  // whatever it held goes
    EXPECT_EQ(restore(reopened, bank), 1);
    expectSameKit(saved, reopened);
    EXPECT_EQ(chunkOf(reopened), bank);
}

TEST(KitChunk, RestoredKitPlaysWhatTheSavedOneDid) {
    EffectHandle saved;
    fillWholeKit(saved);
    EffectHandle reopened;
    ASSERT_EQ(restore(reopened, chunkOf(saved)), 1);

    auto play = [](EffectHandle& handle) {
        AEffect* e = handle.record();
        handle.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
        handle.dispatch(effMainsChanged, 0, 1);
        std::vector<float> in(256, 0.0f), left(256), right(256), all;
        float* ins[] = {in.data(), in.data()};
        float* outs[] = {left.data(), right.data()};
        for (int block = 0; block < 24; ++block) {
            MidiList notes;
            notes.noteOn(block * 7, kFirstKeyNote + block);
            if (block > 2) notes.noteOff(3, kFirstKeyNote + block - 3);
            handle.dispatch(effProcessEvents, 0, 0, notes.vstEvents());
            e->processReplacing(e, ins, outs, 256);
            all.insert(all.end(), left.begin(), left.end());
            all.insert(all.end(), right.begin(), right.end());
        }
        return all;
    };
    const std::vector<float> heard = play(saved);
    EXPECT_EQ(play(reopened), heard);
    float loudest = 0.0f;
    for (float v : heard) loudest = std::max(loudest, std::abs(v));
    EXPECT_GT(loudest, 0.01f);
}

TEST(KitChunk, DamagedStateLeavesAnEmptyKitAndSaysWhy) {
    EffectHandle saved;
    fillWholeKit(saved);
    const std::vector<uint8_t> good = chunkOf(saved);
    std::vector<uint8_t> cut(good.begin(), good.begin() + std::ptrdiff_t(good.size() / 2));
    std::vector<uint8_t> badAudio = good;
    badAudio[badAudio.size() - 200] ^= 0x5a;  // inside the last key's encoded audio
    std::vector<uint8_t> newerMajor = good;
    newerMajor[4] = 9;
    for (const auto& [what, bytes] : {std::pair{"cut", cut}, std::pair{"audio", badAudio},
                                      std::pair{"major", newerMajor}, std::pair{"nothing", std::vector<uint8_t>()}}) {
        SCOPED_TRACE(what);
        EffectHandle reopened;
        ASSERT_EQ(restore(reopened, good), 1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(restore(reopened, bytes), 0);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(kitIsEmpty(reopened));
        EXPECT_EQ(said.rfind("[Rimbrel-VST] kit state refused: ", 0), 0u) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    }
}

TEST(KitChunk, HandedBytesStayUntilTheNextCallAndFollowEveryChange) {
    EffectHandle handle;
    fillWholeKit(handle);
    void* data = nullptr;
    const VstIntPtr size = handle.dispatch(effGetChunk, 0, 0, &data);
    ASSERT_GT(size, 0);
    const std::vector<uint8_t> first(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);

    // Changes after the call leave the handed bytes alone...
    Kit& kit = handle.kit();
    std::vector<float> other = keyChannel(kit, 5, false);
    other[10] = 0.25f;  // same length and channels, different audio
    setKeyAudio(kit, 5, other);
    kit.keyPitch[6].store(12);
    std::snprintf(windowOf(handle).keyNames[7], kKeyNameSize, "%s", "/elsewhere/new.wav");
    stopAndExchangeKeys(kit, -1, 0, 1);
    EXPECT_EQ(std::memcmp(data, first.data(), first.size()), 0);
    handle.effect().prepareSavedState();  // as the window's timer does between calls
    EXPECT_EQ(std::memcmp(data, first.data(), first.size()), 0);

    // ...and the next call holds every one of them.
    EXPECT_NE(chunkOf(handle), first);
    EffectHandle reopened;
    ASSERT_EQ(restore(reopened, chunkOf(handle)), 1);
    expectSameKit(handle, reopened);
    EXPECT_EQ(keyChannel(reopened.kit(), 5, false)[10], 0.25f);
}

}  // namespace
}  // namespace rimbrel::test
