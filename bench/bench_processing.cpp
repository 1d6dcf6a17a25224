// Cost of processReplacing per voice-frame (one key sounding for one output
// frame), against a plain sum of 24 buffers as the floor; instance creation;
// and the resident memory of empty instances. At a host rate other than
// 44.1 kHz every key is read like a pitched one; the rows at 48 kHz show what
// that costs.
//
// Stereo keys are measured against a plain sum of their 48 channels into two
// outputs, and a block in which no key sounds against a plain copy of the
// block's two channels; the ratios are printed at the end of the run.
//
// Goals: 24 keys at pitch 0 within 2x of the floor; pitch != 0 or reversed
// within 6x; no key sounding within 2x of the copy; 24 stereo keys at pitch 0
// within 2x of their floor, pitched within 3x; an empty instance under 4 MB
// resident.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
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
               kReversed = 3,
               kStereo = 4,         // stereo keys under the Field target, centred
               kStereoUp7 = 5,      // the same at pitch +7
               kStereoPanned = 6,   // the same at pitch 0, panned across the field
               kStereoOpOneMix = 7  // stereo keys under the OP-1 target: their mono mix
};
const char* const kVariantNames[] = {"pitch0", "pitch+7", "pitch-12", "reversed",
                                     "stereo", "stereo pitch+7", "stereo panned", "stereo OP-1 mix"};

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
    const bool stereo = variant >= kStereo;
    if (variant != kStereoOpOneMix)
        effect.setParameter(kParamTarget, param::targetToParameter(stereo ? KitTarget::Op1Field : KitTarget::Op1));
    for (int k = 0; k < keys; ++k) {
        const std::vector<float> frames = noise(kKeyFrames, unsigned(k));
        test::setKeyAudio(kit, k, frames, stereo ? noise(kKeyFrames, unsigned(k + 1000)) : std::vector<float>{});
        effect.setParameter(kParamPlayMode + k, 1.0f);
        if (variant == kStereoPanned)
            effect.setParameter(kParamPan + k, param::panToParameter(float(k) / float(keys - 1) * 2.0f - 1.0f));
        if (variant == kPitchUp7 || variant == kStereoUp7)
            effect.setParameter(kParamPitch + k, param::pitchToParameter(7));
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
    ->ArgsProduct({{1, 24}, {kPitch0, kPitchUp7}, {512}, {48000}})
    ->ArgsProduct({{24}, {kStereo, kStereoUp7, kStereoPanned, kStereoOpOneMix}, {32, 512}, {44100}});

// The floor of a block in which no key sounds: both input channels copied to
// the outputs.
void BM_FloorCopy2(benchmark::State& state) {
    const int block = int(state.range(0));
    std::vector<float> in1 = noise(size_t(block), 100), in2 = noise(size_t(block), 101);
    std::vector<float> out1(static_cast<size_t>(block)), out2(static_cast<size_t>(block));
    for (auto _ : state) {
        benchmark::DoNotOptimize(in1.data());
        benchmark::DoNotOptimize(in2.data());
        std::copy(in1.begin(), in1.end(), out1.begin());
        std::copy(in2.begin(), in2.end(), out2.begin());
        benchmark::DoNotOptimize(out1.data());
        benchmark::DoNotOptimize(out2.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FloorCopy2)->ArgName("block")->Arg(32)->Arg(512);

// What the kit's block protocol (the start and the end of every block, which
// keep keys being rewritten from being read) costs by itself: the part of an
// empty block that processing cannot avoid.
void BM_KitBlockProtocol(benchmark::State& state) {
    auto* kit = new Kit;
    for (auto _ : state) {
        const Kit::BlockStart start = kit->audioBlockBegin();
        benchmark::DoNotOptimize(start);
        kit->audioBlockEnd();
    }
    delete kit;
}
BENCHMARK(BM_KitBlockProtocol);

// The floor of 24 stereo keys: their 48 channels added into two outputs that
// start from the second input, read at the positions the keys would be read.
void BM_FloorSum48(benchmark::State& state) {
    const int block = int(state.range(0));
    std::vector<std::vector<float>> channels;
    for (int c = 0; c < 48; ++c) channels.push_back(noise(kKeyFrames, unsigned(c)));
    std::vector<float> in = noise(size_t(block), 101);
    std::vector<float> out1(static_cast<size_t>(block)), out2(static_cast<size_t>(block));
    int position = 0;
    for (auto _ : state) {
        if (position + block >= kKeyFrames) position = 0;
        std::copy(in.begin(), in.end(), out1.begin());
        std::copy(in.begin(), in.end(), out2.begin());
        for (size_t c = 0; c < channels.size(); c += 2) {
            const float* left = channels[c].data() + position;
            const float* right = channels[c + 1].data() + position;
            float* dest1 = out1.data();
            float* dest2 = out2.data();
            for (int i = 0; i < block; ++i) {
                dest1[i] += left[i];
                dest2[i] += right[i];
            }
        }
        position += block;
        benchmark::DoNotOptimize(out1.data());
        benchmark::DoNotOptimize(out2.data());
        benchmark::ClobberMemory();
    }
    state.counters["per_voice_frame"] = benchmark::Counter(
        24.0 * block, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FloorSum48)->ArgName("block")->Arg(32)->Arg(512);

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

// Prints the goals' ratios of CPU time once every benchmark has run, from
// the runs of this same process.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration) cpu_[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nRatios of CPU time (goal in brackets):\n");
        ratio("the kit's block protocol alone / copy of two channels", "BM_KitBlockProtocol", "BM_FloorCopy2/block:32",
              2.0, "32");
        for (const char* block : {"32", "512"}) {
            const std::string b = block;
            const std::string keys = "BM_ProcessReplacing/keys:";
            const std::string tail = "/block:" + b + "/rate:44100";
            ratio("no key sounding / copy of two channels", keys + "0/variant:0" + tail, "BM_FloorCopy2/block:" + b,
                  2.0, block);
            ratio("24 keys at pitch 0 / sum of 24", keys + "24/variant:0" + tail, "BM_FloorSum24/block:" + b, 2.0,
                  block);
            ratio("24 keys at pitch +7 / sum of 24", keys + "24/variant:1" + tail, "BM_FloorSum24/block:" + b, 6.0,
                  block);
            for (int variant = kStereo; variant <= kStereoOpOneMix; ++variant)
                ratio(std::string("24 keys ") + kVariantNames[variant] + " / sum of 48",
                      keys + "24/variant:" + std::to_string(variant) + tail, "BM_FloorSum48/block:" + b,
                      variant == kStereoUp7 ? 3.0 : 2.0, block);
        }
    }

private:
    void ratio(const std::string& what, const std::string& measured, const std::string& floor, double goal,
               const char* block) {
        const auto m = cpu_.find(measured), f = cpu_.find(floor);
        if (m == cpu_.end() || f == cpu_.end() || f->second <= 0.0) return;
        const double r = m->second / f->second;
        std::printf("  %-52s block %-4s %6.2f  (<= %.0f)%s\n", what.c_str(), block, r, goal,
                    r <= goal ? "" : "  MISSED");
    }
    std::map<std::string, double> cpu_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
