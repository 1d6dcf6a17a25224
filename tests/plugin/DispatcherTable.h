// The dispatcher's answer to every request, checked through a record, so the
// same table serves the effect linked into the tests and the built plug-in
// loaded the way a host loads it.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "plugin/vst2/Vst2.h"

namespace rimbrel::test {

inline VstIntPtr send(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                      void* ptr = nullptr, float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

// Every opcode but effClose, with the arguments a host would pass. The
// effect must have no editor (its window requests answer 0 then).
inline void expectDispatcherAnswers(AEffect* e) {
    const bool hasEditor = (e->flags & effFlagsHasEditor) != 0;
    for (VstInt32 opcode = 0; opcode < 90; ++opcode) {
        if (opcode == effClose) continue;
        SCOPED_TRACE("opcode " + std::to_string(opcode));
        char text[512];
        std::memset(text, 0, sizeof text);
        VstIntPtr expected = 0;
        VstIntPtr value = 0;
        VstInt32 index = 0;
        void* ptr = text;
        VstSpeakerArrangement dummy{};
        VstSpeakerArrangement* input = &dummy;
        VstSpeakerArrangement* output = &dummy;
        VstEvents noEvents{};
        void* chunk = nullptr;
        const char* expectedText = "";
        switch (opcode) {
            case effGetProgramName: expectedText = "  "; break;
            case effGetParamLabel: expectedText = "  "; break;
            case effGetParamDisplay: expectedText = "  "; break;
            case effGetParamName: expectedText = " "; break;
            case effEditGetRect:
            case effEditOpen:
            case effEditClose:
            case effEditIdle:
            case effEditKeyDown:
            case effEditKeyUp:
                if (hasEditor) continue;  // checked with the editor's own tests
                ptr = nullptr;
                break;
            case effIdentify: expected = vstFourCharacters('N', 'v', 'E', 'f'); break;
            case effProcessEvents:
                ptr = &noEvents;
                expected = 1;
                break;
            case effCanBeAutomated:
                index = 0;
                expected = 1;
                break;
            case effGetNumProgramCategories: expected = 1; break;
            case effGetProgramNameIndexed:
                expected = 1;
                expectedText = "DefaultProgram  ";
                break;
            case effConnectInput:
            case effConnectOutput: expected = 1; break;
            case effGetPlugCategory: expected = kPlugCategSynth; break;
            case effSetBlockSizeAndSampleRate:
                value = 256;
                expected = 1;
                break;
            case effGetEffectName:
                expected = 1;
                expectedText = "Rimbrel";
                break;
            case effGetVendorString:
                expected = 1;
                expectedText = "Vantrel";
                break;
            case effGetProductString:
                expected = 1;
                expectedText = "Rimbrel";
                break;
            case effGetVendorVersion: expected = 1005; break;
            case effCanDo:
                std::strcpy(text, "receiveVstMidiEvent");
                expectedText = text;
                expected = 1;
                break;
            case effKeysRequired: expected = 1; break;
            case effGetVstVersion: expected = 2400; break;
            case effGetCurrentMidiProgram: expected = -1; break;
            case effGetMidiKeyName:
                ptr = text;
                expected = 1;
                expectedText = "";  // checked below: the name sits at offset 8
                break;
            case effGetSpeakerArrangement:
                value = reinterpret_cast<VstIntPtr>(&input);
                ptr = &output;
                break;
            case effSetTotalSampleToProcess:
                value = 777;
                expected = 777;
                break;
            case effSetBlockSize: value = 256; break;
            case effSetSampleRate: break;
            case effGetChunk: ptr = &chunk; break;  // the size of the state: checked below
            case effSetChunk: break;                // no bytes: refused, the kit left empty
            default: break;
        }
        const bool setsRate = opcode == effSetSampleRate || opcode == effSetBlockSizeAndSampleRate;
        const VstIntPtr answer = send(e, opcode, index, value, ptr, setsRate ? 48000.0f : 0.0f);
        if (opcode == effGetChunk) {
            EXPECT_GT(answer, 0);
            EXPECT_NE(chunk, nullptr);
        } else {
            EXPECT_EQ(answer, expected);
        }
        if (opcode == effGetMidiKeyName) {
            EXPECT_STREQ(reinterpret_cast<VstMidiKeyName*>(text)->keyName, "    ");
        } else if (opcode == effGetSpeakerArrangement) {
            EXPECT_EQ(input, nullptr);
            EXPECT_EQ(output, nullptr);
        } else if (ptr == text) {
            EXPECT_STREQ(text, expectedText);
        }
    }

    // Requests with arguments that change the answer.
    char text[64] = {};
    EXPECT_EQ(send(e, effGetProgramNameIndexed, 1, 0, text), 0);
    EXPECT_STREQ(text, "");
    std::strcpy(text, "offline");
    EXPECT_EQ(send(e, effCanDo, 0, 0, text), -1);
    EXPECT_EQ(send(e, effSetProgram, 0, 1), 0);  // not below the program count: ignored
    EXPECT_EQ(send(e, effGetProgram), 0);
    EXPECT_EQ(send(e, effSetTotalSampleToProcess, 0, -5), -5);
    EXPECT_EQ(send(e, effCanBeAutomated, 57), 1);
    EXPECT_EQ(send(e, effMainsChanged, 0, 1), 0);
    EXPECT_EQ(send(e, effMainsChanged, 0, 0), 0);
    EXPECT_EQ(send(e, -1), 0);
    EXPECT_EQ(send(e, 1000), 0);
    // Requests that take text must not crash on a missing pointer.
    for (VstInt32 opcode : {effGetProgramName, effGetParamLabel, effGetParamDisplay,
                            effGetParamName, effGetEffectName, effGetVendorString,
                            effGetProductString, effCanDo, effGetProgramNameIndexed,
                            effGetMidiKeyName, effGetSpeakerArrangement, effProcessEvents,
                            effSetProgramName, effGetChunk})
        send(e, opcode, 0, 0, nullptr);
}

}  // namespace rimbrel::test
