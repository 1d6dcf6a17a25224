// The effect: owns the kit, answers the host, maps the per-key settings onto
// parameter indices, and plays keys from MIDI notes and auditions.
//
// Threads (see also kit/Kit.h, and plugin/AudioEffect.h for which threads
// hosts use for which call):
//  - UI thread (editor requests, the editor, loader, export): auditions
//    (setParameter(kParamAudition, k)) and key rewrites under the kit's
//    rewrite protocol.
//  - Audio thread: processEvents and processReplacing. Inside
//    processReplacing a note start goes through setParameter(kParamAudition)
//    too; there it starts the key at once. From any other thread an audition
//    is a request the audio thread carries out at frame 0 of its next block.
//  - Any thread: the parameter map (setParameter / getParameter /
//    getParameterDisplay only load and store the settings' atomics), the
//    sample rate, suspend / resume, and the requests that answer constants.
#pragma once

#include <atomic>
#include <cstddef>
#include <new>
#include <thread>

#include "kit/Kit.h"
#include "kit/LiveKitState.h"
#include "kit/ParameterMap.h"
#include "plugin/AudioEffectX.h"
#include "plugin/PanLaw.h"

namespace rimbrel {

constexpr VstInt32 kUniqueId = vstFourCharacters('R', 'b', 'K', 't');
constexpr VstInt32 kNumPrograms = 1;
constexpr VstInt32 kNumParams = 1;

// Factor from semitones to octaves used for the playback speed.
constexpr double kSemitoneToOctave = 0.08333333333;

// Frames of the left side's sum held at once while keys sound differently on
// the two sides; longer stretches are rendered in pieces of this size.
constexpr int kLeftSumFrames = 1024;

// Host rates playback follows; a rate outside is ignored (the previous one
// stays), since no host runs there and 0 or NaN would stop or stall keys.
constexpr double kMinHostRate = 1000.0;
constexpr double kMaxHostRate = 10000000.0;

class Tamblet : public AudioEffectX {
public:
    explicit Tamblet(audioMasterCallback master);
    ~Tamblet() override;

    // A failed allocation yields null from the new-expression (no exception).
    // The kit's key audio lives in buffers of its own (kit/Kit.h).
    static void* operator new(std::size_t size) noexcept;
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* p) noexcept;
    static void operator delete(void* p, const std::nothrow_t&) noexcept;

    // Any thread, the audio thread included (effMainsChanged): touch nothing.
    void suspend() override;
    void resume() override;
    // Any thread, at any time (hosts send it between suspend and resume, some
    // while processing): takes effect from the next audio block.
    void setSampleRate(float rate) override;
    // Audio thread only (Processing.cpp): the kit's audio-thread state, keys
    // that are not busy, the host's buffers. Never allocates, locks or blocks.
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    // Any thread, during processing too: the settings' atomics; an audition
    // starts the key on the audio thread and is a kit request elsewhere.
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    // Programs, names, texts and capabilities: any thread, scanners before
    // effOpen included. Constants or the settings' atomics, written into the
    // host's buffers only.
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    // The host's main or UI thread: the kit's saved state
    // (kit/LiveKitState.h), the same for the bank and the program. getChunk's bytes stay valid until the next
    // getChunk or effClose. setChunk puts the kit in place (an empty kit,
    // and one diagnostic line, when the bytes are damaged).
    VstInt32 getChunk(void** data, bool isPreset = false) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset = false) override;
    // UI thread, between other work (the window's timer): encodes the audio
    // of at most one key that changed since the last getChunk, so that
    // saving the project later has little left to do.
    void prepareSavedState() { savedState_.encodeOneChangedKey(kit); }
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    // Audio thread, right before processReplacing: queues the block's notes
    // in the kit's note queue, which belongs to the audio thread.
    VstInt32 processEvents(VstEvents* events) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstInt32 canDo(char* text) override;
    VstPlugCategory getPlugCategory() override;
    bool getMidiKeyName(VstInt32 channel, VstMidiKeyName* keyName) override;

    Kit& getKit() { return kit; }
    const Kit& getKit() const { return kit; }

    // Any thread: true on the thread that is inside this effect's processReplacing.
    bool isProcessing() const;

    // The kit: 24 keys of audio, settings and playback state.
    Kit kit;

protected:
    // The key names saved with the kit and restored with it (the window's);
    // null when there are none.
    virtual KeyNames* savedKeyNames() { return nullptr; }
    // UI thread, after setChunk put a kit in place.
    virtual void kitRestored() {}

    // Starts key k sounding from its beginning (its end when reversed).
    // Audio thread only, inside processReplacing.
    void startKey(int k);

private:
    void applyEventsAt(VstInt32 frame);
    VstInt32 nextEventFrame(VstInt32 after, VstInt32 frames) const;
    void renderKeys(float* out1, float* out2, VstInt32 from, VstInt32 to);
    // Audio thread: key k's pan gains, computed again only when its pan changed.
    const PanGains& keyGains(int k);
    void releaseWindowKeys(KeyMask held);

    // Audio thread: keys busy for the current block, keys held down in the
    // window (as of this block's start), keys that sounded in this block.
    KeyMask blockBusy_ = 0;
    // Stored frames per output frame at pitch 0: 44100 / the host's rate.
    // Written by setSampleRate, read once per block into blockStep_.
    std::atomic<double> playbackStep_{1.0};
    // The thread inside processReplacing, while it is (none otherwise).
    std::atomic<std::thread::id> processingThread_{};
    double blockStep_ = 1.0;
    KeyMask blockHeld_ = 0;
    KeyMask blockSounded_ = 0;
    // Keys started on the audio thread and not yet seen to stop. keyPlaying
    // turns true only in startKey, so a block looks at these keys alone
    // rather than at all 24; one the UI stopped drops out when seen.
    KeyMask soundingKeys_ = 0;
    // The saved state last handed to the host, and each key's encoded audio.
    LiveKitState savedState_;
    // The kit's target, read once per block: it decides the keys' lengths
    // and whether stereo keys sound stereo.
    KitTarget blockTarget_ = KitTarget::Op1;
    // Each key's pan as last seen by the audio thread, and its gains.
    float seenPan_[kNumKeys] = {};
    PanGains panGains_[kNumKeys];
    // The left side's sum while some sounding key differs between the sides
    // (a stereo key in the Field target, or a key off the centre).
    alignas(16) float leftSum_[kLeftSumFrames];
};

}  // namespace rimbrel
