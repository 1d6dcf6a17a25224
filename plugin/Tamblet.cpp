#include "plugin/Tamblet.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kit/Diagnostics.h"

namespace rimbrel {

// Writes text into a host string of kVstMaxParamStrLen bytes, cut if longer.
static void writeParamText(char* dest, const char* text) {
    if (!dest) return;
    std::snprintf(dest, kVstMaxParamStrLen, "%.*s", int(kVstMaxParamStrLen - 1), text);
}

Tamblet::Tamblet(audioMasterCallback master) : AudioEffectX(master, kNumPrograms, kNumParams) {
    setNumInputs(2);
    setNumOutputs(2);
    canProcessReplacing();
    isSynth();
    setUniqueID(kUniqueId);
    programsAreChunks();
    // The kit's constructor has set every key empty with the default settings
    // (pitch 0, one-shot, forward, volume 1.0), nothing sounding, and the note
    // queue empty, and no key holding any audio memory.
}

Tamblet::~Tamblet() = default;

void* Tamblet::operator new(std::size_t size) noexcept { return allocateZeroed(size); }
void* Tamblet::operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocateZeroed(size);
}
void Tamblet::operator delete(void* p) noexcept { freeZeroed(p); }
void Tamblet::operator delete(void* p, const std::nothrow_t&) noexcept { freeZeroed(p); }

// Neither changes anything: processing does not depend on the host's state,
// and the effect never asks the host for MIDI (canDo says it takes events).
void Tamblet::suspend() {}
void Tamblet::resume() {}

// Keys are stored at 44100 frames per second; at another host rate each output
// frame advances 44100 / rate stored frames on top of the key's pitch. At
// 44100 Hz the step is exactly 1.0, so playback is what it always was.
void Tamblet::setSampleRate(float rate) {
    AudioEffectX::setSampleRate(rate);
    if (!(rate >= kMinHostRate && rate <= kMaxHostRate)) return;
    playbackStep_.store(kFramesPerSecond / double(rate), std::memory_order_relaxed);
}

// ---- parameters ----

void Tamblet::setParameter(VstInt32 index, float value) {
    int k = 0;
    if (index == kParamAudition) {
        k = truncToInt(double(value) + 0.5);
        if (!isKeyIndex(k)) return;
        if (isProcessing()) startKey(k);
        else kit.requestAudition(k);
    } else if (keyOfIndex(index, kParamPitch, k)) {
        kit.keyPitch[k].store(param::pitchFromParameter(value), std::memory_order_relaxed);
    } else if (keyOfIndex(index, kParamPlayMode, k)) {
        kit.keyPlayMode[k].store(param::playModeFromParameter(value), std::memory_order_relaxed);
    } else if (keyOfIndex(index, kParamReverse, k)) {
        kit.keyReverse[k].store(param::reverseFromParameter(value), std::memory_order_relaxed);
    } else if (keyOfIndex(index, kParamVolume, k)) {
        // A gain that is not a number or infinite (a value of NaN, an
        // infinity, or one so large its square overflows) would put NaN into
        // the host's mix (infinity times a silent frame): such a value
        // leaves the volume as it was.
        const float volume = param::volumeFromParameter(value);
        if (std::isfinite(volume)) kit.keyVolume[k].store(volume, std::memory_order_relaxed);
    } else if (keyOfIndex(index, kParamPan, k)) {
        const float pan = param::panFromParameter(value);
        if (!std::isnan(pan)) kit.keyPan[k].store(pan, std::memory_order_relaxed);
    } else if (index == kParamTarget) {
        if (!std::isnan(value)) kit.target.store(param::targetFromParameter(value), std::memory_order_relaxed);
    }
}

float Tamblet::getParameter(VstInt32 index) {
    int k = 0;
    if (keyOfIndex(index, kParamPitch, k))
        return param::pitchToParameter(kit.keyPitch[k].load(std::memory_order_relaxed));
    if (keyOfIndex(index, kParamPlayMode, k))
        return param::playModeToParameter(kit.keyPlayMode[k].load(std::memory_order_relaxed));
    if (keyOfIndex(index, kParamReverse, k))
        return param::reverseToParameter(kit.keyReverse[k].load(std::memory_order_relaxed));
    if (keyOfIndex(index, kParamVolume, k))
        return param::volumeToParameter(kit.keyVolume[k].load(std::memory_order_relaxed));
    if (keyOfIndex(index, kParamPan, k))
        return param::panToParameter(kit.keyPan[k].load(std::memory_order_relaxed));
    if (index == kParamTarget) return param::targetToParameter(kit.target.load(std::memory_order_relaxed));
    return 0.0f;
}

void Tamblet::getParameterDisplay(VstInt32 index, char* text) {
    if (!text) return;
    char buf[32];
    int k = 0;
    if (keyOfIndex(index, kParamPitch, k)) {
        param::pitchText(kit.keyPitch[k].load(std::memory_order_relaxed), buf, sizeof buf);
        writeParamText(text, buf);
    } else if (keyOfIndex(index, kParamPlayMode, k)) {
        // A mode outside the table has no text: the host's string stays as it was.
        if (const char* shown = param::playModeText(kit.keyPlayMode[k].load(std::memory_order_relaxed)))
            writeParamText(text, shown);
    } else if (keyOfIndex(index, kParamReverse, k)) {
        writeParamText(text, param::reverseText(kit.keyReverse[k].load(std::memory_order_relaxed)));
    } else if (keyOfIndex(index, kParamVolume, k)) {
        param::volumeText(kit.keyVolume[k].load(std::memory_order_relaxed), buf, sizeof buf);
        writeParamText(text, buf);
    } else if (keyOfIndex(index, kParamPan, k)) {
        param::panText(kit.keyPan[k].load(std::memory_order_relaxed), buf, sizeof buf);
        writeParamText(text, buf);
    } else if (index == kParamTarget) {
        writeParamText(text, param::targetText(kit.target.load(std::memory_order_relaxed)));
    } else {
        writeParamText(text, "  ");
    }
}

void Tamblet::getParameterName(VstInt32, char* text) { writeParamText(text, " "); }
void Tamblet::getParameterLabel(VstInt32, char* label) { writeParamText(label, "  "); }

// ---- programs and chunks ----

void Tamblet::setProgram(VstInt32 program) { curProgram = program; }
void Tamblet::setProgramName(char*) {}

void Tamblet::getProgramName(char* name) {
    if (name) std::snprintf(name, kVstMaxProgNameLen, "%s", "  ");
}

bool Tamblet::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    if (index >= 1 || !text) return false;
    std::snprintf(text, kVstMaxProgNameLen, "%s", "DefaultProgram  ");
    return true;
}

// The kit is saved with the host's project: audio, names, settings, target.
VstInt32 Tamblet::getChunk(void** data, bool) {
    if (!data) return 0;
    *data = nullptr;
    std::string why;
    const std::vector<uint8_t>* state = savedState_.save(kit, savedKeyNames(), why);
    if (state && state->size() > std::size_t(INT32_MAX)) {
        why = "kit state not written: too large";
        state = nullptr;
    }
    if (!state) {
        std::fprintf(stderr, "[%s] %s\n", kLogTag, why.c_str());
        return 0;
    }
    *data = const_cast<uint8_t*>(state->data());
    return VstInt32(state->size());
}

VstInt32 Tamblet::setChunk(void* data, VstInt32 byteSize, bool) {
    std::string why;
    const std::size_t size = data && byteSize > 0 ? std::size_t(byteSize) : 0;
    const bool ok = LiveKitState::restore(kit, savedKeyNames(), static_cast<const uint8_t*>(data), size, why);
    if (!ok) std::fprintf(stderr, "[%s] %s\n", kLogTag, why.c_str());
    kitRestored();
    return ok ? 1 : 0;
}

// ---- identity ----

bool Tamblet::getEffectName(char* name) {
    std::snprintf(name, kVstMaxEffectNameLen, "%s", "Rimbrel");
    return true;
}

bool Tamblet::getVendorString(char* text) {
    std::snprintf(text, kVstMaxVendorStrLen, "%s", "Vantrel");
    return true;
}

bool Tamblet::getProductString(char* text) {
    std::snprintf(text, kVstMaxProductStrLen, "%s", "Rimbrel");
    return true;
}

VstInt32 Tamblet::getVendorVersion() { return 1000; }

VstInt32 Tamblet::canDo(char* text) {
    static const char* const kCanDo[] = {"receiveVstEvents", "receiveVstMidiEvent",
                                         "receiveVstTimeInfo", "plugAsChannelInsert",
                                         "sendVstMidiEvent", "sendVstEvents"};
    if (!text) return -1;
    for (const char* s : kCanDo)
        if (std::strcmp(text, s) == 0) return 1;
    return -1;
}

VstPlugCategory Tamblet::getPlugCategory() { return kPlugCategSynth; }

bool Tamblet::getMidiKeyName(VstInt32, VstMidiKeyName* keyName) {
    if (!keyName) return false;
    std::memset(keyName->keyName, 0, sizeof keyName->keyName);
    std::memcpy(keyName->keyName, "    ", 4);
    keyName->reserved = 0;
    keyName->flags = 0;
    return true;
}

}  // namespace rimbrel
