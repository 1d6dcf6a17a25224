// The kit saved with the project, through the effect as a host calls it, with
// a full kit: 24 stereo keys of 12 s, audio as loaded from 16-bit files.
//  - getChunk on a kit that did not change since the last call (goal: under
//    1 ms);
//  - setChunk of that state (decoded, put in place, names in the window)
//    against decoding the same audio from 24-bit FLAC files on disk through
//    the platform's sound-file decoder (goal: at most 2x).
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "editor/ADEditor.h"
#include "instrument/PluginEntry.h"
#include "kit/KeyAudio.h"
#include "platform/Files.h"
#include "platform/SoundFileDecoder.h"
#include "plugin/Tamblet.h"

namespace {

using namespace rimbrel;

constexpr int kFrames = kMaxKeyFrames;  // 12 s

VstIntPtr benchHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

float on16BitGrid(float v) { return std::nearbyint(std::fmax(-1.0f, std::fmin(v, 0.99f)) * 32768.0f) / 32768.0f; }

// An effect made as a host makes it, every key filled and named, and the
// same audio as one FLAC file per key.
struct FullKitEffect {
    AEffect* effect = createEffect(benchHost);
    std::filesystem::path root;
    std::vector<std::string> flacs;

    FullKitEffect() {
        if (!effect) std::abort();
        std::string tmpl = (std::filesystem::temp_directory_path() / "rimbrel-bench-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
        root = tmpl;
        Tamblet& t = tamblet();
        auto* window = static_cast<ADEditor*>(t.getEditor());
        std::vector<float> left(kFrames), right(kFrames);
        for (int k = 0; k < kNumKeys; ++k) {
            uint32_t noise = 12345u + uint32_t(k);
            for (int i = 0; i < kFrames; ++i) {
                noise = noise * 1664525u + 1013904223u;
                const float n = (float(noise >> 8) / 16777216.0f - 0.5f) * 0.1f;
                const float decay = std::exp(-float(i) / 20000.0f);
                left[std::size_t(i)] = on16BitGrid(0.6f * decay * std::sin(0.01f * float(k + 1) * float(i)) + n);
                right[std::size_t(i)] = on16BitGrid(0.5f * decay * std::sin(0.013f * float(k + 2) * float(i)) - n);
            }
            KeyAudioBuffers fresh;
            if (!fresh.assign(left.data(), right.data(), kFrames)) std::abort();
            replaceKeyAudio(t.kit, k, std::move(fresh));
            flacs.push_back((root / ("key" + std::to_string(k) + ".flac")).string());
            std::snprintf(window->keyNames[k], kKeyNameSize, "%s", flacs.back().c_str());
            writeFlac(flacs.back(), left, right);
        }
    }
    ~FullKitEffect() {
        effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }

    Tamblet& tamblet() const { return *static_cast<Tamblet*>(static_cast<AudioEffect*>(effect->object)); }

    VstIntPtr getChunk(void** data) const { return effect->dispatcher(effect, effGetChunk, 0, 0, data, 0.0f); }

    static void writeFlac(const std::string& path, const std::vector<float>& left, const std::vector<float>& right) {
        SF_INFO info{};
        info.channels = 2;
        info.samplerate = 44100;
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
        SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
        if (sf == nullptr) std::abort();
        std::vector<float> interleaved(left.size() * 2);
        for (std::size_t i = 0; i < left.size(); ++i) {
            interleaved[2 * i] = left[i];
            interleaved[2 * i + 1] = right[i];
        }
        sf_writef_float(sf, interleaved.data(), sf_count_t(left.size()));
        sf_close(sf);
    }
};

FullKitEffect& fullKit() {
    static FullKitEffect kit;
    return kit;
}

// One key's FLAC file as the loader would open it, into two channels.
void decodeFlacFile(const std::string& path, std::vector<float>& interleaved, std::vector<float>& left,
                    std::vector<float>& right) {
    const int fd = platform::openForReading(path.c_str());
    if (fd < 0) std::abort();
    {
        std::unique_ptr<platform::SoundFileDecoder> decoder = platform::openSoundFile(fd);
        if (!decoder) std::abort();
        const int64_t frames = decoder->facts().frames;
        interleaved.resize(std::size_t(frames) * 2);
        if (decoder->readFrames(interleaved.data(), frames) != frames) std::abort();
        left.resize(std::size_t(frames));
        right.resize(std::size_t(frames));
        for (int64_t i = 0; i < frames; ++i) {
            left[std::size_t(i)] = interleaved[std::size_t(2 * i)];
            right[std::size_t(i)] = interleaved[std::size_t(2 * i + 1)];
        }
    }
    platform::closeFile(fd);
    benchmark::ClobberMemory();
}

double threadSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The first call after the kit was filled: every key's audio encoded.
void BM_GetChunkFirst(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        FullKitEffect* kit = new FullKitEffect;
        state.ResumeTiming();
        void* data = nullptr;
        if (kit->getChunk(&data) <= 0) std::abort();
        state.PauseTiming();
        delete kit;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_GetChunkFirst)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_GetChunkUnchanged(benchmark::State& state) {
    FullKitEffect& kit = fullKit();
    void* data = nullptr;
    VstIntPtr size = kit.getChunk(&data);
    if (size <= 0) std::abort();
    for (auto _ : state) {
        size = kit.getChunk(&data);
        benchmark::DoNotOptimize(data);
    }
    state.counters["state_MB"] = double(size) / 1e6;
}
BENCHMARK(BM_GetChunkUnchanged)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

// setChunk and the files decoded in turns, each timed in this thread's CPU
// time so that other work on the machine weighs on both alike. Counters: the
// mean of each, and their ratio (goal: at most 2).
void BM_SetChunkOverFiles(benchmark::State& state) {
    FullKitEffect& kit = fullKit();
    void* data = nullptr;
    const VstIntPtr size = kit.getChunk(&data);
    if (size <= 0) std::abort();
    const std::vector<uint8_t> saved(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    std::vector<uint8_t> handed;
    std::vector<float> interleaved, left, right;
    double restoreTime = 0, filesTime = 0;
    for (auto _ : state) {
        handed = saved;
        const double t0 = threadSeconds();
        if (kit.effect->dispatcher(kit.effect, effSetChunk, 0, size, handed.data(), 0.0f) != 1) std::abort();
        const double t1 = threadSeconds();
        for (const std::string& path : kit.flacs) decodeFlacFile(path, interleaved, left, right);
        const double t2 = threadSeconds();
        restoreTime += t1 - t0;
        filesTime += t2 - t1;
    }
    const double n = double(state.iterations());
    state.counters["restore_ms"] = restoreTime / n * 1e3;
    state.counters["files_ms"] = filesTime / n * 1e3;
    state.counters["ratio"] = restoreTime / filesTime;
}
BENCHMARK(BM_SetChunkOverFiles)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
