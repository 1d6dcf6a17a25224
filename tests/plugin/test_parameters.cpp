// The effect's identity and its parameter map: conversions, display texts and
// the indices outside the map.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "PluginTestSupport.h"

namespace rimbrel::test {
namespace {

std::string display(AudioEffect& e, VstInt32 index) {
    char text[64];
    std::memset(text, 'X', sizeof text);
    text[63] = 0;
    e.getParameterDisplay(index, text);
    return text;
}

class ParameterMap : public ::testing::Test {
protected:
    EffectHandle handle;
    Tamblet& effect = handle.effect();
};

TEST_F(ParameterMap, FreshEffectShowsEmptyKeysWithDefaultSettings) {
    for (int k = 0; k < kNumKeys; ++k) {
        EXPECT_EQ(handle.kit().keyLength[k], 0);
        EXPECT_EQ(display(effect, kParamPitch + k), "      0");
        EXPECT_EQ(display(effect, kParamPlayMode + k), "-> |");
        EXPECT_EQ(display(effect, kParamReverse + k), " >>");
        EXPECT_EQ(display(effect, kParamVolume + k), "+ 0");
        EXPECT_FLOAT_EQ(effect.getParameter(kParamPitch + k), 0.5f);
        EXPECT_FLOAT_EQ(effect.getParameter(kParamPlayMode + k), 0.5f);
        EXPECT_EQ(effect.getParameter(kParamReverse + k), 0.0f);
        EXPECT_FLOAT_EQ(effect.getParameter(kParamVolume + k), 0.5f);
        EXPECT_FALSE(handle.kit().keyPlaying[k].load());
    }
    EXPECT_EQ(handle.kit().midiQueueCount, 0);
    EXPECT_EQ(handle.kit().totalFrames(), 0);
}

TEST_F(ParameterMap, PitchConversionAndDisplay) {
    effect.setParameter(kParamPitch + 5, 0.75f);
    EXPECT_EQ(handle.kit().keyPitch[5].load(), 24);
    EXPECT_EQ(display(effect, kParamPitch + 5), "     24");
    effect.setParameter(kParamPitch + 5, 0.0f);
    EXPECT_EQ(handle.kit().keyPitch[5].load(), -48);
    EXPECT_EQ(display(effect, kParamPitch + 5), "    -48");
    effect.setParameter(kParamPitch + 5, 1.0f);
    EXPECT_EQ(handle.kit().keyPitch[5].load(), 48);
    // Each of the 97 pitches survives the round trip through its value.
    for (int p = -48; p <= 48; ++p) {
        effect.setParameter(kParamPitch + 23, float(p + 48) / 96.0f);
        ASSERT_EQ(handle.kit().keyPitch[23].load(), p);
        EXPECT_EQ(effect.getParameter(kParamPitch + 23), float(p + 48) / 96.0f);
    }
    // Rounds half up on single(v * 96): 0.5/96 above a step goes to the next.
    effect.setParameter(kParamPitch + 0, 48.5f / 96.0f);
    EXPECT_EQ(handle.kit().keyPitch[0].load(), 1);
    effect.setParameter(kParamPitch + 0, 48.49f / 96.0f);
    EXPECT_EQ(handle.kit().keyPitch[0].load(), 0);
}

TEST_F(ParameterMap, PlayModeConversionAndDisplay) {
    effect.setParameter(kParamPlayMode + 0, 0.75f);
    EXPECT_EQ(handle.kit().keyPlayMode[0].load(), 2);
    EXPECT_EQ(display(effect, kParamPlayMode + 0), "Loop");
    EXPECT_EQ(effect.getParameter(kParamPlayMode + 0), 1.0f);
    effect.setParameter(kParamPlayMode + 0, 0.25f);
    EXPECT_EQ(handle.kit().keyPlayMode[0].load(), 1);
    EXPECT_EQ(display(effect, kParamPlayMode + 0), "-> |");
    effect.setParameter(kParamPlayMode + 0, 0.2f);
    EXPECT_EQ(handle.kit().keyPlayMode[0].load(), 0);
    EXPECT_EQ(display(effect, kParamPlayMode + 0), "->  ");
    EXPECT_EQ(effect.getParameter(kParamPlayMode + 0), 0.0f);
    // A mode outside the table (only from a value outside [0, 1]) has no
    // text: the host's buffer is left as it was.
    effect.setParameter(kParamPlayMode + 0, 1.5f);
    EXPECT_EQ(handle.kit().keyPlayMode[0].load(), 3);
    EXPECT_EQ(display(effect, kParamPlayMode + 0), std::string(63, 'X'));
}

TEST_F(ParameterMap, ReverseConversionAndDisplay) {
    effect.setParameter(kParamReverse + 7, 0.5f);
    EXPECT_TRUE(handle.kit().keyReverse[7].load());
    EXPECT_EQ(display(effect, kParamReverse + 7), " <<");
    EXPECT_EQ(effect.getParameter(kParamReverse + 7), 1.0f);
    effect.setParameter(kParamReverse + 7, 0.49f);
    EXPECT_FALSE(handle.kit().keyReverse[7].load());
    EXPECT_EQ(display(effect, kParamReverse + 7), " >>");
    effect.setParameter(kParamReverse + 7, -1.6f);  // trunc(-1.1) = -1, not 0
    EXPECT_TRUE(handle.kit().keyReverse[7].load());
}

TEST_F(ParameterMap, VolumeConversionAndDisplay) {
    struct Case {
        float value;
        float volume;
        const char* text;
    };
    const Case cases[] = {
        {0.5f, 1.0f, "+ 0"},
        {0.0f, 0.0f, " -INF"},
        {1.0f, 4.0f, "+12"},
        {std::sqrt(0.125f), 0.5f, " -5"},
        {0.25f, 0.25f, "-11"},
    };
    for (const Case& c : cases) {
        effect.setParameter(kParamVolume + 3, c.value);
        EXPECT_FLOAT_EQ(handle.kit().keyVolume[3].load(), c.volume) << c.value;
        EXPECT_EQ(display(effect, kParamVolume + 3), c.text) << c.value;
        EXPECT_FLOAT_EQ(effect.getParameter(kParamVolume + 3), std::abs(c.value));
    }
    effect.setParameter(kParamVolume + 3, std::sqrt(0.5f));  // volume 2.0: +6 dB
    EXPECT_EQ(display(effect, kParamVolume + 3), "+ 6");
    effect.setParameter(kParamVolume + 3, -0.5f);  // squared: the sign is lost
    EXPECT_FLOAT_EQ(handle.kit().keyVolume[3].load(), 1.0f);
}

TEST_F(ParameterMap, IndicesOutsideTheMapChangeNothing) {
    const VstInt32 outside[] = {-1, 0, 1, 3, 98, 195, 243, 244, 1000, 1 << 30, INT32_MAX, INT32_MIN, INT32_MIN + 10};
    for (VstInt32 index : outside) {
        effect.setParameter(index, 0.9f);
        EXPECT_EQ(effect.getParameter(index), 0.0f) << index;
        EXPECT_EQ(display(effect, index), "  ") << index;
    }
    EXPECT_EQ(effect.getParameter(kParamAudition), 0.0f);
    EXPECT_EQ(display(effect, kParamAudition), "  ");
    for (int k = 0; k < kNumKeys; ++k) {
        EXPECT_EQ(display(effect, kParamPitch + k), "      0");
        EXPECT_EQ(display(effect, kParamPlayMode + k), "-> |");
        EXPECT_EQ(display(effect, kParamReverse + k), " >>");
        EXPECT_EQ(display(effect, kParamVolume + k), "+ 0");
    }
}

TEST_F(ParameterMap, NamesAndLabelsAreBlank) {
    char text[64];
    for (VstInt32 index : {0, 2, 99, 171, 500}) {
        effect.getParameterName(index, text);
        EXPECT_STREQ(text, " ");
        effect.getParameterLabel(index, text);
        EXPECT_STREQ(text, "  ");
    }
}

TEST_F(ParameterMap, ValuesFarOutsideTheRangeStayWithinTheHostsBuffer) {
    // Values no caller of the program passes; they must neither be undefined
    // behaviour nor write past the 8 characters a host provides.
    const float wild[] = {1e30f, -1e30f, std::numeric_limits<float>::infinity(),
                          std::numeric_limits<float>::quiet_NaN()};
    for (float v : wild) {
        for (VstInt32 base : {kParamPitch, kParamPlayMode, kParamReverse, kParamVolume}) {
            effect.setParameter(base + 4, v);
            char text[kVstMaxParamStrLen + 8];
            std::memset(text, 'Z', sizeof text);
            effect.getParameterDisplay(base + 4, text);
            for (size_t i = kVstMaxParamStrLen; i < sizeof text; ++i) EXPECT_EQ(text[i], 'Z');
        }
        effect.setParameter(kParamAudition, v);  // no key outside 0..23
    }
}

TEST_F(ParameterMap, AuditionOutsideTheKeysTouchesNothing) {
    for (int k = 0; k < kNumKeys; ++k) fillKey(handle.kit(), k, std::vector<float>(64, 0.25f));
    for (float v : {-1.6f, -7.0f, 23.5f, 24.0f, 100.0f}) effect.setParameter(kParamAudition, v);
    float in[2][16] = {}, out[2][16];
    float* ins[] = {in[0], in[1]};
    float* outs[] = {out[0], out[1]};
    effect.processReplacing(ins, outs, 16);
    for (int k = 0; k < kNumKeys; ++k) EXPECT_FALSE(handle.kit().keyPlaying[k].load()) << k;
    for (int i = 0; i < 16; ++i) EXPECT_EQ(out[1][i], 0.0f);
    // -0.4 rounds to key 0, 23.4 to key 23.
    effect.setParameter(kParamAudition, -0.4f);
    effect.setParameter(kParamAudition, 23.4f);
    effect.processReplacing(ins, outs, 16);
    EXPECT_TRUE(handle.kit().keyPlaying[0].load());
    EXPECT_TRUE(handle.kit().keyPlaying[23].load());
    EXPECT_EQ(out[1][0], 0.5f);
}

TEST(EffectIdentity, NamesVersionsAndCapabilities) {
    EffectHandle handle;
    Tamblet& e = handle.effect();
    char text[80];
    EXPECT_TRUE(e.getEffectName(text));
    EXPECT_STREQ(text, "Rimbrel");
    EXPECT_TRUE(e.getProductString(text));
    EXPECT_STREQ(text, "Rimbrel");
    EXPECT_TRUE(e.getVendorString(text));
    EXPECT_STREQ(text, "Vantrel");
    EXPECT_EQ(e.getVendorVersion(), 1005);
    EXPECT_EQ(e.Tamblet::getVendorVersion(), 1000);
    EXPECT_EQ(e.getPlugCategory(), kPlugCategSynth);
    EXPECT_EQ(e.getNumMidiInputChannels(), 0);
    EXPECT_EQ(e.getNumMidiOutputChannels(), 0);

    for (const char* yes : {"receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo",
                            "plugAsChannelInsert", "sendVstMidiEvent", "sendVstEvents"}) {
        std::string s = yes;
        EXPECT_EQ(e.canDo(s.data()), 1) << yes;
    }
    for (const char* no : {"ReceiveVstTimeInfo", "", "offline", "receiveVstEvents ",
                           "receiveVst", "bypass"}) {
        std::string s = no;
        EXPECT_EQ(e.canDo(s.data()), -1) << no;
    }
}

TEST(EffectIdentity, ProgramsAndChunks) {
    EffectHandle handle;
    Tamblet& e = handle.effect();
    char text[kVstMaxProgNameLen];
    std::memset(text, 'X', sizeof text);
    EXPECT_TRUE(e.getProgramNameIndexed(0, 0, text));
    EXPECT_STREQ(text, "DefaultProgram  ");
    std::memset(text, 'X', sizeof text);
    EXPECT_FALSE(e.getProgramNameIndexed(0, 1, text));
    EXPECT_EQ(text[0], 'X');
    e.getProgramName(text);
    EXPECT_STREQ(text, "  ");
    char name[] = "Mine";
    e.setProgramName(name);
    e.getProgramName(text);
    EXPECT_STREQ(text, "  ");
    // The kit goes with the project: even an empty kit hands over its state.
    void* data = nullptr;
    EXPECT_GT(e.getChunk(&data), 0);
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(e.getChunk(nullptr), 0);
    EXPECT_EQ(e.setChunk(nullptr, 0), 0);

    VstMidiKeyName key;
    std::memset(&key, 0x55, sizeof key);
    EXPECT_TRUE(e.getMidiKeyName(3, &key));
    EXPECT_STREQ(key.keyName, "    ");
    EXPECT_EQ(key.reserved, 0);
    EXPECT_EQ(key.flags, 0);
}

}  // namespace
}  // namespace rimbrel::test
