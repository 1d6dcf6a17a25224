// Hosts that call the plug-in in orders nobody planned for: window requests
// before the window exists or twice over, processing before resume or after
// suspend, the effect closed with its window open and a drop under way,
// events no note has. Everything goes through the record the entry point
// returns, as a host's calls do; the window lives on the headless platform.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "tests/KeyAudioSupport.h"
#include "RobustSupport.h"
#include "editor/ADEditor.h"
#include "platform/headless/HeadlessPlatform.h"
#include "instrument/PluginEntry.h"
#include "plugin/Tamblet.h"

namespace rimbrel::robust {
namespace {

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

VstIntPtr send(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
               float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

// Audio buffers of one block, checked after every call.
struct Block {
    explicit Block(int frames) : in1(std::size_t(frames), 0.125f), in2(std::size_t(frames), -0.125f), out1(std::size_t(frames), 7.f), out2(std::size_t(frames), 7.f) {}
    float* inputs[2] = {nullptr, nullptr};
    float* outputs[2] = {nullptr, nullptr};
    std::vector<float> in1, in2, out1, out2;
    void process(AEffect* e, int frames) {
        inputs[0] = in1.data();
        inputs[1] = in2.data();
        outputs[0] = out1.data();
        outputs[1] = out2.data();
        e->processReplacing(e, inputs, outputs, frames);
    }
    bool finite() const {
        for (std::size_t i = 0; i < out1.size(); ++i)
            if (!std::isfinite(out1[i]) || !std::isfinite(out2[i])) return false;
        return true;
    }
};

VstMidiEvent note(int status, int key, int velocity, int delta) {
    VstMidiEvent ev{};
    ev.type = kVstMidiType;
    ev.byteSize = sizeof ev;
    ev.deltaFrames = delta;
    ev.midiData[0] = char(status);
    ev.midiData[1] = char(key);
    ev.midiData[2] = char(velocity);
    return ev;
}

// Events of any number, laid out as a host lays them out.
struct EventList {
    std::vector<VstMidiEvent> midi;
    std::vector<VstEvent*> pointers;
    std::vector<char> memory;
    VstEvents* get() {
        pointers.clear();
        for (VstMidiEvent& m : midi) pointers.push_back(reinterpret_cast<VstEvent*>(&m));
        memory.assign(sizeof(VstEvents) + pointers.size() * sizeof(VstEvent*), 0);
        auto* events = reinterpret_cast<VstEvents*>(memory.data());
        events->numEvents = VstInt32(pointers.size());
        std::memcpy(reinterpret_cast<char*>(events) + offsetof(VstEvents, events), pointers.data(),
                    pointers.size() * sizeof(VstEvent*));
        return events;
    }
};

class HostOrders : public ::testing::Test {
protected:
    void SetUp() override {
        effect = createEffect(host);
        ASSERT_NE(effect, nullptr);
    }
    void TearDown() override {
        if (effect) send(effect, effClose);
    }
    Tamblet& tamblet() { return *static_cast<Tamblet*>(effect->object); }
    ADEditor* editor() { return dynamic_cast<ADEditor*>(tamblet().getEditor()); }
    void loadKey(int k, int frames, float value) {
        test::setKeyAudio(tamblet().kit, k, frames, value);
    }

    gui::headless::HeadlessEnvironment env;
    AEffect* effect = nullptr;
    int parent = 0;  // stands for the host's window
};

TEST_F(HostOrders, WindowRequestsBeforeOpenTwiceOverAndAfterClose) {
    // Before effOpen, and before any window.
    ERect* rect = nullptr;
    EXPECT_EQ(send(effect, effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 540);
    EXPECT_EQ(rect->bottom - rect->top, 786);
    EXPECT_EQ(send(effect, effEditGetRect), 1);  // no place for the answer
    send(effect, effEditIdle);
    send(effect, effEditClose);
    send(effect, effEditKeyDown, 'a', 0, nullptr, 0);
    send(effect, effOpen);
    send(effect, effOpen);  // twice

    // Opened twice without a close: one window.
    EXPECT_EQ(send(effect, effEditOpen, 0, 0, &parent), 1);
    gui::headless::HeadlessFrame* first = env.currentFrame();
    EXPECT_EQ(send(effect, effEditOpen, 0, 0, &parent), 1);
    gui::headless::HeadlessFrame* second = env.currentFrame();
    ASSERT_NE(second, nullptr);
    (void)first;
    env.advance(100);
    second->render();
    EXPECT_TRUE(editor()->isEditorOpen());

    // Closed twice, idled after, opened again: a working window.
    send(effect, effEditClose);
    send(effect, effEditClose);
    send(effect, effEditIdle);
    env.advance(100);
    EXPECT_EQ(env.currentFrame(), nullptr);
    EXPECT_FALSE(editor()->isEditorOpen());
    EXPECT_EQ(send(effect, effEditOpen, 0, 0, &parent), 1);
    ASSERT_NE(env.currentFrame(), nullptr);
    env.currentFrame()->render();
    EXPECT_EQ(send(effect, effEditGetRect, 0, 0, &rect), 1);
    send(effect, effMainsChanged, 0, 0);
    send(effect, effEditClose);
}

TEST_F(HostOrders, ProcessingBeforeResumeAfterSuspendAndWithStrangeBlocks) {
    loadKey(0, 20000, 0.5f);
    Block block(4096);
    EventList notes;
    notes.midi = {note(0x90, 53, 100, 0)};

    // Before effOpen and before resume.
    block.process(effect, 256);
    EXPECT_TRUE(block.finite());
    send(effect, effProcessEvents, 0, 0, notes.get());
    block.process(effect, 256);
    EXPECT_TRUE(block.finite());

    send(effect, effOpen);
    send(effect, effSetSampleRate, 0, 0, nullptr, 0.0f);
    send(effect, effSetSampleRate, 0, 0, nullptr, std::numeric_limits<float>::quiet_NaN());
    send(effect, effSetBlockSize, 0, 0);
    send(effect, effSetBlockSize, 0, -5);
    send(effect, effMainsChanged, 0, 1);
    send(effect, effMainsChanged, 0, 1);  // resumed twice

    // Blocks of no frames, of one frame, longer than the block size given,
    // and with no buffers at all.
    block.process(effect, 0);
    block.process(effect, 1);
    block.process(effect, 4096);
    EXPECT_TRUE(block.finite());
    block.process(effect, -1);
    effect->processReplacing(effect, nullptr, nullptr, 256);
    float* none[2] = {nullptr, nullptr};
    effect->processReplacing(effect, none, none, 256);
    double d1[64] = {}, d2[64] = {};
    double* dIn[2] = {d1, d2};
    double* dOut[2] = {d1, d2};
    effect->processDoubleReplacing(effect, dIn, dOut, 64);
    effect->process(effect, block.inputs, block.outputs, 64);

    // Suspended while a key sounds, processed anyway, resumed.
    send(effect, effProcessEvents, 0, 0, notes.get());
    block.process(effect, 512);
    send(effect, effMainsChanged, 0, 0);
    block.process(effect, 512);
    EXPECT_TRUE(block.finite());
    send(effect, effMainsChanged, 0, 1);
    block.process(effect, 512);
    EXPECT_TRUE(block.finite());
}

TEST_F(HostOrders, ProcessingInPlaceGivesWhatSeparateBuffersGive) {
    // Many hosts hand the same buffers in and out. A second instance gets
    // separate buffers; both play the same notes over the same input.
    AEffect* other = createEffect(host);
    ASSERT_NE(other, nullptr);
    for (AEffect* e : {effect, other}) {
        Tamblet& t = *static_cast<Tamblet*>(e->object);
        std::vector<float> frames(3000);
        for (int i = 0; i < 3000; ++i) frames[std::size_t(i)] = float(i % 100) / 200.0f;
        test::setKeyAudio(t.kit, 2, frames);
        send(e, effMainsChanged, 0, 1);
    }
    EventList notes;
    notes.midi = {note(0x90, 55, 100, 17)};
    send(effect, effProcessEvents, 0, 0, notes.get());
    send(other, effProcessEvents, 0, 0, notes.get());
    for (int block = 0; block < 4; ++block) {
        std::vector<float> a1(512), a2(512), b1(512), b2(512), i1(512), i2(512);
        for (int i = 0; i < 512; ++i) {
            a1[i] = i1[i] = 0.01f * float(i % 7);
            a2[i] = i2[i] = -0.02f * float(i % 5);
        }
        float* inPlace[2] = {a1.data(), a2.data()};
        effect->processReplacing(effect, inPlace, inPlace, 512);
        float* in[2] = {i1.data(), i2.data()};
        float* out[2] = {b1.data(), b2.data()};
        other->processReplacing(other, in, out, 512);
        EXPECT_EQ(a1, b1) << "block " << block;
        EXPECT_EQ(a2, b2) << "block " << block;
    }
    send(other, effClose);
}

TEST_F(HostOrders, EventsThatAreNoNotesOrTooManyOfThem) {
    loadKey(3, 5000, 0.25f);
    send(effect, effMainsChanged, 0, 1);
    Block block(256);
    EXPECT_EQ(send(effect, effProcessEvents, 0, 0, nullptr), 1);
    VstEvents empty{};
    send(effect, effProcessEvents, 0, 0, &empty);
    VstEvents negative{};
    negative.numEvents = -3;
    send(effect, effProcessEvents, 0, 0, &negative);
    VstEvents withNull{};
    withNull.numEvents = 2;  // two null entries
    send(effect, effProcessEvents, 0, 0, &withNull);

    EventList odd;
    odd.midi = {note(0x90, 56, 100, -50),      // before the block
                note(0x90, 56, 100, 1 << 30),  // far after it
                note(0x91, 56, 100, 10),       // channel 2
                note(0x90, 52, 100, 10),       // below the keys
                note(0x90, 77, 100, 10),       // above them
                note(0x90, 200, 200, 10),      // data bytes beyond 127
                note(0xF0, 56, 100, 10),       // not a note at all
                note(0xB0, 123, 0, 10),        // all notes off
                note(0x80, 56, 0, 20),         // off without on
                note(0x90, 56, 0, 30)};        // on with velocity 0: an off
    VstMidiEvent sysexLike = note(0x90, 56, 100, 0);
    sysexLike.type = 6;  // kVstSysExType: a different record, skipped
    odd.midi.push_back(sysexLike);
    send(effect, effProcessEvents, 0, 0, odd.get());
    block.process(effect, 256);
    EXPECT_TRUE(block.finite());

    // Five hundred notes in one block: the queue keeps what it can hold.
    EventList flood;
    for (int i = 0; i < 500; ++i) flood.midi.push_back(note(i % 2 ? 0x80 : 0x90, 53 + i % 24, 100, i % 256));
    for (int round = 0; round < 3; ++round) send(effect, effProcessEvents, 0, 0, flood.get());
    EXPECT_LE(tamblet().kit.midiQueueCount, kMidiQueueMax);
    EXPECT_GE(tamblet().kit.midiQueueCount, 0);
    block.process(effect, 256);
    EXPECT_TRUE(block.finite());
    EXPECT_EQ(tamblet().kit.midiQueueCount, 0);
}

TEST_F(HostOrders, ParametersOutsideTheTableAndStrangeValues) {
    for (VstInt32 index : {-100000, -1, 0, 1, 3, 98, 195, 196, 197, 198, 1000, 1 << 30}) {
        for (float v : {0.0f, 1.0f, -1.0f, 1e30f, std::numeric_limits<float>::quiet_NaN()}) {
            effect->setParameter(effect, index, v);
            EXPECT_EQ(effect->getParameter(effect, index), 0.0f) << index;
        }
        char text[64] = "unchanged";
        send(effect, effGetParamDisplay, index, 0, text);
        send(effect, effGetParamName, index, 0, text);
        send(effect, effGetParamLabel, index, 0, text);
        send(effect, effGetParamDisplay, index, 0, nullptr);
        send(effect, effCanBeAutomated, index);
    }
    // The audition index with anything but a key index touches no key.
    for (float v : {-1.0f, 24.0f, 1e9f, -1e9f, std::numeric_limits<float>::quiet_NaN(),
                    std::numeric_limits<float>::infinity()})
        effect->setParameter(effect, kParamAudition, v);
    Block block(64);
    block.process(effect, 64);
    EXPECT_TRUE(block.finite());
    // Strings requested without a place to put them.
    for (VstInt32 opcode : {effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName,
                            effGetEffectName, effGetVendorString, effGetProductString, effCanDo,
                            effGetProgramNameIndexed, effGetMidiKeyName, effSetProgramName, effGetChunk,
                            effGetSpeakerArrangement, effEditGetRect})
        send(effect, opcode, 0, 0, nullptr);
}

TEST_F(HostOrders, TheEffectClosedWithItsWindowOpenAndKeysSounding) {
    send(effect, effOpen);
    send(effect, effMainsChanged, 0, 1);
    loadKey(5, 30000, 0.5f);
    ASSERT_EQ(send(effect, effEditOpen, 0, 0, &parent), 1);
    env.advance(200);
    EventList notes;
    notes.midi = {note(0x90, 58, 100, 0)};
    send(effect, effProcessEvents, 0, 0, notes.get());
    Block block(256);
    block.process(effect, 256);
    effect->setParameter(effect, kParamAudition, 5.0f);  // an audition waits for the next block

    send(effect, effClose);  // no effEditClose first
    effect = nullptr;
    // The window's timers must be gone with it (under ASan a late tick
    // would touch freed memory).
    EXPECT_EQ(env.currentFrame(), nullptr);
    env.advance(1000);
    env.pump();
}

TEST_F(HostOrders, OpenAndCloseWhileTheWindowsTimerAndADialogAreUnderWay) {
    send(effect, effOpen);
    ASSERT_EQ(send(effect, effEditOpen, 0, 0, &parent), 1);
    ADEditor* e = editor();
    // A save dialog left open by the user, then the window is closed and
    // reopened, and the dialog's answer comes at last.
    loadKey(0, 1000, 0.5f);
    std::snprintf(e->keyNames[0], kKeyNameSize, "/s/a.wav");
    e->openExportSelector("Export Op1 Kit as..", kSelectorKitExport);
    ASSERT_EQ(env.pendingFileSelectors(), 1);
    send(effect, effEditClose);
    env.advance(50);
    ASSERT_EQ(send(effect, effEditOpen, 0, 0, &parent), 1);
    Scratch scratch("orders");
    env.scriptFileSelectorAnswer({scratch / "late.aif"});
    testing::internal::CaptureStderr();
    env.advance(50);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(e->getPendingSelector(), 0);
    send(effect, effEditClose);

    // The same, with the effect closed while the dialog is open.
    ASSERT_EQ(send(effect, effEditOpen, 0, 0, &parent), 1);
    e->openExportSelector("Export Op1 Kit as..", kSelectorKitExport);
    send(effect, effClose);
    effect = nullptr;
    env.scriptFileSelectorAnswer({scratch / "too-late.aif"});
    env.advance(100);
    EXPECT_FALSE(std::filesystem::exists(scratch / "too-late.aif"));
}

}  // namespace
}  // namespace rimbrel::robust
