// What an instance costs in memory: resident and heap bytes of an empty
// instance (the whole plug-in, window object included, as a host makes it),
// and of a kit of 24 keys of 12 s, stereo and mono, loaded through the
// loader. Goals: an empty instance under 4 MB; a loaded kit at most 1.1 x
// its audio (channels x frames x 4 bytes) plus 4 MB.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sndfile.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "instrument/PluginEntry.h"
#include "kit/Loader.h"
#include "plugin/Tamblet.h"

namespace {

using namespace rimbrel;
namespace fs = std::filesystem;

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

double residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE));
}

double heapBytes() {
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks + m.hblkhd);
}

// A 12 s file of noise-like audio with the given channels, written once.
std::string soundFile(int channels) {
    const fs::path path = fs::temp_directory_path() / ("rimbrel-bench-memory-" + std::to_string(channels) + ".wav");
    if (fs::exists(path)) return path.string();
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> frames(std::size_t(kMaxKeyFrames) * channels);
    uint32_t x = 1;
    for (float& v : frames) {
        x = x * 1664525u + 1013904223u;
        v = float(int32_t(x >> 8) - (1 << 23)) / float(1 << 24);
    }
    sf_writef_float(sf, frames.data(), kMaxKeyFrames);
    sf_close(sf);
    return path.string();
}

void reportAgainstGoal(benchmark::State& state, double resident, double heap, double audio) {
    state.counters["resident_MB"] = resident / 1e6;
    state.counters["heap_MB"] = heap / 1e6;
    state.counters["audio_MB"] = audio / 1e6;
    const double limit = audio > 0 ? 1.1 * audio + 4.0 * 1024 * 1024 : 4.0 * 1024 * 1024;
    state.counters["within_goal"] = resident <= limit && heap <= limit ? 1 : 0;
}

void BM_EmptyInstance(benchmark::State& state) {
    double resident = 0, heap = 0;
    for (auto _ : state) {
        const double r0 = residentBytes(), h0 = heapBytes();
        AEffect* e = createEffect(host);
        e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
        resident = residentBytes() - r0;
        heap = heapBytes() - h0;
        e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    }
    reportAgainstGoal(state, resident, heap, 0);
}
BENCHMARK(BM_EmptyInstance)->Iterations(1)->Unit(benchmark::kMillisecond);

// A full kit of 24 keys of 12 s each, stereo (arg 2) or mono (arg 1).
void BM_FullKit(benchmark::State& state) {
    const int channels = int(state.range(0));
    const std::string path = soundFile(channels);
    double resident = 0, heap = 0, audio = 0;
    for (auto _ : state) {
        const double r0 = residentBytes(), h0 = heapBytes();
        AEffect* e = createEffect(host);
        e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
        Kit& kit = static_cast<Tamblet*>(static_cast<AudioEffect*>(e->object))->kit;
        std::FILE* quiet = std::freopen("/dev/null", "w", stderr);
        for (int k = 0; k < kNumKeys; ++k) loadKeyFile(kit, path.c_str(), k, nullptr);
        (void)quiet;
        audio = 0;
        for (int k = 0; k < kNumKeys; ++k) audio += double(kit.keyLength[k]) * kit.keyChannels(k) * sizeof(float);
        resident = residentBytes() - r0;
        heap = heapBytes() - h0;
        e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    }
    reportAgainstGoal(state, resident, heap, audio);
}
BENCHMARK(BM_FullKit)->Arg(2)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
