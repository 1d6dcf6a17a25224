// The kit's saved state with a full kit: 24 stereo keys of 12 s, audio as
// loaded from 16-bit files (a decaying tone with noise).
//  - encoding the whole kit once (a fresh cache: every key packed);
//  - assembling the state again from the cache while no key's audio changed
//    (goal: well under 1 ms);
//  - reading the whole state back, against decoding the same audio from
//    24-bit FLAC files on disk through the platform's sound-file decoder
//    (goal: at most 2x);
//  - the own FLAC codec (the one of builds without libsndfile) against
//    libsndfile's on the same keys' audio, as ratios of time and size.
#include "kit/KitState.h"
#include "platform/Files.h"
#include "platform/LosslessAudio.h"
#include "platform/ownaudio/FlacAudio.h"
#include "platform/SoundFileDecoder.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace rimbrel;

constexpr int kFrames = kMaxKeyFrames;  // 12 s

struct FullKit {
    KitStateData data;
    std::vector<KitStateKeySource> sources;
    std::vector<uint8_t> state;
    std::filesystem::path root;
    std::vector<std::string> flacs;

    FullKit() {
        data.target = KitTarget::Op1Field;
        for (int k = 0; k < kNumKeys; ++k) {
            KitStateKey key;
            key.key = k;
            key.name = "/home/user/Samples/long " + std::to_string(k) + ".wav";
            key.length = kFrames;
            key.channels = 2;
            key.left.resize(kFrames);
            key.right.resize(kFrames);
            uint32_t noise = 12345u + uint32_t(k);
            for (int i = 0; i < kFrames; ++i) {
                noise = noise * 1664525u + 1013904223u;
                const float n = (float(noise >> 8) / 16777216.0f - 0.5f) * 0.1f;
                const float decay = std::exp(-float(i) / 20000.0f);
                key.left[std::size_t(i)] = on16BitGrid(0.6f * decay * std::sin(0.01f * float(k + 1) * float(i)) + n);
                key.right[std::size_t(i)] = on16BitGrid(0.5f * decay * std::sin(0.013f * float(k + 2) * float(i)) - n);
            }
            data.keys.push_back(std::move(key));
        }
        for (const KitStateKey& k : data.keys)
            sources.push_back({k.key, k.name, k.settings, k.length, k.channels, k.left.data(), k.right.data(), 1});
        state = encodeKitState(data);
        if (state.empty()) std::abort();

        std::string tmpl = (std::filesystem::temp_directory_path() / "rimbrel-bench-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
        root = tmpl;
        for (const KitStateKey& k : data.keys) {
            flacs.push_back((root / ("key" + std::to_string(k.key) + ".flac")).string());
            writeFlac(flacs.back(), k);
        }
    }
    ~FullKit() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }

    static float on16BitGrid(float v) { return std::nearbyint(std::fmax(-1.0f, std::fmin(v, 0.99f)) * 32768.0f) / 32768.0f; }

    static void writeFlac(const std::string& path, const KitStateKey& k) {
        SF_INFO info{};
        info.channels = 2;
        info.samplerate = 44100;
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
        SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
        if (sf == nullptr) std::abort();
        std::vector<float> interleaved(std::size_t(k.length) * 2);
        for (int i = 0; i < k.length; ++i) {
            interleaved[std::size_t(2 * i)] = k.left[std::size_t(i)];
            interleaved[std::size_t(2 * i + 1)] = k.right[std::size_t(i)];
        }
        sf_writef_float(sf, interleaved.data(), k.length);
        sf_close(sf);
    }
};

FullKit& fullKit() {
    static FullKit kit;
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

void BM_EncodeFullKit(benchmark::State& state) {
    FullKit& kit = fullKit();
    std::size_t bytes = 0;
    std::string why;
    for (auto _ : state) {
        KitStateCache cache;
        const std::vector<uint8_t>* out = cache.assemble(kit.data.target, kit.sources.data(), kit.sources.size(), why);
        if (out == nullptr) std::abort();
        bytes = out->size();
        benchmark::ClobberMemory();
    }
    state.counters["state_MB"] = double(bytes) / 1e6;
    state.counters["of_raw_float"] = double(bytes) / (double(kNumKeys) * 2 * kFrames * sizeof(float));
}
BENCHMARK(BM_EncodeFullKit)->Unit(benchmark::kMillisecond)->Iterations(2);

// Assembling again from a warm cache, three ways: nothing changed (the last
// state as it is), a setting changed (rewritten in place), a name changed
// (laid out again: every key's cached audio copied).
void assembleAgain(benchmark::State& state, void (*change)(std::vector<KitStateKeySource>&, int64_t)) {
    FullKit& kit = fullKit();
    std::vector<KitStateKeySource> sources = kit.sources;
    KitStateCache cache;
    std::string why;
    const std::vector<uint8_t>* out = cache.assemble(kit.data.target, sources.data(), sources.size(), why);
    if (out == nullptr || *out != kit.state) std::abort();
    int64_t n = 0;
    for (auto _ : state) {
        change(sources, n++);
        out = cache.assemble(kit.data.target, sources.data(), sources.size(), why);
        if (out == nullptr) std::abort();
        benchmark::ClobberMemory();
    }
    state.counters["state_MB"] = double(out->size()) / 1e6;
}

void BM_AssembleUnchanged(benchmark::State& state) {
    assembleAgain(state, [](std::vector<KitStateKeySource>&, int64_t) {});
}
BENCHMARK(BM_AssembleUnchanged)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

void BM_AssembleSettingChanged(benchmark::State& state) {
    assembleAgain(state, [](std::vector<KitStateKeySource>& sources, int64_t n) { sources[5].settings.pitch = int32_t(n % 7); });
}
BENCHMARK(BM_AssembleSettingChanged)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

void BM_AssembleNameChanged(benchmark::State& state) {
    assembleAgain(state, [](std::vector<KitStateKeySource>& sources, int64_t n) { sources[5].name = n % 2 ? "/a.wav" : "/bb.wav"; });
}
BENCHMARK(BM_AssembleNameChanged)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

// The state and the files decoded in turns, each timed in this thread's CPU
// time so that other work on the machine weighs on both alike. Counters: the
// mean of each, and their ratio (goal: at most 2).
void BM_DecodeStateOverFiles(benchmark::State& state) {
    FullKit& kit = fullKit();
    std::vector<float> interleaved, left, right;
    double stateTime = 0, filesTime = 0;
    for (auto _ : state) {
        const double t0 = threadSeconds();
        KitStateData back;
        std::string why;
        if (!decodeKitState(kit.state.data(), kit.state.size(), back, why)) std::abort();
        benchmark::DoNotOptimize(back.keys.data());
        const double t1 = threadSeconds();
        for (const std::string& path : kit.flacs) decodeFlacFile(path, interleaved, left, right);
        const double t2 = threadSeconds();
        if (!(back == kit.data)) std::abort();
        stateTime += t1 - t0;
        filesTime += t2 - t1;
    }
    const double n = double(state.iterations());
    state.counters["state_ms"] = stateTime / n * 1e3;
    state.counters["files_ms"] = filesTime / n * 1e3;
    state.counters["ratio"] = stateTime / filesTime;
}
BENCHMARK(BM_DecodeStateOverFiles)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// Every key's audio encoded and decoded by the own FLAC codec and by
// libsndfile's, in turns, in this thread's CPU time. Counters: own time over
// libsndfile's for each direction, and own bytes over libsndfile's.
void BM_OwnFlacOverLibsndfile(benchmark::State& state) {
    FullKit& kit = fullKit();
    double ownEncode = 0, sndEncode = 0, ownDecode = 0, sndDecode = 0;
    std::size_t ownBytes = 0, sndBytes = 0;
    for (auto _ : state) {
        for (const KitStateKey& k : kit.data.keys) {
            const float* channels[2] = {k.left.data(), k.right.data()};
            const platform::LosslessAudioLimits limits{2, k.length};
            std::vector<uint8_t> own, snd;
            std::vector<std::vector<float>> back;
            const double t0 = threadSeconds();
            if (!platform::ownaudio::encodeFlacAudio(channels, 2, k.length, own)) std::abort();
            const double t1 = threadSeconds();
            if (!platform::encodeLosslessAudio(channels, 2, k.length, snd)) std::abort();
            const double t2 = threadSeconds();
            if (!platform::ownaudio::decodeFlacAudio(snd.data(), snd.size(), limits, back)) std::abort();
            const double t3 = threadSeconds();
            if (!platform::decodeLosslessAudio(snd.data(), snd.size(), limits, back)) std::abort();
            const double t4 = threadSeconds();
            ownEncode += t1 - t0;
            sndEncode += t2 - t1;
            ownDecode += t3 - t2;
            sndDecode += t4 - t3;
            ownBytes += own.size();
            sndBytes += snd.size();
        }
    }
    state.counters["encode_ratio"] = ownEncode / sndEncode;
    state.counters["decode_ratio"] = ownDecode / sndDecode;
    state.counters["size_ratio"] = double(ownBytes) / double(sndBytes);
    state.counters["own_encode_ms"] = ownEncode / double(state.iterations()) * 1e3;
    state.counters["own_decode_ms"] = ownDecode / double(state.iterations()) * 1e3;
}
BENCHMARK(BM_OwnFlacOverLibsndfile)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
