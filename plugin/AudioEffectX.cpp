#include "plugin/AudioEffectX.h"

#include "plugin/AEffEditor.h"

namespace rimbrel {

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
    switch (opcode) {
        case effProcessEvents: return processEvents(static_cast<VstEvents*>(ptr));
        case effCanBeAutomated: return canParameterBeAutomated(index) ? 1 : 0;
        case effString2Parameter: return 0;
        case effGetNumProgramCategories: return getNumCategories();
        case effGetProgramNameIndexed:
            if (!ptr) return 0;
            return getProgramNameIndexed(VstInt32(value), index, static_cast<char*>(ptr)) ? 1 : 0;
        case effCopyProgram: return 0;
        case effConnectInput:
        case effConnectOutput: return 1;
        case effGetInputProperties:
        case effGetOutputProperties: return 0;
        case effGetPlugCategory: return getPlugCategory();
        case effGetCurrentPosition:
        case effGetDestinationBuffer:
        case effOfflineNotify:
        case effOfflinePrepare:
        case effOfflineRun:
        case effProcessVarIo:
        case effSetSpeakerArrangement:
            return 0;
        case effSetBlockSizeAndSampleRate:
            setBlockSize(VstInt32(value));
            setSampleRate(opt);
            return 1;
        case effSetBypass: return 0;
        case effGetEffectName:
            return ptr && getEffectName(static_cast<char*>(ptr)) ? 1 : 0;
        case effGetErrorText: return 0;
        case effGetVendorString:
            return ptr && getVendorString(static_cast<char*>(ptr)) ? 1 : 0;
        case effGetProductString:
            return ptr && getProductString(static_cast<char*>(ptr)) ? 1 : 0;
        case effGetVendorVersion: return getVendorVersion();
        case effVendorSpecific: return 0;
        case effCanDo: return ptr ? canDo(static_cast<char*>(ptr)) : 0;
        case effGetTailSize:
        case effIdle:
        case effGetIcon:
        case effSetViewPosition:
        case effGetParameterProperties:
            return 0;
        case effKeysRequired: return keysRequired() ? 0 : 1;
        case effGetVstVersion: return getVstVersion();
        case effEditKeyDown:
        case effEditKeyUp: {
            if (!editor) return 0;
            VstKeyCode key{};
            key.character = index;
            key.virt = static_cast<unsigned char>(value & 0xFF);
            key.modifier = static_cast<unsigned char>(static_cast<int>(opt));
            if (!editor->isOpen()) return 0;
            const bool used = opcode == effEditKeyDown ? editor->onKeyDown(key)
                                                       : editor->onKeyUp(key);
            return used ? 1 : 0;
        }
        case effSetEditKnobMode:
        case effGetMidiProgramName:
            return 0;
        case effGetCurrentMidiProgram: return getCurrentMidiProgram(index, ptr);
        case effGetMidiProgramCategory:
        case effHasMidiProgramsChanged:
            return 0;
        case effGetMidiKeyName:
            return ptr && getMidiKeyName(index, static_cast<VstMidiKeyName*>(ptr)) ? 1 : 0;
        case effBeginSetProgram:
        case effEndSetProgram:
            return 0;
        case effGetSpeakerArrangement:
            getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                  static_cast<VstSpeakerArrangement**>(ptr));
            return 0;
        case effShellGetNextPlugin:
        case effStartProcess:
        case effStopProcess:
            return 0;
        case effSetTotalSampleToProcess: return value;
        case effSetPanLaw:
        case effBeginLoadBank:
        case effBeginLoadProgram:
        case effSetProcessPrecision:
        case effGetNumMidiInputChannels:
        case effGetNumMidiOutputChannels:
            return 0;
        default: return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

VstPlugCategory AudioEffectX::getPlugCategory() {
    return (cEffect.flags & effFlagsIsSynth) ? kPlugCategSynth : kPlugCategUnknown;
}

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** input,
                                         VstSpeakerArrangement** output) {
    if (input) *input = nullptr;
    if (output) *output = nullptr;
    return false;
}

void AudioEffectX::isSynth(bool state) {
    if (state) cEffect.flags |= effFlagsIsSynth;
    else cEffect.flags &= ~effFlagsIsSynth;
}

void AudioEffectX::noTail(bool state) {
    if (state) cEffect.flags |= effFlagsNoSoundInStop;
    else cEffect.flags &= ~effFlagsNoSoundInStop;
}

bool AudioEffectX::canHostDo(char* text) { return callHost(audioMasterCanDo, 0, 0, text) != 0; }

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
    return callHost(audioMasterSizeWindow, width, height) != 0;
}

bool AudioEffectX::wantEvents(VstInt32 filter) {
    return callHost(audioMasterWantMidi, 0, filter) != 0;
}

void* AudioEffectX::getTimeInfo(VstInt32 filter) {
    return reinterpret_cast<void*>(callHost(audioMasterGetTime, 0, filter));
}

bool AudioEffectX::sendVstEventsToHost(VstEvents* events) {
    return callHost(audioMasterProcessEvents, 0, 0, events) == 1;
}

bool AudioEffectX::ioChanged() { return callHost(audioMasterIOChanged) != 0; }

VstInt32 AudioEffectX::getInputLatency() {
    return VstInt32(callHost(audioMasterGetInputLatency));
}

VstInt32 AudioEffectX::getOutputLatency() {
    return VstInt32(callHost(audioMasterGetOutputLatency));
}

VstInt32 AudioEffectX::getCurrentProcessLevel() {
    return VstInt32(callHost(audioMasterGetCurrentProcessLevel));
}

VstInt32 AudioEffectX::getAutomationState() {
    return VstInt32(callHost(audioMasterGetAutomationState));
}

bool AudioEffectX::getHostVendorString(char* text) {
    return callHost(audioMasterGetVendorString, 0, 0, text) != 0;
}

bool AudioEffectX::getHostProductString(char* text) {
    return callHost(audioMasterGetProductString, 0, 0, text) != 0;
}

VstInt32 AudioEffectX::getHostVendorVersion() {
    return VstInt32(callHost(audioMasterGetVendorVersion));
}

VstIntPtr AudioEffectX::hostVendorSpecific(VstInt32 lArg1, VstIntPtr lArg2, void* ptrArg,
                                           float floatArg) {
    return callHost(audioMasterVendorSpecific, lArg1, lArg2, ptrArg, floatArg);
}

VstInt32 AudioEffectX::getHostLanguage() { return VstInt32(callHost(audioMasterGetLanguage)); }

bool AudioEffectX::updateDisplay() { return callHost(audioMasterUpdateDisplay) != 0; }

bool AudioEffectX::beginEdit(VstInt32 index) { return callHost(audioMasterBeginEdit, index) != 0; }

bool AudioEffectX::endEdit(VstInt32 index) { return callHost(audioMasterEndEdit, index) != 0; }

float AudioEffectX::updateSampleRate() {
    const VstIntPtr rate = callHost(audioMasterGetSampleRate);
    if (rate > 0) sampleRate = float(rate);
    return sampleRate;
}

VstInt32 AudioEffectX::updateBlockSize() {
    const VstIntPtr size = callHost(audioMasterGetBlockSize);
    if (size > 0) blockSize = VstInt32(size);
    return blockSize;
}

}  // namespace rimbrel
