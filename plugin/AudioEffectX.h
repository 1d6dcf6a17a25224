// The extended VST 2.x requests on top of AudioEffect: names, capabilities,
// events, categories and the rest of the opcode table, plus thin wrappers for
// the host callback's requests. No state of its own.
#pragma once

#include "plugin/AudioEffect.h"

namespace rimbrel {

class AudioEffectX : public AudioEffect {
public:
    AudioEffectX(audioMasterCallback master, VstInt32 programs, VstInt32 params)
        : AudioEffect(master, programs, params) {}

    // Every opcode 0..79 is answered; anything else answers 0. Any thread,
    // as AudioEffect::dispatcher: the rules of each operation apply.
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                         float opt) override;

    // ---- requests from the host ----
    // effProcessEvents: the audio thread, once per block right before
    // processReplacing. It may touch the note queue (owned by the audio
    // thread) and nothing the UI thread writes.
    virtual VstInt32 processEvents(VstEvents* events) { return 0; }
    // Everything below answers from constants and writes only into the
    // host's buffers: any thread, scanners before effOpen included.
    // startProcess / stopProcess may come from the audio thread.
    virtual bool canParameterBeAutomated(VstInt32 index) { return true; }
    virtual bool string2parameter(VstInt32 index, char* text) { return false; }
    virtual VstInt32 getNumCategories() { return 1; }
    virtual bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) {
        return false;
    }
    virtual bool copyProgram(VstInt32 destination) { return false; }
    virtual VstPlugCategory getPlugCategory();
    virtual bool setSpeakerArrangement(VstSpeakerArrangement* input,
                                       VstSpeakerArrangement* output) {
        return false;
    }
    virtual bool setBypass(bool onOff) { return false; }
    virtual bool getEffectName(char* name) { return false; }
    virtual bool getVendorString(char* text) { return false; }
    virtual bool getProductString(char* text) { return false; }
    virtual VstInt32 getVendorVersion() { return 0; }
    virtual VstIntPtr vendorSpecific(VstInt32 lArg, VstIntPtr lArg2, void* ptrArg, float floatArg) {
        return 0;
    }
    virtual VstInt32 canDo(char* text) { return 0; }
    virtual VstInt32 getTailSize() { return 0; }
    virtual VstInt32 getVstVersion() { return kVstVersion; }
    virtual bool keysRequired() { return false; }
    virtual VstInt32 getCurrentMidiProgram(VstInt32 channel, void* currentProgram) { return -1; }
    virtual bool getMidiKeyName(VstInt32 channel, VstMidiKeyName* keyName) { return false; }
    virtual bool beginSetProgram() { return false; }
    virtual bool endSetProgram() { return false; }
    // Hands out the arrangements' addresses; the answer of the request is 0.
    virtual bool getSpeakerArrangement(VstSpeakerArrangement** input,
                                       VstSpeakerArrangement** output);
    virtual VstInt32 startProcess() { return 0; }
    virtual VstInt32 stopProcess() { return 0; }
    virtual VstInt32 setTotalSampleToProcess(VstInt32 value) { return value; }
    virtual VstInt32 getNumMidiInputChannels() { return 0; }
    virtual VstInt32 getNumMidiOutputChannels() { return 0; }

    // ---- the record ----
    virtual void isSynth(bool state = true);
    virtual void noTail(bool state = true);

    // ---- host callback wrappers (each answers 0 without a callback) ----
    // Made from the UI or main thread (the editor asks about its window
    // size here); none from the audio thread.
    virtual bool canHostDo(char* text);
    virtual bool sizeWindow(VstInt32 width, VstInt32 height);
    virtual bool wantEvents(VstInt32 filter = 1);
    virtual void* getTimeInfo(VstInt32 filter);
    virtual bool sendVstEventsToHost(VstEvents* events);
    virtual bool ioChanged();
    virtual VstInt32 getInputLatency();
    virtual VstInt32 getOutputLatency();
    virtual VstInt32 getCurrentProcessLevel();
    virtual VstInt32 getAutomationState();
    virtual bool getHostVendorString(char* text);
    virtual bool getHostProductString(char* text);
    virtual VstInt32 getHostVendorVersion();
    virtual VstIntPtr hostVendorSpecific(VstInt32 lArg1, VstIntPtr lArg2, void* ptrArg,
                                         float floatArg);
    virtual VstInt32 getHostLanguage();
    virtual bool updateDisplay();
    virtual bool beginEdit(VstInt32 index);
    virtual bool endEdit(VstInt32 index);
    // Asks the host for its sample rate and block size and keeps the answers.
    virtual float updateSampleRate();
    virtual VstInt32 updateBlockSize();
};

}  // namespace rimbrel
