// Cost of processReplacing per voice-frame (one key sounding for one output
// frame), against a plain sum of 24 buffers as the floor; instance creation;
// and the resident memory of empty instances. At a host rate other than
// 44.1 kHz every key is read like a pitched one; the rows at 48 kHz show what
// that costs.
//
// Goals: 24 keys at pitch 0 within 2x of the floor; pitch != 0 or reversed
// within 6x; an empty instance under 4 MB resident.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <vector>

#include "tests/KeyAudioSupport.h"
#include "instrument/PluginEntry.h"
#include "plugin/Tamblet.h"

namespace {

using namespace rimbrel;

constexpr int kKeyFrames = 200000;

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

Tamblet& effectOf(AEffect* e) {
    return *static_cast<Tamblet*>(static_cast<AudioEffect*>(e->object));
}

std::vector<float> noise(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> d(-0.5f, 0.5f);
    std::vector<float> v(n);
    for (float& x : v) x = d(random);
    return v;
}

enum Variant { kPitch0 = 0,
               kPitchUp7 = 1,
               kPitchDown12 = 2,
               kReversed = 3 };
const char* const kVariantNames[] = {"pitch0", "pitch+7", "pitch-12", "reversed"};

// Keys sounding in loop mode with their notes held, so they sound for ever.
void BM_ProcessReplacing(benchmark::State& state) {
    const int keys = int(state.range(0));
    const auto variant = Variant(state.range(1));
    const int block = int(state.range(2));
    const float hostRate = float(state.range(3));
    AEffect* e = createEffect(host);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, hostRate);
    Tamblet& effect = effectOf(e);
    Kit& kit = effect.kit;
    for (int k = 0; k < keys; ++k) {
        const std::vector<float> frames = noise(kKeyFrames, unsigned(k));
        test::setKeyAudio(kit, k, frames);
        effect.setParameter(kParamPlayMode + k, 1.0f);
        if (variant == kPitchUp7) effect.setParameter(kParamPitch + k, param::pitchToParameter(7));
        if (variant == kPitchDown12) effect.setParameter(kParamPitch + k, param::pitchToParameter(-12));
        if (variant == kReversed) effect.setParameter(kParamReverse + k, 1.0f);
    }
    std::vector<VstMidiEvent> notes(size_t(std::max(keys, 1)));
    std::vector<VstIntPtr> listStorage(4 + notes.size() + 2);
    auto* list = reinterpret_cast<VstEvents*>(listStorage.data());
    list->numEvents = keys;
    for (int k = 0; k < keys; ++k) {
        VstMidiEvent& n = notes[size_t(k)];
        n.type = kVstMidiType;
        n.byteSize = sizeof n;
        n.midiData[0] = char(0x90);
        n.midiData[1] = char(kFirstKeyNote + k);
        n.midiData[2] = 100;
        list->events[k] = reinterpret_cast<VstEvent*>(&n);
    }
    e->dispatcher(e, effProcessEvents, 0, 0, list, 0.0f);

    std::vector<float> in1 = noise(size_t(block), 100), in2 = noise(size_t(block), 101);
    std::vector<float> out1(static_cast<size_t>(block)), out2(static_cast<size_t>(block));
    float* ins[] = {in1.data(), in2.data()};
    float* outs[] = {out1.data(), out2.data()};
    for (auto _ : state) {
        e->processReplacing(e, ins, outs, block);
        benchmark::DoNotOptimize(out2.data());
        benchmark::ClobberMemory();
    }
    const double voiceFrames = double(std::max(keys, 1)) * block;
    state.counters["per_voice_frame"] = benchmark::Counter(
        voiceFrames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetLabel(std::to_string(keys) + " keys " + kVariantNames[variant] + " at " +
                   std::to_string(int(hostRate)) + " Hz");
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}
BENCHMARK(BM_ProcessReplacing)
    ->ArgNames({"keys", "variant", "block", "rate"})
    ->ArgsProduct({{0, 1, 24}, {kPitch0}, {32, 512}, {44100}})
    ->ArgsProduct({{1, 24}, {kPitchUp7, kPitchDown12, kReversed}, {32, 512}, {44100}})
    ->ArgsProduct({{1, 24}, {kPitch0, kPitchUp7}, {512}, {48000}});

// The floor: 24 buffers added into one output, read one after the other at
// the same positions the keys would be read.
void BM_FloorSum24(benchmark::State& state) {
    const int block = int(state.range(0));
    std::vector<std::vector<float>> keys;
    for (int k = 0; k < 24; ++k) keys.push_back(noise(kKeyFrames, unsigned(k)));
    std::vector<float> in = noise(size_t(block), 101);
    std::vector<float> out(static_cast<size_t>(block));
    int position = 0;
    for (auto _ : state) {
        if (position + block >= kKeyFrames) position = 0;
        std::copy(in.begin(), in.end(), out.begin());
        for (const std::vector<float>& key : keys) {
            const float* source = key.data() + position;
            float* dest = out.data();
            for (int i = 0; i < block; ++i) dest[i] += source[i];
        }
        position += block;
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["per_voice_frame"] = benchmark::Counter(
        24.0 * block, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FloorSum24)->ArgName("block")->Arg(32)->Arg(512);

void BM_CreateAndClose(benchmark::State& state) {
    for (auto _ : state) {
        AEffect* e = createEffect(host);
        benchmark::DoNotOptimize(e);
        e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    }
}
BENCHMARK(BM_CreateAndClose);

double residentBytes() {
    long pages = 0, resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0.0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
    return double(resident) * double(sysconf(_SC_PAGESIZE));
}

// Resident memory that 16 empty instances add (the goal is under 4 MB each:
// an empty key holds no memory).
void BM_ResidentMemoryOf16EmptyInstances(benchmark::State& state) {
    for (auto _ : state) {
        const double before = residentBytes();
        std::vector<AEffect*> instances;
        for (int i = 0; i < 16; ++i) instances.push_back(createEffect(host));
        for (AEffect* e : instances) e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
        const double after = residentBytes();
        state.counters["MB_per_instance"] = (after - before) / 16.0 / (1024.0 * 1024.0);
        for (AEffect* e : instances) e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    }
}
BENCHMARK(BM_ResidentMemoryOf16EmptyInstances)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
