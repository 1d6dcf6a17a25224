// Audio and MIDI processing: notes start and stop keys at their frame, keys
// play with their pitch, direction, play mode and volume, and the result is
// the same, to the bit, as a plain frame-by-frame rendering.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <utility>

#include "PluginTestSupport.h"

namespace rimbrel::test {
namespace {

constexpr int kNoteKey0 = kFirstKeyNote;

// Runs blocks through the record with two input channels of known content.
class Rig {
public:
    EffectHandle handle;
    MidiList notes;
    std::vector<float> in1, in2, out1, out2;

    Tamblet& effect() { return handle.effect(); }
    Kit& kit() { return handle.kit(); }

    void run(int frames) {
        in1.resize(size_t(frames));
        in2.resize(size_t(frames));
        out1.assign(size_t(frames), -99.0f);
        out2.assign(size_t(frames), -99.0f);
        if (!notes.empty()) handle.dispatch(effProcessEvents, 0, 0, notes.vstEvents());
        notes.clear();
        float* ins[] = {in1.data(), in2.data()};
        float* outs[] = {out1.data(), out2.data()};
        AEffect* e = handle.record();
        e->processReplacing(e, ins, outs, frames);
    }
    // Silent inputs: out2 then carries the keys alone.
    void runSilent(int frames) {
        in1.assign(size_t(frames), 0.0f);
        in2.assign(size_t(frames), 0.0f);
        run(frames);
        in1.clear();
        in2.clear();
    }
};

std::vector<float> ramp(int n, float step = 0.01f) {
    std::vector<float> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[size_t(i)] = float(i + 1) * step;
    return v;
}

TEST(Processing, PassesAudioThroughWhileNoKeySounds) {
    Rig rig;
    rig.in1 = ramp(333, 0.003f);
    rig.in2 = ramp(333, -0.002f);
    rig.run(333);
    EXPECT_EQ(rig.out1, rig.in1);
    EXPECT_EQ(rig.out2, rig.in2);

    // In place, as many hosts call it.
    std::vector<float> a = ramp(64, 0.5f), b = ramp(64, -0.25f);
    const std::vector<float> a0 = a, b0 = b;
    float* chans[] = {a.data(), b.data()};
    AEffect* e = rig.handle.record();
    e->processReplacing(e, chans, chans, 64);
    EXPECT_EQ(a, a0);
    EXPECT_EQ(b, b0);
}

TEST(Processing, NoteStartsKeyAtItsFrameAndOutputsCarryTheMonoMix) {
    Rig rig;
    fillKey(rig.kit(), 0, {0.1f, 0.2f, 0.3f, 0.4f});
    rig.in1 = ramp(10, 0.5f);
    rig.in2 = ramp(10, 0.03f);
    rig.notes.noteOn(0, kNoteKey0);
    rig.run(10);
    const float key[] = {0.1f, 0.2f, 0.3f};
    for (int i = 0; i < 10; ++i) {
        if (i < 3) {
            EXPECT_EQ(rig.out2[i], rig.in2[i] + key[i]) << i;
            EXPECT_EQ(rig.out1[i], rig.out2[i]) << i;
        } else {
            EXPECT_EQ(rig.out2[i], rig.in2[i]) << i;
            EXPECT_EQ(rig.out1[i], rig.in1[i]) << i;
        }
    }
    EXPECT_FALSE(rig.kit().keyPlaying[0].load());
}

TEST(Processing, StartIsSampleAccurateInsideTheBlock) {
    Rig rig;
    fillKey(rig.kit(), 6, {0.5f, 0.25f, 0.125f});
    rig.notes.noteOn(37, kNoteKey0 + 6);
    rig.runSilent(64);
    for (int i = 0; i < 64; ++i) {
        const float expected = i == 37 ? 0.5f : i == 38 ? 0.25f
                                                        : 0.0f;
        EXPECT_EQ(rig.out2[i], expected) << i;
    }
    // The last frame of a block still counts; one frame later is dropped.
    rig.notes.noteOn(63, kNoteKey0 + 6);
    rig.notes.noteOn(64, kNoteKey0 + 5);
    fillKey(rig.kit(), 5, {0.75f, 0.75f});
    rig.runSilent(64);
    EXPECT_EQ(rig.out2[63], 0.5f);
    rig.runSilent(64);
    EXPECT_EQ(rig.out2[0], 0.25f);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(rig.out2[i], 0.0f) << i;
    EXPECT_FALSE(rig.kit().keyPlaying[5].load());
}

TEST(Processing, ReversedKeyPlaysBackwardsFromItsSecondLastFrame) {
    Rig rig;
    fillKey(rig.kit(), 0, {0.1f, 0.2f, 0.3f, 0.4f});
    setReverse(rig.effect(), 0, true);
    rig.notes.noteOn(0, kNoteKey0);
    rig.runSilent(6);
    EXPECT_EQ(rig.out2[0], 0.3f);
    EXPECT_EQ(rig.out2[1], 0.2f);
    EXPECT_EQ(rig.out2[2], 0.1f);
    EXPECT_EQ(rig.out2[3], 0.0f);
}

// A key whose frame i holds (i + 1) / 16, so the output tells which frames
// were played.
std::vector<float> frameIndices(int n) {
    std::vector<float> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[size_t(i)] = float(i + 1) / 16.0f;
    return v;
}

std::vector<int> playedFrames(const std::vector<float>& out) {
    std::vector<int> frames;
    for (float x : out)
        if (x != 0.0f) frames.push_back(int(x * 16.0f) - 1);
    return frames;
}

TEST(Processing, PitchChangesSpeedAndLength) {
    Rig rig;
    fillKey(rig.kit(), 2, frameIndices(10));
    setPitch(rig.effect(), 2, 12);
    rig.notes.noteOn(0, kNoteKey0 + 2);
    rig.runSilent(40);
    EXPECT_EQ(playedFrames(rig.out2), (std::vector<int>{0, 2, 4, 6, 8}));

    setPitch(rig.effect(), 2, -12);
    rig.notes.noteOn(0, kNoteKey0 + 2);
    rig.runSilent(40);
    std::vector<int> expected;
    for (int f = 0; f <= 8; ++f) expected.insert(expected.end(), {f, f});
    EXPECT_EQ(playedFrames(rig.out2), expected);

    // The pitch is taken when the key starts; a change while it sounds waits.
    setPitch(rig.effect(), 2, 0);
    rig.notes.noteOn(0, kNoteKey0 + 2);
    rig.runSilent(3);
    setPitch(rig.effect(), 2, 12);
    rig.runSilent(20);
    EXPECT_EQ(playedFrames(rig.out2), (std::vector<int>{3, 4, 5, 6, 7, 8}));
}

TEST(Processing, GateStopsAtReleaseOneShotAndLoopIgnoreIt) {
    Rig rig;
    for (int k : {0, 1, 2}) fillKey(rig.kit(), k, std::vector<float>(100, 0.125f * float(1 << k)));
    setPlayMode(rig.effect(), 0, PlayModeGate);
    setPlayMode(rig.effect(), 1, PlayModeOneShot);
    setPlayMode(rig.effect(), 2, PlayModeLoop);
    for (int k : {0, 1, 2}) rig.notes.noteOn(0, kNoteKey0 + k);
    // A note-on with velocity 0 is a release.
    for (int k : {0, 1, 2}) rig.notes.noteOn(10, kNoteKey0 + k, 1, 0);
    rig.runSilent(20);
    EXPECT_EQ(rig.out2[9], 0.875f);
    EXPECT_EQ(rig.out2[10], 0.75f);  // gate stopped at the release frame
    EXPECT_EQ(rig.out2[19], 0.75f);
    EXPECT_FALSE(rig.kit().keyPlaying[0].load());
    EXPECT_FALSE(rig.kit().keyNoteHeld[1]);
    EXPECT_FALSE(rig.kit().keyNoteHeld[2]);
}

TEST(Processing, LoopRepeatsWithoutGapWhileHeldThenEndsItsPass) {
    Rig rig;
    fillKey(rig.kit(), 3, frameIndices(5));
    setPlayMode(rig.effect(), 3, PlayModeLoop);
    rig.notes.noteOn(0, kNoteKey0 + 3);
    rig.runSilent(10);
    // Frames 0..3, again 0..3, then 0, 1: no gap, the last frame never played.
    EXPECT_EQ(playedFrames(rig.out2), (std::vector<int>{0, 1, 2, 3, 0, 1, 2, 3, 0, 1}));
    rig.notes.noteOff(1, kNoteKey0 + 3);
    rig.runSilent(6);
    EXPECT_EQ(playedFrames(rig.out2), (std::vector<int>{2, 3}));
    EXPECT_FALSE(rig.kit().keyPlaying[3].load());

    // Reversed, a loop restarts from the second-last frame.
    setReverse(rig.effect(), 3, true);
    rig.notes.noteOn(0, kNoteKey0 + 3);
    rig.runSilent(9);
    EXPECT_EQ(playedFrames(rig.out2), (std::vector<int>{3, 2, 1, 0, 3, 2, 1, 0, 3}));
}

TEST(Processing, RestartingASoundingKeyStartsItFromTheBeginning) {
    Rig rig;
    fillKey(rig.kit(), 0, frameIndices(20));
    rig.notes.noteOn(0, kNoteKey0);
    rig.notes.noteOn(5, kNoteKey0);
    rig.runSilent(10);
    EXPECT_EQ(playedFrames(rig.out2), (std::vector<int>{0, 1, 2, 3, 4, 0, 1, 2, 3, 4}));
}

TEST(Processing, EachKeyIsClippedAloneNotTheSum) {
    Rig rig;
    fillKey(rig.kit(), 0, std::vector<float>(8, 0.5f));
    fillKey(rig.kit(), 1, std::vector<float>(8, 0.5f));
    fillKey(rig.kit(), 2, std::vector<float>(8, -0.5f));
    for (int k : {0, 1, 2}) rig.effect().setParameter(kParamVolume + k, 1.0f);  // volume 4
    rig.notes.noteOn(0, kNoteKey0);
    rig.runSilent(4);
    EXPECT_EQ(rig.out2[0], 1.0f);
    rig.notes.noteOn(0, kNoteKey0 + 1);
    rig.runSilent(4);
    EXPECT_EQ(rig.out2[0], 2.0f);
    for (int k : {0, 1, 2}) rig.notes.noteOn(0, kNoteKey0 + k);
    rig.runSilent(4);
    EXPECT_EQ(rig.out2[0], 1.0f);  // 1 + 1 - 1
}

TEST(Processing, OnlyChannelOneAndNotes53To76StartKeys) {
    Rig rig;
    for (int k = 0; k < kNumKeys; ++k) fillKey(rig.kit(), k, std::vector<float>(8, 0.25f));
    rig.notes.noteOn(0, 53, 2);
    rig.notes.noteOn(0, 76, 16);
    rig.notes.noteOn(0, 52);
    rig.notes.noteOn(0, 77);
    rig.notes.add(0, 0xB0, 53, 100);  // a controller, not a note
    rig.notes.add(0, 0xA0, 53, 100);  // aftertouch
    rig.runSilent(8);
    for (float x : rig.out2) EXPECT_EQ(x, 0.0f);
    // Key 0 and key 23 are the edges.
    rig.notes.noteOn(0, 53);
    rig.notes.noteOn(0, 76);
    rig.runSilent(8);
    EXPECT_EQ(rig.out2[0], 0.5f);
    // Data bytes are masked to 7 bits: 53 + 128 is note 53.
    rig.notes.add(0, 0x90, 53 + 128, 100);
    rig.runSilent(8);
    EXPECT_EQ(rig.out2[0], 0.25f);
}

TEST(Processing, EventsOutsideTheBlockAreDroppedNotCarriedOver) {
    Rig rig;
    fillKey(rig.kit(), 0, std::vector<float>(8, 0.25f));
    rig.notes.noteOn(16, kNoteKey0);
    rig.notes.noteOn(-1, kNoteKey0);
    rig.notes.noteOn(1000, kNoteKey0);
    rig.runSilent(16);
    for (float x : rig.out2) EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(rig.kit().midiQueueCount, 0);
    rig.runSilent(16);
    for (float x : rig.out2) EXPECT_EQ(x, 0.0f);
    // A block of no frames empties the queue too.
    rig.notes.noteOn(0, kNoteKey0);
    rig.runSilent(0);
    EXPECT_EQ(rig.kit().midiQueueCount, 0);
    rig.runSilent(4);
    EXPECT_EQ(rig.out2[0], 0.0f);
}

TEST(Processing, QueueTakes127NotesAndDropsTheRest) {
    Rig rig;
    for (int k = 0; k < kNumKeys; ++k) fillKey(rig.kit(), k, std::vector<float>(4, 0.0625f));
    // 127 notes that start nothing, then key 0 at frame 0 and key 1 later.
    for (int i = 0; i < 127; ++i) rig.notes.noteOn(0, 20);
    for (int i = 0; i < 73; ++i) rig.notes.noteOn(0, kNoteKey0);
    rig.handle.dispatch(effProcessEvents, 0, 0, rig.notes.vstEvents());
    EXPECT_EQ(rig.kit().midiQueueCount, 127);
    // More lists in the same block add nothing either.
    MidiList more;
    for (int i = 0; i < 200; ++i) more.noteOn(i % 4, kNoteKey0 + 1);
    EXPECT_EQ(rig.handle.dispatch(effProcessEvents, 0, 0, more.vstEvents()), 1);
    EXPECT_EQ(rig.kit().midiQueueCount, 127);
    rig.notes.clear();
    rig.runSilent(8);
    for (float x : rig.out2) EXPECT_EQ(x, 0.0f);

    // The next block has room again.
    rig.notes.noteOn(2, kNoteKey0);
    rig.runSilent(8);
    EXPECT_EQ(rig.out2[2], 0.0625f);
}

TEST(Processing, KeysShorterThanTwoFramesAreSilent) {
    Rig rig;
    fillKey(rig.kit(), 0, {});  // no audio at all
    fillKey(rig.kit(), 1, {0.5f});
    fillKey(rig.kit(), 2, {0.5f});
    setReverse(rig.effect(), 2, true);
    fillKey(rig.kit(), 3, {0.5f});
    setPlayMode(rig.effect(), 3, PlayModeLoop);
    for (int k = 0; k < 4; ++k) rig.notes.noteOn(0, kNoteKey0 + k);
    for (int k = 0; k < 4; ++k) rig.effect().setParameter(kParamAudition, float(k));
    rig.in1 = ramp(8, 0.1f);
    rig.in2 = ramp(8, 0.2f);
    rig.run(8);
    EXPECT_EQ(rig.out1, rig.in1);
    EXPECT_EQ(rig.out2, rig.in2);
    for (int k = 0; k < 4; ++k) EXPECT_FALSE(rig.kit().keyPlaying[k].load());

    // Two frames: forward and backwards both play frame 0 once.
    fillKey(rig.kit(), 4, {0.5f, 0.25f});
    fillKey(rig.kit(), 5, {0.125f, 0.25f});
    setReverse(rig.effect(), 5, true);
    rig.notes.noteOn(0, kNoteKey0 + 4);
    rig.notes.noteOn(0, kNoteKey0 + 5);
    rig.runSilent(4);
    EXPECT_EQ(rig.out2[0], 0.625f);
    EXPECT_EQ(rig.out2[1], 0.0f);
}

TEST(Processing, KeyWhoseLengthShrankWhileSoundingStopsWithoutReadingPastIt) {
    Rig rig;
    fillKey(rig.kit(), 0, std::vector<float>(100, 0.25f));
    rig.notes.noteOn(0, kNoteKey0);
    rig.runSilent(50);
    {
        KeyRewrite rewrite(rig.kit(), keyBit(0));
        rig.kit().keyLength[0] = 10;  // now behind the key's position
    }
    rig.runSilent(8);
    for (float x : rig.out2) EXPECT_EQ(x, 0.0f);
    EXPECT_FALSE(rig.kit().keyPlaying[0].load());
}

TEST(Processing, BusyKeysAreStoppedAndNotStartedDuringTheBlock) {
    Rig rig;
    fillKey(rig.kit(), 0, std::vector<float>(100, 0.25f));
    rig.notes.noteOn(0, kNoteKey0);
    rig.runSilent(8);
    rig.kit().beginKeyRewrite(keyBit(0));
    rig.runSilent(8);
    EXPECT_FALSE(rig.kit().keyPlaying[0].load());
    rig.notes.noteOn(0, kNoteKey0);
    rig.effect().setParameter(kParamAudition, 0.0f);
    rig.runSilent(8);
    for (float x : rig.out2) EXPECT_EQ(x, 0.0f);
    rig.kit().endKeyRewrite(keyBit(0));
    rig.notes.noteOn(0, kNoteKey0);
    rig.runSilent(8);
    EXPECT_EQ(rig.out2[0], 0.25f);
}

TEST(Processing, AuditionPlaysOnceToTheEndInEveryModeUnlessTheNoteIsHeld) {
    for (int mode : {PlayModeGate, PlayModeOneShot, PlayModeLoop}) {
        Rig rig;
        fillKey(rig.kit(), 9, frameIndices(4));
        setPlayMode(rig.effect(), 9, mode);
        rig.effect().setParameter(kParamAudition, 9.0f);
        // A request from outside processing starts at frame 0 of the next block.
        EXPECT_FALSE(rig.kit().keyPlaying[9].load());
        rig.runSilent(8);
        EXPECT_EQ(playedFrames(rig.out2), (std::vector<int>{0, 1, 2})) << mode;
        EXPECT_FALSE(rig.kit().keyPlaying[9].load());
    }
    // A loop key started by the editor loops on while its MIDI note is held.
    Rig rig;
    fillKey(rig.kit(), 9, frameIndices(4));
    setPlayMode(rig.effect(), 9, PlayModeLoop);
    rig.notes.noteOn(0, kNoteKey0 + 9);
    rig.runSilent(1);
    rig.effect().setParameter(kParamAudition, 9.0f);
    rig.runSilent(8);
    EXPECT_EQ(playedFrames(rig.out2), (std::vector<int>{0, 1, 2, 0, 1, 2, 0, 1}));
    // The audition comes before the notes of frame 0: a note-off there wins.
    rig.effect().setParameter(kParamAudition, 9.0f);
    rig.notes.noteOff(0, kNoteKey0 + 9);
    rig.runSilent(8);
    EXPECT_EQ(playedFrames(rig.out2), (std::vector<int>{0, 1, 2}));
}

TEST(Processing, KeyHeldInTheWindowLoopsUntilLetGoOthersPlayTheirPass) {
    for (int mode : {PlayModeGate, PlayModeOneShot, PlayModeLoop}) {
        Rig rig;
        fillKey(rig.kit(), 4, frameIndices(4));
        setPlayMode(rig.effect(), 4, mode);
        rig.kit().holdKey(4);
        rig.effect().setParameter(kParamAudition, 4.0f);
        rig.runSilent(2);
        EXPECT_TRUE(rig.kit().keyPlaying[4].load()) << mode;
        rig.kit().releaseKey(4);
        rig.runSilent(8);
        // Let go: a loop key stops at once, gate and one-shot play their pass.
        if (mode != PlayModeLoop) EXPECT_EQ(playedFrames(rig.out2), (std::vector<int>{2})) << mode;
        else EXPECT_EQ(playedFrames(rig.out2), std::vector<int>{}) << mode;
    }
    // Held, a loop key goes round and round.
    Rig rig;
    fillKey(rig.kit(), 4, frameIndices(4));
    setPlayMode(rig.effect(), 4, PlayModeLoop);
    rig.kit().holdKey(4);
    rig.effect().setParameter(kParamAudition, 4.0f);
    rig.runSilent(8);
    EXPECT_EQ(playedFrames(rig.out2), (std::vector<int>{0, 1, 2, 0, 1, 2, 0, 1}));
}

TEST(Processing, SoundedKeysMaskFollowsWhatPlayedSinceItWasTaken) {
    Rig rig;
    fillKey(rig.kit(), 2, frameIndices(100));
    fillKey(rig.kit(), 23, frameIndices(3));
    EXPECT_EQ(rig.kit().takeSoundedKeys(), 0u);
    rig.notes.noteOn(10, kFirstKeyNote + 2);
    // Key 23 starts and ends inside the block: it sounded all the same.
    rig.notes.noteOn(20, kFirstKeyNote + 23);
    rig.runSilent(64);
    EXPECT_EQ(rig.kit().takeSoundedKeys(), keyBit(2) | keyBit(23));
    rig.runSilent(64);  // key 2 ends in this block
    EXPECT_EQ(rig.kit().takeSoundedKeys(), keyBit(2));
    rig.runSilent(64);
    EXPECT_EQ(rig.kit().takeSoundedKeys(), 0u);
}

TEST(Processing, VolumeScalesBeforeTheClip) {
    Rig rig;
    fillKey(rig.kit(), 0, {0.3f, 0.3f, 0.3f});
    rig.effect().setParameter(kParamVolume + 0, 0.3f);  // 0.36
    rig.notes.noteOn(0, kNoteKey0);
    rig.runSilent(2);
    EXPECT_EQ(rig.out2[0], 0.3f * (0.3f * 0.3f * 4.0f));
    rig.effect().setParameter(kParamVolume + 0, 0.0f);
    rig.notes.noteOn(0, kNoteKey0);
    rig.in1 = {0.5f};
    rig.in2 = {0.25f};
    rig.run(1);
    // A silent key still sounds: both outputs carry the second input.
    EXPECT_EQ(rig.out1[0], 0.25f);
    EXPECT_EQ(rig.out2[0], 0.25f);
}

TEST(Processing, VolumesThatAreNoNumberNeverPutNaNIntoTheOutput) {
    // A gain of infinity times the key's silent lead frames would be NaN:
    // such values leave the volume as it was, finite values still apply.
    Rig rig;
    fillKey(rig.kit(), 0, {0.0f, 0.5f, 0.0f});
    for (float value : {INFINITY, -INFINITY, NAN, 1e20f, -3e19f}) {
        rig.effect().setParameter(kParamVolume + 0, 0.25f);
        rig.effect().setParameter(kParamVolume + 0, value);
        EXPECT_FLOAT_EQ(rig.kit().keyVolume[0].load(), 0.25f) << value;
        rig.notes.noteOn(0, kNoteKey0);
        rig.runSilent(4);
        for (float s : rig.out2) EXPECT_TRUE(std::isfinite(s)) << value;
    }
    rig.effect().setParameter(kParamVolume + 0, 1e18f);  // huge but finite: taken, and clipped
    EXPECT_GT(rig.kit().keyVolume[0].load(), 1e36f);
    rig.notes.noteOn(0, kNoteKey0);
    rig.runSilent(4);
    EXPECT_EQ(rig.out2[0], 0.0f);
    EXPECT_EQ(rig.out2[1], 1.0f);
}

TEST(Processing, EventListsLongerThanTheRecordsTwoPointersAreReadWhole) {
    Rig rig;
    fillKey(rig.kit(), 3, {0.5f, 0.5f, 0.5f});
    for (int i = 0; i < 40; ++i) rig.notes.add(0, 0xB0, 7, 100);  // controllers, ignored
    rig.notes.noteOn(2, kNoteKey0 + 3);
    rig.runSilent(4);
    EXPECT_EQ(rig.out2[1], 0.0f);
    EXPECT_EQ(rig.out2[2], 0.5f);
}

// ---- stereo keys and pan ----

TEST(Processing, FieldPlaysStereoKeysLeftToLeftRightToRightAndMonoKeysToBoth) {
    std::vector<float> right = ramp(6, -0.05f);
    Rig rig;
    fillStereoKey(rig.kit(), 2, ramp(6, 0.1f), right);
    fillKey(rig.kit(), 3, ramp(6, 0.02f));
    setTarget(rig.effect(), KitTarget::Op1Field);
    rig.in1 = ramp(8, 0.25f);
    rig.in2 = ramp(8, 0.003f);
    rig.notes.noteOn(0, kNoteKey0 + 2);
    rig.run(8);
    for (int i = 0; i < 8; ++i) {
        if (i < 5) {
            EXPECT_EQ(rig.out1[i], rig.in2[i] + rig.kit().keySamples[2][i]) << i;
            EXPECT_EQ(rig.out2[i], rig.in2[i] + right[size_t(i)]) << i;
        } else {
            EXPECT_EQ(rig.out1[i], rig.in1[i]) << i;
            EXPECT_EQ(rig.out2[i], rig.in2[i]) << i;
        }
    }
    rig.notes.noteOn(0, kNoteKey0 + 3);
    rig.runSilent(8);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rig.out1[i], rig.kit().keySamples[3][i]) << i;
        EXPECT_EQ(rig.out2[i], rig.kit().keySamples[3][i]) << i;
    }
}

TEST(Processing, OpOnePlaysAStereoKeysMonoMixAndTheFieldItsChannelsAgain) {
    std::vector<float> right = ramp(6, -0.03f);
    Rig rig;
    fillStereoKey(rig.kit(), 0, ramp(6, 0.07f), right);
    const float* left = rig.kit().keySamples[0];
    rig.notes.noteOn(0, kNoteKey0);
    rig.runSilent(6);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rig.out2[i], (right[size_t(i)] + left[i]) * 0.5f) << i;
        EXPECT_EQ(rig.out1[i], rig.out2[i]) << i;
    }
    // Switching the target while the key sounds: the next block is stereo.
    setPlayMode(rig.effect(), 0, PlayModeLoop);
    rig.notes.noteOn(0, kNoteKey0);
    rig.runSilent(2);
    setTarget(rig.effect(), KitTarget::Op1Field);
    rig.runSilent(2);
    EXPECT_EQ(rig.out1[0], left[2]);
    EXPECT_EQ(rig.out2[0], right[2]);
}

TEST(Processing, PanIsEqualPowerAndExactlyNeutralAtTheCentre) {
    Rig rig;
    fillKey(rig.kit(), 5, std::vector<float>(64, 0.5f));
    setPlayMode(rig.effect(), 5, PlayModeLoop);
    rig.notes.noteOn(0, kNoteKey0 + 5);
    const auto gainsAt = [&](float pan) {
        setPan(rig.effect(), 5, pan);
        rig.runSilent(4);
        return std::pair{rig.out1[3] / 0.5f, rig.out2[3] / 0.5f};
    };
    EXPECT_EQ(gainsAt(0.0f), std::pair(1.0f, 1.0f));
    EXPECT_EQ(gainsAt(-1.0f), std::pair(float(M_SQRT2), 0.0f));
    EXPECT_EQ(gainsAt(1.0f), std::pair(0.0f, float(M_SQRT2)));
    for (float pan : {-0.75f, -0.2f, 0.02f, 0.5f, 0.9f}) {
        const auto [left, right] = gainsAt(pan);
        EXPECT_NEAR(left * left + right * right, 2.0f, 1e-5f) << pan;
        EXPECT_EQ(left > right, pan < 0.0f) << pan;
    }
    // A stereo key under the Field: each channel keeps its own side's gain.
    std::vector<float> right(64, -0.25f);
    fillStereoKey(rig.kit(), 6, std::vector<float>(64, 0.25f), right);
    setTarget(rig.effect(), KitTarget::Op1Field);
    setPan(rig.effect(), 6, -1.0f);
    setPan(rig.effect(), 5, 0.0f);
    rig.notes.noteOn(0, kNoteKey0 + 6);
    rig.runSilent(4);
    EXPECT_EQ(rig.out1[1], 0.5f + 0.25f * float(M_SQRT2));
    EXPECT_EQ(rig.out2[1], 0.5f);
}

TEST(Processing, PitchedAndReversedStereoKeysReadBothChannelsAtOnePosition) {
    std::vector<float> right = frameIndices(10);
    for (float& x : right) x = -x;
    Rig rig;
    fillStereoKey(rig.kit(), 1, frameIndices(10), right);
    setTarget(rig.effect(), KitTarget::Op1Field);
    setPitch(rig.effect(), 1, 12);
    rig.notes.noteOn(0, kNoteKey0 + 1);
    rig.runSilent(12);
    EXPECT_EQ(playedFrames(rig.out1), (std::vector<int>{0, 2, 4, 6, 8}));
    std::vector<float> negated = rig.out2;
    for (float& x : negated) x = -x;
    EXPECT_EQ(negated, rig.out1);

    setPitch(rig.effect(), 1, 0);
    setReverse(rig.effect(), 1, true);
    rig.notes.noteOn(0, kNoteKey0 + 1);
    rig.runSilent(12);
    EXPECT_EQ(playedFrames(rig.out1), (std::vector<int>{8, 7, 6, 5, 4, 3, 2, 1, 0}));
    for (int i = 0; i < 12; ++i) EXPECT_EQ(rig.out2[i], -rig.out1[i]) << i;
}

TEST(Processing, PanChangesWhileAKeySoundsTakeEffectWithoutNaN) {
    Rig rig;
    fillKey(rig.kit(), 0, std::vector<float>(100, 0.5f));
    setPlayMode(rig.effect(), 0, PlayModeLoop);
    rig.notes.noteOn(0, kNoteKey0);
    rig.runSilent(8);
    setPan(rig.effect(), 0, 1.0f);
    rig.runSilent(8);
    EXPECT_EQ(rig.out1[0], 0.0f);
    EXPECT_EQ(rig.out2[7], 0.5f * float(M_SQRT2));
    // A pan that is not a number, written past the parameter map, counts as
    // the centre; one outside the range as its end.
    rig.kit().keyPan[0].store(NAN);
    rig.runSilent(8);
    EXPECT_EQ(rig.out1[4], 0.5f);
    EXPECT_EQ(rig.out2[4], 0.5f);
    rig.kit().keyPan[0].store(-7.0f);
    rig.runSilent(8);
    EXPECT_EQ(rig.out1[4], 0.5f * float(M_SQRT2));
    EXPECT_EQ(rig.out2[4], 0.0f);
}

// ---- the frame-by-frame rendering, for comparison ----

struct Reference {
    const Kit* kit = nullptr;  // samples, lengths and settings (unchanged while a block runs)
    bool playing[kNumKeys] = {};
    bool held[kNumKeys] = {};
    double position[kNumKeys] = {};
    double increment[kNumKeys] = {};
    struct Note {
        int delta, note, velocity, channel;
    };
    std::vector<Note> queue;
    std::vector<int> auditions;
    double step = 1.0;                  // stored frames per output frame at pitch 0: 44100 / host rate
    KitTarget target = KitTarget::Op1;  // read at every block's start

    void events(const std::vector<VstMidiEvent>& list) {
        for (const VstMidiEvent& e : list) {
            const int status = uint8_t(e.midiData[0]);
            if ((status & 0xF0) != 0x90 && (status & 0xF0) != 0x80) continue;
            if (queue.size() >= 127) continue;
            const int velocity = (status & 0xF0) == 0x80 ? 0 : e.midiData[2] & 0x7F;
            queue.push_back({e.deltaFrames, e.midiData[1] & 0x7F, velocity, (status + 1) & 0x0F});
        }
    }
    int length(int k) const { return targetKeyLength(kit->keyLength[k], target); }
    void start(int k) {
        const int length = this->length(k);
        playing[k] = length >= 2;
        position[k] = 0.0;
        const int p = kit->keyPitch[k].load();
        if (p >= 0) increment[k] = float(std::pow(2.0, double(float(p * 0.08333333333))));
        else increment[k] = 1.0 / double(float(std::pow(2.0, double(float(-p * 0.08333333333)))));
        increment[k] *= step;
        if (kit->keyReverse[k].load()) {
            position[k] = length - 2;
            increment[k] = -increment[k];
        }
    }
    // The key's values for the left and the right side.
    std::pair<float, float> fetch(int k) {
        const int length = this->length(k);
        const float left = kit->keySamples[k][int(position[k])];
        const float* right = kit->keyRight[k];
        std::pair<float, float> value{left, left};
        if (right && target == KitTarget::Op1Field) value.second = right[int(position[k])];
        else if (right) value.first = value.second = (right[int(position[k])] + left) * 0.5f;
        position[k] += increment[k];
        if (int(position[k]) >= length - 1 || position[k] < 0) {
            if (kit->keyPlayMode[k].load() >= 2 && held[k])
                position[k] = kit->keyReverse[k].load() ? length - 2 : 0.0;
            else
                playing[k] = false;
        }
        return value;
    }
    void process(const float* in1, const float* in2, float* out1, float* out2, int frames) {
        target = kit->target.load();
        for (int i = 0; i < frames; ++i) {
            out1[i] = in1[i];
            out2[i] = in2[i];
            if (i == 0) {
                for (int k : auditions) start(k);
            }
            for (Note& n : queue) {
                if (n.delta != i) continue;
                if (n.channel == 1 && n.note >= 53 && n.note <= 76) {
                    const int k = n.note - 53;
                    held[k] = n.velocity > 0;
                    if (n.velocity > 0) start(k);
                    else if (kit->keyPlayMode[k].load() == 0) playing[k] = false;
                }
                n.delta = -1;
            }
            float left = in2[i], right = in2[i];
            bool sounded = false;
            for (int k = 0; k < kNumKeys; ++k) {
                if (!playing[k]) continue;
                const auto [valueLeft, valueRight] = fetch(k);
                const auto clip = [](float s) { return s > 1.0f ? 1.0f : s < -1.0f ? -1.0f
                                                                                   : s; };
                const float volume = kit->keyVolume[k].load();
                const PanGains gains = panGains(kit->keyPan[k].load());
                left = float(left + gains.left * clip(float(volume * valueLeft)));
                right = float(right + gains.right * clip(float(volume * valueRight)));
                sounded = true;
            }
            if (sounded) {
                out1[i] = left;
                out2[i] = right;
            }
        }
        queue.clear();
        auditions.clear();
    }
};

struct RandomRun {
    unsigned seed;
    int minLength, maxLength;  // of keys 9..23; keys 0..8 have fixed short lengths
    int maxBlock;
    int blocks;
    float hostRate = 44100.0f;
    bool stereoAndPan = false;  // stereo keys, pans and target changes too
    int maxNotes = 8;           // note events per block
};

// Random keys, settings, auditions and notes; every block must come out of
// the plug-in exactly as from the frame-by-frame rendering.
void expectSameAsFrameByFrame(const RandomRun& run) {
    std::mt19937 random(run.seed);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    auto real = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(random); };

    std::vector<float> rightChannels[kNumKeys];  // outlive the effect
    Rig rig;
    Kit& kit = rig.kit();
    Reference ref;
    ref.kit = &kit;
    rig.handle.dispatch(effSetSampleRate, 0, 0, nullptr, run.hostRate);
    ref.step = 44100.0 / double(run.hostRate);
    const int lengths[] = {0, 1, 2, 3, 4, 10, 57, 300, 1000};
    for (int k = 0; k < kNumKeys; ++k) {
        std::vector<float> frames(
            static_cast<size_t>(k < 9 ? lengths[k] : uniform(run.minLength, run.maxLength)));
        for (float& x : frames) x = real(-1.5f, 1.5f);
        fillKey(kit, k, frames);
        if (run.stereoAndPan && k % 3 != 0) {
            rightChannels[k] = frames;
            for (float& x : rightChannels[k]) x = real(-1.5f, 1.5f);
            fillStereoKey(kit, k, frames, rightChannels[k]);
        }
    }
    Tamblet& effect = rig.effect();
    for (int block = 0; block < run.blocks; ++block) {
        // Settings change between blocks, as from the editor.
        for (int n = uniform(0, 3); n > 0; --n) {
            const VstInt32 base = std::array<VstInt32, 4>{kParamPitch, kParamPlayMode, kParamReverse,
                                                          kParamVolume}[size_t(uniform(0, 3))];
            effect.setParameter(base + uniform(0, kNumKeys - 1), real(0.0f, 1.0f));
        }
        if (run.stereoAndPan && uniform(0, 3) == 0) {
            const int k = uniform(0, kNumKeys - 1);
            setPan(effect, k, uniform(0, 2) == 0 ? 0.0f : real(-1.0f, 1.0f));
        }
        if (run.stereoAndPan && uniform(0, 9) == 0)
            setTarget(effect, uniform(0, 1) ? KitTarget::Op1Field : KitTarget::Op1);
        if (uniform(0, 5) == 0) {
            const int k = uniform(0, kNumKeys - 1);
            effect.setParameter(kParamAudition, float(k));
            ref.auditions.push_back(k);
        }
        const int frames = uniform(0, 9) == 0 ? uniform(0, 2) : uniform(1, run.maxBlock);
        std::vector<VstMidiEvent> list;
        for (int n = uniform(0, run.maxNotes); n > 0; --n) {
            static const int kinds[] = {0x90, 0x90, 0x90, 0x80, 0x91, 0xB0, 0x8F};
            VstMidiEvent e{};
            e.type = kVstMidiType;
            e.byteSize = sizeof e;
            e.deltaFrames = uniform(-1, frames + 1);
            e.midiData[0] = char(kinds[uniform(0, 6)]);
            e.midiData[1] = char(uniform(50, 80));
            e.midiData[2] = char(uniform(0, 3) == 0 ? 0 : uniform(1, 127));
            list.push_back(e);
        }
        for (const VstMidiEvent& e : list)
            rig.notes.add(e.deltaFrames, uint8_t(e.midiData[0]), e.midiData[1], e.midiData[2]);
        ref.events(list);

        std::vector<float> in1(static_cast<size_t>(frames)), in2(static_cast<size_t>(frames));
        for (float& x : in1) x = real(-1.0f, 1.0f);
        for (float& x : in2) x = real(-1.0f, 1.0f);
        std::vector<float> ref1(static_cast<size_t>(frames)), ref2(static_cast<size_t>(frames));
        ref.process(in1.data(), in2.data(), ref1.data(), ref2.data(), frames);
        rig.in1 = in1;
        rig.in2 = in2;
        rig.run(frames);
        ASSERT_EQ(rig.out1, ref1) << "block " << block;
        ASSERT_EQ(rig.out2, ref2) << "block " << block;
        for (int k = 0; k < kNumKeys; ++k) {
            ASSERT_EQ(kit.keyPlaying[k].load(), ref.playing[k]) << "block " << block << " key " << k;
            if (ref.playing[k]) {
                ASSERT_EQ(kit.keyPosition[k], ref.position[k]) << "key " << k;
            }
        }
    }
}

TEST(Processing, SameAsFrameByFrameRenderingToTheBit) {
    // Short keys and blocks: many starts, ends, loops and events per block.
    expectSameAsFrameByFrame({20240611, 2, 700, 300, 600});
    // Long keys and host-sized blocks: long stretches at every pitch.
    expectSameAsFrameByFrame({77, 5000, 60000, 4096, 120});
}

TEST(Processing, StereoKeysAndPanSameAsFrameByFrameInBothTargets) {
    RandomRun shortKeys{31, 2, 700, 300, 400};
    shortKeys.stereoAndPan = true;
    expectSameAsFrameByFrame(shortKeys);
    // Few notes: keys often end inside a block with nothing else sounding.
    RandomRun fewNotes{808, 2, 700, 300, 400};
    fewNotes.stereoAndPan = true;
    fewNotes.maxNotes = 1;
    expectSameAsFrameByFrame(fewNotes);
    // Blocks longer than the left sum's buffer.
    RandomRun longKeys{5150, 5000, 60000, 4096, 80, 48000.0f};
    longKeys.stereoAndPan = true;
    expectSameAsFrameByFrame(longKeys);
}

TEST(Processing, AtOtherHostRatesKeysAdvanceBy44100OverTheRateAsFrameByFrame) {
    expectSameAsFrameByFrame({4242, 2, 700, 300, 300, 48000.0f});
    expectSameAsFrameByFrame({99, 5000, 60000, 1024, 60, 22050.0f});
}

// A key holding 440 Hz plays 440 Hz for as long as it lasts, whatever the
// host's rate: the output's rising zero crossings give its frequency.
TEST(Processing, KeyOf440HzSoundsAt440HzAtEveryHostRate) {
    std::vector<float> sine(22050);  // half a second at 44100 Hz
    for (size_t i = 0; i < sine.size(); ++i) sine[i] = 0.5f * float(std::sin(2 * M_PI * 440.0 * double(i) / 44100.0));
    for (const float rate : {44100.0f, 48000.0f, 96000.0f}) {
        Rig rig;
        fillKey(rig.kit(), 3, sine);
        rig.handle.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        rig.handle.dispatch(effSetSampleRate, 0, 0, nullptr, 0.0f);  // no rate: ignored
        rig.notes.noteOn(0, kNoteKey0 + 3);
        std::vector<float> out;
        for (int block = 0; block < 200 && (block == 0 || rig.kit().keyPlaying[3].load()); ++block) {
            rig.runSilent(512);
            out.insert(out.end(), rig.out2.begin(), rig.out2.end());
        }
        double first = -1, last = -1, lastSound = 0;
        int crossings = 0;
        for (size_t i = 1; i < out.size(); ++i) {
            if (out[i] != 0.0f) lastSound = double(i);
            if (out[i - 1] < 0.0f && out[i] >= 0.0f) {
                const double t = double(i - 1) + double(-out[i - 1]) / double(out[i] - out[i - 1]);
                if (first < 0) first = t;
                last = t;
                ++crossings;
            }
        }
        ASSERT_GT(crossings, 100) << rate;
        EXPECT_NEAR((crossings - 1) * double(rate) / (last - first), 440.0, 440.0 * 0.005) << rate;
        EXPECT_NEAR(lastSound / double(rate), 0.5, 0.002) << rate;
    }
}

}  // namespace
}  // namespace rimbrel::test
