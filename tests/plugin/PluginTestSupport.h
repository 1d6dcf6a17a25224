// Helpers shared by the plug-in tests: a minimal host, an effect made the way
// a host makes it, and note lists for effProcessEvents.
#pragma once

#include <cstring>
#include <vector>

#include "tests/KeyAudioSupport.h"
#include "instrument/PluginEntry.h"
#include "plugin/Tamblet.h"

namespace rimbrel::test {

inline VstIntPtr testHostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

// An effect created through the entry point and closed through effClose.
class EffectHandle {
public:
    EffectHandle() : effect_(createEffect(testHostCallback)) {}
    ~EffectHandle() { close(); }
    EffectHandle(const EffectHandle&) = delete;
    EffectHandle& operator=(const EffectHandle&) = delete;

    AEffect* record() const { return effect_; }
    Tamblet& effect() const {
        return *static_cast<Tamblet*>(static_cast<AudioEffect*>(effect_->object));
    }
    Kit& kit() const { return effect().kit; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) const {
        return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
    }
    VstIntPtr close() {
        VstIntPtr answer = 0;
        if (effect_) answer = dispatch(effClose);
        effect_ = nullptr;
        return answer;
    }

private:
    AEffect* effect_;
};

// A list of MIDI events in the host's layout.
class MidiList {
public:
    void add(VstInt32 deltaFrames, int status, int data1, int data2) {
        VstMidiEvent e{};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = deltaFrames;
        e.midiData[0] = char(status);
        e.midiData[1] = char(data1);
        e.midiData[2] = char(data2);
        events_.push_back(e);
    }
    void noteOn(VstInt32 deltaFrames, int note, int channel = 1, int velocity = 100) {
        add(deltaFrames, 0x90 | ((channel - 1) & 0x0F), note, velocity);
    }
    void noteOff(VstInt32 deltaFrames, int note, int channel = 1) {
        add(deltaFrames, 0x80 | ((channel - 1) & 0x0F), note, 64);
    }
    bool empty() const { return events_.empty(); }
    void clear() { events_.clear(); }

    // The list as effProcessEvents takes it; valid until the next change.
    VstEvents* vstEvents() {
        storage_.assign(sizeof(VstEvents) / sizeof(VstIntPtr) + events_.size() + 2, 0);
        auto* list = reinterpret_cast<VstEvents*>(storage_.data());
        list->numEvents = VstInt32(events_.size());
        VstEvent** const slots = list->events + 0;  // the record declares two; the storage holds more
        for (size_t i = 0; i < events_.size(); ++i)
            slots[i] = reinterpret_cast<VstEvent*>(&events_[i]);
        return list;
    }

private:
    std::vector<VstMidiEvent> events_;
    std::vector<VstIntPtr> storage_;
};

inline void fillKey(Kit& kit, int k, const std::vector<float>& frames) { setKeyAudio(kit, k, frames); }

// Makes key k a stereo key of left and right (as many frames each).
inline void fillStereoKey(Kit& kit, int k, const std::vector<float>& left, const std::vector<float>& right) {
    setKeyAudio(kit, k, left, right);
}

// Key k's settings through the parameter map, as the editor sets them.
inline void setPitch(AudioEffect& e, int k, int semitones) {
    e.setParameter(kParamPitch + k, float(semitones + 48) / 96.0f);
}
inline void setPlayMode(AudioEffect& e, int k, int mode) {
    e.setParameter(kParamPlayMode + k, float(mode) * 0.5f);
}
inline void setReverse(AudioEffect& e, int k, bool reverse) {
    e.setParameter(kParamReverse + k, reverse ? 1.0f : 0.0f);
}
inline void setPan(AudioEffect& e, int k, float pan) { e.setParameter(kParamPan + k, param::panToParameter(pan)); }
inline void setTarget(AudioEffect& e, KitTarget target) {
    e.setParameter(kParamTarget, param::targetToParameter(target));
}

}  // namespace rimbrel::test
