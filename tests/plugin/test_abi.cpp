// The built Rimbrel.so, loaded the way a host loads it: only through its
// exported entry points and the record they return.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "DispatcherTable.h"
#include "plugin/vst2/Vst2.h"

namespace rimbrel::test {
namespace {

using Entry = AEffect* (*)(audioMasterCallback);

int versionRequests = 0;
bool lastRequestHadNoEffect = false;

VstIntPtr host(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterVersion) {
        ++versionRequests;
        lastRequestHadNoEffect = effect == nullptr;
        return 2400;
    }
    return 0;
}

VstIntPtr oldHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2 : 0;  // some scanners answer 2
}

VstIntPtr mute(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }

class LoadedPlugin : public ::testing::Test {
protected:
    void SetUp() override {
        handle = dlopen(RIMBREL_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        pluginMain = reinterpret_cast<Entry>(dlsym(handle, "VSTPluginMain"));
        legacyMain = reinterpret_cast<Entry>(dlsym(handle, "main"));
        ASSERT_NE(pluginMain, nullptr);
        ASSERT_NE(legacyMain, nullptr);
    }
    void TearDown() override {
        if (handle) dlclose(handle);
    }
    void* handle = nullptr;
    Entry pluginMain = nullptr;
    Entry legacyMain = nullptr;
};

TEST_F(LoadedPlugin, ExportsOnlyItsEntryPoints) {
    EXPECT_EQ(dlsym(handle, "rimbrelLegacyMain"), nullptr);
    EXPECT_EQ(dlsym(handle, "_ZN7rimbrel13createEffectEPFlP7AEffectiilPvfE"), nullptr);
    EXPECT_EQ(dlsym(handle, "_ZN7rimbrel3Kit16beginKeyRewriteEj"), nullptr);
}

TEST_F(LoadedPlugin, HostWithoutVersionGetsNothing) {
    EXPECT_EQ(pluginMain(mute), nullptr);
    EXPECT_EQ(legacyMain(mute), nullptr);
    EXPECT_EQ(pluginMain(nullptr), nullptr);
}

TEST_F(LoadedPlugin, RecordFieldsAndEveryAnswer) {
    for (Entry entry : {pluginMain, legacyMain}) {
        versionRequests = 0;
        AEffect* e = entry(host);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(versionRequests, 1);
        EXPECT_TRUE(lastRequestHadNoEffect);

        EXPECT_EQ(e->magic, 0x56737450);  // "VstP"
        EXPECT_NE(e->dispatcher, nullptr);
        EXPECT_NE(e->process, nullptr);
        EXPECT_NE(e->setParameter, nullptr);
        EXPECT_NE(e->getParameter, nullptr);
        EXPECT_EQ(e->numPrograms, 1);
        EXPECT_EQ(e->numParams, 1);
        EXPECT_EQ(e->numInputs, 2);
        EXPECT_EQ(e->numOutputs, 2);
        EXPECT_EQ(e->flags & ~effFlagsHasEditor, 16 | 32 | 256);
        EXPECT_EQ(e->resvd1, 0);
        EXPECT_EQ(e->resvd2, 0);
        EXPECT_EQ(e->initialDelay, 0);
        EXPECT_EQ(e->realQualities, 0);
        EXPECT_EQ(e->offQualities, 0);
        EXPECT_EQ(e->ioRatio, 1.0f);
        EXPECT_NE(e->object, nullptr);
        EXPECT_EQ(e->user, nullptr);
        EXPECT_EQ(e->uniqueID, 0x52624B74);  // "RbKt"
        EXPECT_EQ(e->version, 1);
        EXPECT_NE(e->processReplacing, nullptr);
        EXPECT_NE(e->processDoubleReplacing, nullptr);
        for (char c : e->future) EXPECT_EQ(c, 0);

        // The editor requests answer as the flag says.
        ERect* rect = nullptr;
        EXPECT_EQ(send(e, effEditGetRect, 0, 0, &rect), (e->flags & effFlagsHasEditor) ? 1 : 0);
        expectDispatcherAnswers(e);
        EXPECT_EQ(send(e, effClose), 1);
    }
}

TEST_F(LoadedPlugin, AnOldHostVersionIsEnough) {
    AEffect* e = pluginMain(oldHost);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(send(e, effClose), 1);
}

TEST_F(LoadedPlugin, ParametersThroughTheRecord) {
    AEffect* e = pluginMain(host);
    ASSERT_NE(e, nullptr);
    e->setParameter(e, 99 + 5, 0.75f);
    EXPECT_EQ(e->getParameter(e, 99 + 5), 0.75f);
    char text[64] = {};
    send(e, effGetParamDisplay, 99 + 5, 0, text);
    EXPECT_STREQ(text, "     24");
    e->setParameter(e, 171 + 3, 0.0f);
    send(e, effGetParamDisplay, 171 + 3, 0, text);
    EXPECT_STREQ(text, " -INF");
    e->setParameter(e, 0, 1.0f);
    EXPECT_EQ(e->getParameter(e, 0), 0.0f);
    send(e, effGetParamDisplay, 0, 0, text);
    EXPECT_STREQ(text, "  ");
    EXPECT_EQ(send(e, effClose), 1);
}

TEST_F(LoadedPlugin, ProcessingPassesAudioThroughAndTheOldEntriesDoNothing) {
    AEffect* e = pluginMain(host);
    ASSERT_NE(e, nullptr);
    send(e, effOpen);
    send(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    send(e, effSetBlockSize, 0, 256);
    send(e, effMainsChanged, 0, 1);
    std::vector<float> in1(256), in2(256), out1(256, 9.0f), out2(256, 9.0f);
    for (int i = 0; i < 256; ++i) {
        in1[size_t(i)] = float(i) / 256.0f;
        in2[size_t(i)] = -float(i) / 512.0f;
    }
    float* ins[] = {in1.data(), in2.data()};
    float* outs[] = {out1.data(), out2.data()};
    // Notes for empty keys change nothing.
    VstMidiEvent note{};
    note.type = kVstMidiType;
    note.byteSize = sizeof note;
    note.deltaFrames = 10;
    note.midiData[0] = char(0x90);
    note.midiData[1] = 60;
    note.midiData[2] = 100;
    VstEvents events{};
    events.numEvents = 1;
    events.events[0] = reinterpret_cast<VstEvent*>(&note);
    EXPECT_EQ(send(e, effProcessEvents, 0, 0, &events), 1);
    e->processReplacing(e, ins, outs, 256);
    EXPECT_EQ(out1, in1);
    EXPECT_EQ(out2, in2);

    std::vector<float> untouched(256, 3.0f);
    std::vector<float> acc1 = untouched, acc2 = untouched;
    float* accs[] = {acc1.data(), acc2.data()};
    e->process(e, ins, accs, 256);
    EXPECT_EQ(acc1, untouched);
    std::vector<double> d1(256, 1.0), d2(256, 1.0), dout1(256, 5.0), dout2(256, 5.0);
    double* dins[] = {d1.data(), d2.data()};
    double* douts[] = {dout1.data(), dout2.data()};
    e->processDoubleReplacing(e, dins, douts, 256);
    EXPECT_EQ(dout1, std::vector<double>(256, 5.0));

    send(e, effMainsChanged, 0, 0);
    EXPECT_EQ(send(e, effClose), 1);
}

TEST_F(LoadedPlugin, InstancesAreIndependent) {
    AEffect* a = pluginMain(host);
    AEffect* b = legacyMain(host);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_NE(a->object, b->object);
    a->setParameter(a, 99, 1.0f);
    EXPECT_EQ(b->getParameter(b, 99), 0.5f);
    EXPECT_EQ(send(a, effClose), 1);
    EXPECT_EQ(b->getParameter(b, 99), 0.5f);
    EXPECT_EQ(send(b, effClose), 1);
}

}  // namespace
}  // namespace rimbrel::test
