// The record the host sees and the dispatcher's answers, in process.
#include <gtest/gtest.h>

#include "DispatcherTable.h"
#include "PluginTestSupport.h"
#include "plugin/AEffEditor.h"

namespace rimbrel::test {
namespace {

TEST(Dispatcher, AnswersEveryRequest) {
    EffectHandle handle;
    expectDispatcherAnswers(handle.record());
    EXPECT_EQ(handle.effect().getSampleRate(), 48000.0f);
    EXPECT_EQ(handle.effect().getBlockSize(), 256);
}

TEST(Dispatcher, SampleRateAndBlockSizeAreOnlyStored) {
    EffectHandle handle;
    EXPECT_EQ(handle.effect().getSampleRate(), 44100.0f);
    EXPECT_EQ(handle.effect().getBlockSize(), 1024);
    EXPECT_EQ(handle.dispatch(effSetBlockSizeAndSampleRate, 0, 64, nullptr, 96000.0f), 1);
    EXPECT_EQ(handle.effect().getSampleRate(), 96000.0f);
    EXPECT_EQ(handle.effect().getBlockSize(), 64);
}

TEST(Dispatcher, CloseAnswersOne) {
    EffectHandle handle;
    EXPECT_EQ(handle.close(), 1);
}

TEST(EntryPoint, HostThatAnswersNoVersionGetsNoEffect) {
    auto silentHost = [](AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) -> VstIntPtr {
        return 0;
    };
    EXPECT_EQ(createEffect(silentHost), nullptr);
    EXPECT_EQ(createEffect(nullptr), nullptr);
}

TEST(EntryPoint, RecordAsTheHostFirstSeesIt) {
    EffectHandle handle;
    const AEffect* e = handle.record();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->numPrograms, 1);
    EXPECT_EQ(e->numParams, 1);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags & ~effFlagsHasEditor, effFlagsCanReplacing | effFlagsIsSynth | effFlagsProgramChunks);
    EXPECT_EQ((e->flags & effFlagsHasEditor) != 0, handle.effect().getEditor() != nullptr);
    EXPECT_EQ(e->uniqueID, vstFourCharacters('R', 'b', 'K', 't'));
    EXPECT_EQ(e->uniqueID, 0x52624B74);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->user, nullptr);
}

// An editor that records what reaches it.
struct RecordingEditor : AEffEditor {
    explicit RecordingEditor(AudioEffect* effect, bool* destroyed)
        : AEffEditor(effect), destroyed_(destroyed) {}
    ~RecordingEditor() override { *destroyed_ = true; }
    bool getRect(ERect** r) override {
        *r = &rect;
        return true;
    }
    bool open(void* parent, void* display) override {
        openedParent = parent;
        openedDisplay = display;
        systemWindow_ = parent;
        return true;
    }
    void idle() override { ++idles; }
    bool onKeyDown(VstKeyCode& key) override {
        lastKey = key;
        return key.character == 'a';
    }
    void setParameter(int index, float value) override {
        lastIndex = index;
        lastValue = value;
        ++changes;
    }
    ERect rect{0, 0, 786, 540};
    void* openedParent = nullptr;
    void* openedDisplay = nullptr;
    VstKeyCode lastKey{};
    int idles = 0;
    int lastIndex = -1;
    float lastValue = 0;
    int changes = 0;
    bool* destroyed_;
};

TEST(Editor, RegistrationSetsTheFlagAndCloseDestroysTheEditor) {
    bool destroyed = false;
    EffectHandle handle;
    auto* editor = new RecordingEditor(&handle.effect(), &destroyed);
    AEffect* e = handle.record();
    EXPECT_TRUE(e->flags & effFlagsHasEditor);
    EXPECT_EQ(handle.effect().getEditor(), editor);

    ERect* rect = nullptr;
    EXPECT_EQ(handle.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->bottom, 786);
    EXPECT_EQ(rect->right, 540);

    // Closed window: keys are not taken.
    EXPECT_EQ(handle.dispatch(effEditKeyDown, 'a', 0, nullptr, 0), 0);
    int parent = 0, display = 0;
    EXPECT_EQ(handle.dispatch(effEditOpen, 0, reinterpret_cast<VstIntPtr>(&display), &parent), 1);
    EXPECT_EQ(editor->openedParent, &parent);
    EXPECT_EQ(editor->openedDisplay, &display);
    EXPECT_EQ(handle.dispatch(effEditIdle), 0);
    EXPECT_EQ(editor->idles, 1);
    EXPECT_EQ(handle.dispatch(effEditKeyDown, 'a', 0x1FF, nullptr, 8.0f), 1);
    EXPECT_EQ(editor->lastKey.character, 'a');
    EXPECT_EQ(editor->lastKey.virt, 0xFF);
    EXPECT_EQ(editor->lastKey.modifier, 8);
    EXPECT_EQ(handle.dispatch(effEditKeyDown, 'b', 0, nullptr, 0), 0);
    EXPECT_EQ(handle.dispatch(effEditKeyUp, 'a', 0, nullptr, 0), 0);  // base: not used
    EXPECT_EQ(handle.dispatch(effEditClose), 0);
    EXPECT_FALSE(editor->isOpen());

    // Parameter changes reach the editor after the effect has taken them.
    handle.effect().setParameter(kParamVolume + 1, 0.5f);
    EXPECT_EQ(editor->lastIndex, kParamVolume + 1);
    EXPECT_EQ(editor->lastValue, 0.5f);
    e->setParameter(e, 300, 0.25f);
    EXPECT_EQ(editor->lastIndex, 300);

    // A note start goes through the same operation on the audio thread.
    fillKey(handle.kit(), 4, std::vector<float>(8, 0.5f));
    MidiList notes;
    notes.noteOn(0, kFirstKeyNote + 4);
    EXPECT_EQ(handle.dispatch(effProcessEvents, 0, 0, notes.vstEvents()), 1);
    float in[2][4] = {}, out[2][4];
    float* ins[] = {in[0], in[1]};
    float* outs[] = {out[0], out[1]};
    e->processReplacing(e, ins, outs, 4);
    EXPECT_EQ(editor->lastIndex, kParamAudition);
    EXPECT_EQ(editor->lastValue, 4.0f);
    EXPECT_EQ(out[0][0], 0.5f);

    EXPECT_EQ(handle.close(), 1);
    EXPECT_TRUE(destroyed);
}

}  // namespace
}  // namespace rimbrel::test
