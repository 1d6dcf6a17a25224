// The plug-in side of the VST 2.4 record: AudioEffect fills the host record
// once, turns the record's entries into calls of virtual operations, and wraps
// the host callback. AudioEffectX (AudioEffectX.h) adds the extended requests.
//
// Threads. Hosts do not agree on which thread makes which call, so every
// entry below says which threads may reach it and what it may touch. This
// layer itself neither locks nor serialises: two threads may be inside the
// effect at once. The threads real Linux hosts use:
//  - The audio thread: processReplacing, effProcessEvents once per block
//    right before it, and also effMainsChanged (suspend/resume) and
//    setParameter (automation). Nothing it reaches may allocate, lock, block
//    or call into the window system.
//  - The UI thread: whichever thread makes the editor requests (effEditOpen,
//    effEditGetRect, effEditIdle, effEditClose, effEditKeyDown/Up). That is
//    often not the host's main thread: Ardour runs its editors on a thread
//    of their own. The editor, the loader and the exports run here.
//  - The host's main thread: effOpen, effClose, rate and block size, names
//    and the other requests that only read. Plug-in scanners (often a
//    separate process) make these calls too, some of them before effOpen,
//    and then effMainsChanged(0) and effClose.
#pragma once

#include "plugin/vst2/Vst2.h"

namespace rimbrel {

class AEffEditor;

class AudioEffect {
public:
    AudioEffect(audioMasterCallback master, VstInt32 programs, VstInt32 params);
    // Deletes the editor.
    virtual ~AudioEffect();
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // ---- requests from the host ----
    // Any thread: each opcode goes to the operation below that answers it,
    // on the caller's thread, and carries that operation's thread rules.
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt);
    // effOpen / effClose: the host's main thread, with no other call into
    // this instance in flight (the host has stopped processing and closed
    // the editor before effClose, which then deletes the effect).
    virtual void open() {}
    virtual void close() {}
    // effMainsChanged (0: suspend, else resume): any thread, the audio thread
    // included, between blocks. Audio-thread rules apply: no allocation,
    // locks or window system.
    virtual void suspend() {}
    virtual void resume() {}

    // effSetSampleRate / effSetBlockSize: the host's main thread, usually
    // while suspended, though some hosts send them while processing. The
    // fields here are plain: read them only on the thread that sets them
    // (the effect keeps what its audio thread needs in atomics of its own).
    virtual float getSampleRate() { return sampleRate; }
    virtual VstInt32 getBlockSize() { return blockSize; }
    virtual void setSampleRate(float rate) { sampleRate = rate; }
    virtual void setBlockSize(VstInt32 size) { blockSize = size; }

    // The audio thread only, one block at a time: the state the audio thread
    // owns (kit/Kit.h), and the rest of the kit as its rewrite protocol allows.
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
    // Not offered (the record has no double-precision flag): does nothing.
    virtual void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) {}

    // Any thread, while any other call runs: the audio thread (automation,
    // and the effect's own note starts), the UI thread (the editor, a host's
    // generic editor), the main thread. They touch only values that are
    // safe to share: atomics, or requests the audio thread carries out.
    virtual void setParameter(VstInt32 index, float value) {}
    virtual float getParameter(VstInt32 index) { return 0.0f; }
    // Called by the plug-in (the UI thread) to set a value and tell the host.
    virtual void setParameterAutomated(VstInt32 index, float value);

    // Programs, names, labels, display texts and chunks: the host's main or
    // UI thread, and scanners before effOpen; a host may ask for a display
    // text while the audio thread plays. They read constants or atomics and
    // write only into the host's buffer.
    virtual VstInt32 getProgram() { return curProgram; }
    virtual void setProgram(VstInt32 program) { curProgram = program; }
    virtual void setProgramName(char* name) {}
    virtual void getProgramName(char* name) {
        if (name) *name = 0;
    }
    virtual void getParameterLabel(VstInt32 index, char* label) {
        if (label) *label = 0;
    }
    virtual void getParameterDisplay(VstInt32 index, char* text) {
        if (text) *text = 0;
    }
    virtual void getParameterName(VstInt32 index, char* text) {
        if (text) *text = 0;
    }
    virtual VstInt32 getChunk(void** data, bool isPreset = false) { return 0; }
    virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset = false) { return 0; }

    // ---- the record ----
    // Filled while the effect is constructed, before the host sees it.
    virtual void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
    virtual void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
    virtual void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
    virtual void canProcessReplacing(bool state = true);
    virtual void canDoubleReplacing(bool state = true);
    virtual void programsAreChunks(bool state = true);
    virtual void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }

    // ---- editor ----
    // Called by the editor's base while it is constructed; the effect then
    // owns the editor and the record carries the has-editor flag.
    virtual void setEditor(AEffEditor* editor);
    virtual AEffEditor* getEditor() const { return editor; }

    // ---- host callback ----
    // Calls the plug-in makes into the host, from the UI or main thread;
    // none is made from the audio thread.
    virtual VstInt32 getMasterVersion();
    virtual VstInt32 getCurrentUniqueId();
    virtual void masterIdle();

    AEffect* getAeffect() { return &cEffect; }
    audioMasterCallback getAudioMaster() const { return audioMaster; }

    // The record's entries: each finds the effect through the record's object.
    // The host calls them through the record's pointers, on the threads the
    // operations above name: dispatchEffectClass from any thread (no
    // exception leaves it; effClose deletes the effect), the parameter
    // entries from any thread, the process entries from the audio thread.
    static VstIntPtr dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index,
                                         VstIntPtr value, void* ptr, float opt);
    static float getParameterClass(AEffect* e, VstInt32 index);
    static void setParameterClass(AEffect* e, VstInt32 index, float value);
    static void processClass(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames);
    static void processClassReplacing(AEffect* e, float** inputs, float** outputs,
                                      VstInt32 sampleFrames);
    static void processClassDoubleReplacing(AEffect* e, double** inputs, double** outputs,
                                            VstInt32 sampleFrames);

protected:
    // Calls the host with this effect's record; 0 when there is no callback.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);

    audioMasterCallback audioMaster;
    AEffEditor* editor = nullptr;
    float sampleRate = 44100.0f;
    VstInt32 blockSize = 1024;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 curProgram = 0;
    AEffect cEffect;
};

}  // namespace rimbrel
