// The host-call check: an effect created through the plug-in's entry, with a
// few short keys, driven by a script read from the input. The script may do
// anything a host can: event lists of any content (any status bytes, frames
// before, inside and past the block, too many notes, wrong sizes, other
// event types), blocks of 0..4096 frames (a few up to 4999, and negative
// counts), parameter values of every kind (NaN, infinities, out of range),
// suspend and resume, odd sample rates and block sizes, parameter texts.
// Every block's outputs must be finite and no louder than the input plus one
// full-scale sample per key.
#include "tests/KeyAudioSupport.h"
#include "tests/fuzz/FuzzChecks.h"

#include "kit/Kit.h"
#include "instrument/PluginEntry.h"
#include "plugin/Tamblet.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace rimbrel::fuzz {

namespace {

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

// Reads the script; past the end every value is 0.
class Script {
public:
    Script(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return pos_ >= size_; }
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t u16() { return uint16_t(byte() | byte() << 8); }
    uint32_t u32() { return uint32_t(u16()) | uint32_t(u16()) << 16; }
    int32_t i32() { return int32_t(u32()); }
    float anyFloat() {
        static const float kSpecial[] = {0.0f, 0.5f, 1.0f, -1.0f, 2.0f, 1e30f, -1e30f, 1e-40f,
                                         INFINITY, -INFINITY, NAN, 0.999f, 23.4f, -0.6f, 3e9f, 65535.0f};
        const uint8_t how = byte();
        if (how < 128) return kSpecial[how % 16];
        if (how < 192) return float(byte()) / 255.0f;
        const uint32_t bits = u32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    int32_t frameCount() {
        const uint8_t how = byte();
        if (how < 200) return int32_t(u16() % 4097);
        if (how < 230) return int32_t(how % 8);
        return i32() % 5000;  // negative counts too
    }
    int32_t deltaFrames(int32_t block) {
        const uint8_t how = byte();
        if (how < 160) return int32_t(u16() % 4097);
        if (how < 200) return int32_t(how % 16);
        if (how < 220) return block;
        return i32();
    }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// A key with a short signal, written as the loader would: two silent lead
// frames, then the audio, then silence.
void fillKey(Kit& kit, int k, int32_t length, float amplitude) {
    std::vector<float> frames(std::size_t(length > 0 ? length : 0), 0.0f);
    for (int32_t i = 2; i + 3 < length && i < 4096; ++i) frames[std::size_t(i)] = amplitude * float(std::sin(0.05 * i));
    test::setKeyAudio(kit, k, frames);
}

constexpr int kMaxOps = 96;
constexpr int kMaxEvents = 300;

// One effect for the whole run: creating one (the editor's bitmaps) costs
// far more than a script. Every input starts it over
// from the state of a fresh effect (below), so that an input replays alike.
AEffect* theEffect() {
    static AEffect* effect = createEffect(hostCallback);
    return effect;
}

}  // namespace

std::string checkMidiInput(const uint8_t* data, std::size_t size) {
    AEffect* effect = theEffect();
    if (!effect) return "the entry created no effect";
    Kit& kit = static_cast<Tamblet*>(static_cast<AudioEffect*>(effect->object))->kit;

    // A fresh kit (settings, playback state, note queue, rewrite marks, no
    // key audio): the last input's keys are freed with the kit they were in.
    kit.~Kit();
    ::new (&kit) Kit();
    // Keys of every short kind: one frame, two, three, a usual short one,
    // full scale, and one of the full 529200 frames.
    fillKey(kit, 0, 1000, 0.8f);
    fillKey(kit, 1, 2, 0.0f);
    fillKey(kit, 2, 1, 0.0f);
    fillKey(kit, 3, 3, 0.0f);
    fillKey(kit, 5, 4000, 1.0f);
    fillKey(kit, 12, kMaxKeyFrames, 0.5f);
    fillKey(kit, 23, 64, -1.0f);

    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    effect->dispatcher(effect, effSetBlockSize, 0, 1024, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

    Script script(data, size);
    int32_t lastBlock = 1024;
    for (int op = 0; op < kMaxOps && !script.done(); ++op) {
        switch (script.byte() % 9) {
            case 0:
            case 1: {  // an event list
                int count = script.byte();
                if (count > 250) count = kMaxEvents;
                std::vector<std::unique_ptr<VstEvent>> events;
                std::vector<VstEvent*> pointers;
                for (int i = 0; i < count; ++i) {
                    const uint8_t kind = script.byte();
                    if (kind >= 250) {
                        pointers.push_back(nullptr);
                        continue;
                    }
                    auto e = std::make_unique<VstEvent>();
                    std::memset(e.get(), 0, sizeof *e);
                    e->type = kind < 200 ? kVstMidiType : int32_t(kind % 8);
                    e->byteSize = kind % 5 == 0 ? script.i32() : int32_t(sizeof(VstMidiEvent) - 8);
                    e->deltaFrames = script.deltaFrames(lastBlock);
                    auto* midi = reinterpret_cast<VstMidiEvent*>(e.get());
                    const uint8_t status = script.byte();
                    // Mostly notes on channel 1 of the keys' range, to reach
                    // the voices; anything else as well.
                    midi->midiData[0] = char(status < 128 ? (status & 1 ? 0x90 : 0x80) : status);
                    const uint8_t note = script.byte();
                    midi->midiData[1] = char(note < 128 ? 53 + note % 24 : note);
                    midi->midiData[2] = char(script.byte());
                    midi->midiData[3] = char(script.byte());
                    pointers.push_back(e.get());
                    events.push_back(std::move(e));
                }
                // VstEvents holds two pointers in place; longer lists run on.
                const std::size_t bytes = offsetof(VstEvents, events) + sizeof(VstEvent*) * std::max<std::size_t>(pointers.size(), 2);
                std::unique_ptr<uint8_t[]> block(new uint8_t[bytes]());
                auto* list = reinterpret_cast<VstEvents*>(block.get());
                list->numEvents = VstInt32(pointers.size());
                if (!pointers.empty()) std::memcpy(list->events, pointers.data(), sizeof(VstEvent*) * pointers.size());
                if (script.byte() == 255) list->numEvents = -1;
                effect->dispatcher(effect, effProcessEvents, 0, 0, list, 0.0f);
                break;
            }
            case 2:
            case 3: {  // a block
                const int32_t frames = script.frameCount();
                const std::size_t n = frames > 0 ? std::size_t(frames) : 0;
                const uint8_t how = script.byte();
                std::vector<float> in1(n), in2(n), out1(n), out2(n);
                const float level = float(how % 16) / 8.0f - 1.0f;  // -1..+0.875
                for (std::size_t i = 0; i < n; ++i) {
                    in1[i] = level * float((i % 7) + 1) / 7.0f;
                    in2[i] = -level * float((i % 5) + 1) / 5.0f;
                }
                const std::vector<float> in2Copy = in2;
                float* inputs[2] = {in1.data(), in2.data()};
                float* outputs[2] = {out1.data(), out2.data()};
                if (n == 0) inputs[0] = inputs[1] = outputs[0] = outputs[1] = nullptr;
                const bool inPlace = how & 16;
                if (inPlace) {
                    outputs[0] = inputs[0];
                    outputs[1] = inputs[1];
                }
                effect->processReplacing(effect, inputs, outputs, frames);
                lastBlock = frames;
                for (std::size_t i = 0; i < n; ++i) {
                    const float a = outputs[0][i], b = outputs[1][i];
                    if (!std::isfinite(a) || !std::isfinite(b))
                        return "a block of " + std::to_string(frames) + " frames has a non-finite output at frame " +
                               std::to_string(i);
                    if (std::fabs(b - in2Copy[i]) > float(kNumKeys) + 1e-3f)
                        return "output 2 moved further from its input than all keys at full scale";
                }
                break;
            }
            case 4: {  // a parameter, any index, any value
                const uint8_t which = script.byte();
                const int k = script.byte() % kNumKeys;
                static const VstInt32 kBases[] = {kParamPitch, kParamPlayMode, kParamReverse, kParamVolume};
                VstInt32 index;
                if (which < 48) index = kParamAudition;
                else if (which < 240) index = kBases[which % 4] + k;
                else index = script.i32();
                const float value = index == kParamAudition && which < 40 ? float(k) : script.anyFloat();
                effect->setParameter(effect, index, value);
                effect->getParameter(effect, index);
                break;
            }
            case 5:  // suspend, resume
                effect->dispatcher(effect, effMainsChanged, 0, script.byte() & 1, nullptr, 0.0f);
                break;
            case 6:  // sample rate and block size
                effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, script.anyFloat());
                effect->dispatcher(effect, effSetBlockSize, 0, script.i32(), nullptr, 0.0f);
                break;
            case 7: {  // the texts of a parameter, in buffers of the published size
                const VstInt32 index = script.byte() % 200;
                char display[kVstMaxParamStrLen];
                char label[kVstMaxParamStrLen];
                char name[kVstMaxParamStrLen];
                effect->dispatcher(effect, effGetParamDisplay, index, 0, display, 0.0f);
                effect->dispatcher(effect, effGetParamLabel, index, 0, label, 0.0f);
                effect->dispatcher(effect, effGetParamName, index, 0, name, 0.0f);
                if (!std::memchr(display, 0, sizeof display) || !std::memchr(label, 0, sizeof label) ||
                    !std::memchr(name, 0, sizeof name))
                    return "a parameter text without its terminator";
                break;
            }
            case 8:  // an audition asked for outside processing
                effect->setParameter(effect, kParamAudition, float(script.byte() % 26) - 1.0f);
                break;
        }
    }
    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
    return "";
}

}  // namespace rimbrel::fuzz
