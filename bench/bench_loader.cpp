// Loading sound files into keys through the real path (drop plan, acceptance
// test, loadKeyFile) against decoding the same files with libsndfile alone
// into a buffer, the floor no loader can beat. Goal: a folder of 24 stereo
// 16-bit WAV files of 12 s each loads within 1.3x of the floor. A folder of
// the same files recorded at 48 kHz, converted to 44100 Hz while loading, is
// measured against the 44.1 kHz folder.
#include "kit/DropIntake.h"
#include "kit/Loader.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace rimbrel;

constexpr int kFrames = kMaxKeyFrames;  // 12 s at 44100 Hz

struct Files {
    std::filesystem::path root;
    std::string folder;
    std::vector<std::string> wavs;
    std::string folder48;
    std::string flac;
    std::string ogg;

    Files() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "rimbrel-bench-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
        root = tmpl;
        folder = (root / "kit").string();
        std::filesystem::create_directories(folder);
        for (int i = 0; i < kNumKeys; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/sample%02d.wav", i);
            wavs.push_back(folder + name);
            write(wavs.back(), SF_FORMAT_WAV | SF_FORMAT_PCM_16, i);
        }
        folder48 = (root / "kit48").string();
        std::filesystem::create_directories(folder48);
        for (int i = 0; i < kNumKeys; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/sample%02d.wav", i);
            write(folder48 + name, SF_FORMAT_WAV | SF_FORMAT_PCM_16, i, 48000);
        }
        flac = (root / "long.flac").string();
        write(flac, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 99);
        ogg = (root / "long.ogg").string();
        write(ogg, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 98);
    }
    ~Files() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }

    // 12 s of a decaying stereo tone with noise.
    static void write(const std::string& path, int format, int seed, int rate = 44100) {
        const int frames = static_cast<int>(int64_t(kFrames) * rate / 44100);
        SF_INFO info{};
        info.channels = 2;
        info.samplerate = rate;
        info.format = format;
        SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
        if (sf == nullptr) std::abort();
        std::vector<float> s(static_cast<std::size_t>(frames) * 2);
        uint32_t noise = 12345u + seed;
        for (int i = 0; i < frames; ++i) {
            noise = noise * 1664525u + 1013904223u;
            const float n = (static_cast<float>(noise >> 8) / 16777216.0f - 0.5f) * 0.1f;
            const float decay = std::exp(-i / 20000.0f);
            s[2 * i] = 0.6f * decay * std::sin(0.01f * (seed + 1) * i) + n;
            s[2 * i + 1] = 0.5f * decay * std::sin(0.013f * (seed + 2) * i) - n;
        }
        sf_writef_float(sf, s.data(), frames);
        sf_close(sf);
    }
};

Files& files() {
    static Files f;
    return f;
}

// The loader's diagnostic lines go to /dev/null while a benchmark runs.
class QuietStderr {
public:
    QuietStderr() : saved_(::dup(2)) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        ::close(null);
    }
    ~QuietStderr() {
        ::dup2(saved_, 2);
        ::close(saved_);
    }

private:
    int saved_;
};

// libsndfile alone: open, read every frame into a ready buffer, close.
void decodeOnly(const std::string& path, std::vector<float>& buffer) {
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    if (sf == nullptr) std::abort();
    buffer.resize(static_cast<std::size_t>(info.frames) * info.channels);
    benchmark::DoNotOptimize(sf_readf_float(sf, buffer.data(), info.frames));
    sf_close(sf);
    benchmark::ClobberMemory();
}

void BM_DecodeFolderFloor(benchmark::State& state) {
    const Files& f = files();
    std::vector<float> buffer(static_cast<std::size_t>(kFrames) * 2);
    for (auto _ : state) {
        for (const std::string& path : f.wavs) decodeOnly(path, buffer);
    }
    state.SetItemsProcessed(state.iterations() * kNumKeys);
}
BENCHMARK(BM_DecodeFolderFloor)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_LoadFolderIntoKit(benchmark::State& state) {
    const Files& f = files();
    std::unique_ptr<Kit> kit(new Kit());
    static KeyNames names = {};
    QuietStderr quiet;
    for (auto _ : state) {
        const KeyMask named = handleDrop(*kit, names, {f.folder}, 0, nullptr);
        if (named != (KeyMask(1) << kNumKeys) - 1) std::abort();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kNumKeys);
}
BENCHMARK(BM_LoadFolderIntoKit)->Unit(benchmark::kMillisecond)->MinTime(2.0);

double threadSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// The floor and the real path in turns, each timed in this thread's CPU time
// so that other work on the machine weighs on both alike. Counters: the mean
// of each per folder, and their ratio (goal: at most 1.3).
void BM_FolderLoadOverFloor(benchmark::State& state) {
    const Files& f = files();
    std::vector<float> buffer(static_cast<std::size_t>(kFrames) * 2);
    std::unique_ptr<Kit> kit(new Kit());
    static KeyNames names = {};
    QuietStderr quiet;
    double floorTime = 0, loadTime = 0;
    for (auto _ : state) {
        const double t0 = threadSeconds();
        for (const std::string& path : f.wavs) decodeOnly(path, buffer);
        const double t1 = threadSeconds();
        handleDrop(*kit, names, {f.folder}, 0, nullptr);
        benchmark::ClobberMemory();
        const double t2 = threadSeconds();
        floorTime += t1 - t0;
        loadTime += t2 - t1;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["floor_ms"] = floorTime / n * 1e3;
    state.counters["load_ms"] = loadTime / n * 1e3;
    state.counters["ratio"] = loadTime / floorTime;
}
BENCHMARK(BM_FolderLoadOverFloor)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The 44.1 kHz folder and the 48 kHz folder loaded in turns, in thread CPU
// time. Counters: the mean of each per folder, and what converting costs
// (ratio of the 48 kHz load to the 44.1 kHz one).
void BM_Folder48kOver44k(benchmark::State& state) {
    const Files& f = files();
    std::unique_ptr<Kit> kit(new Kit());
    static KeyNames names = {};
    QuietStderr quiet;
    double time44 = 0, time48 = 0;
    for (auto _ : state) {
        const double t0 = threadSeconds();
        handleDrop(*kit, names, {f.folder}, 0, nullptr);
        benchmark::ClobberMemory();
        const double t1 = threadSeconds();
        handleDrop(*kit, names, {f.folder48}, 0, nullptr);
        benchmark::ClobberMemory();
        const double t2 = threadSeconds();
        if (kit->keyLength[0] != kFrames) std::abort();  // 12 s, converted
        time44 += t1 - t0;
        time48 += t2 - t1;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["load44k_ms"] = time44 / n * 1e3;
    state.counters["load48k_ms"] = time48 / n * 1e3;
    state.counters["ratio"] = time48 / time44;
}
BENCHMARK(BM_Folder48kOver44k)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void decodeFloor(benchmark::State& state, const std::string& path) {
    std::vector<float> buffer(static_cast<std::size_t>(kFrames) * 2);
    for (auto _ : state) decodeOnly(path, buffer);
}

void loadOne(benchmark::State& state, const std::string& path) {
    std::unique_ptr<Kit> kit(new Kit());
    static KeyNames names = {};
    QuietStderr quiet;
    for (auto _ : state) {
        if (handleDrop(*kit, names, {path}, 5, nullptr) != keyBit(5)) std::abort();
        benchmark::ClobberMemory();
    }
}

void BM_DecodeFlacFloor(benchmark::State& state) { decodeFloor(state, files().flac); }
void BM_LoadFlacIntoKey(benchmark::State& state) { loadOne(state, files().flac); }
void BM_DecodeOggFloor(benchmark::State& state) { decodeFloor(state, files().ogg); }
void BM_LoadOggIntoKey(benchmark::State& state) { loadOne(state, files().ogg); }
BENCHMARK(BM_DecodeFlacFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFlacIntoKey)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeOggFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadOggIntoKey)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
