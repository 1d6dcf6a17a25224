// Export speed: a full Op-1 kit (529200 frames over 24 keys) and 24 per-key
// files of 12 s each, against the floor of writing the same bytes with one
// write (same durability: flushed to disk and renamed into place).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/KeyAudioSupport.h"
#include "formats/AiffWriter.h"
#include "formats/KitExport.h"
#include "kit/Kit.h"
#include "platform/Files.h"

namespace {

using namespace rimbrel;
namespace fs = std::filesystem;

fs::path benchFolder() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("rimbrel-bench-" + std::to_string(getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

// A kit with every key holding `frames` frames of noise.
Kit& benchKit(int32_t frames) {
    static std::unique_ptr<Kit> kit(new Kit);
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (int k = 0; k < kNumKeys; ++k) {
        std::vector<float> audio(static_cast<std::size_t>(frames));
        for (float& v : audio) v = noise(rng);
        test::setKeyAudio(*kit, k, audio);
    }
    return *kit;
}

class MutedStderr {
public:
    MutedStderr() {
        std::fflush(stderr);
        saved_ = dup(2);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        close(null);
    }
    ~MutedStderr() {
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
    }

private:
    int saved_;
};

// One write of `bytes` bytes, flushed to disk, renamed over `target`.
void writeFloor(const std::vector<uint8_t>& bytes, const fs::path& target) {
    const fs::path tmp = target.string() + ".tmp";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    platform::flushAndSyncFile(f);
    std::fclose(f);
    fs::rename(tmp, target);
}

// The longest kit the export takes: 24 keys of 22050 frames, 529200 in all.
constexpr int32_t kKitKeyFrames = kMaxKitFrames / kNumKeys;

void BM_ExportKit(benchmark::State& state) {
    Kit& kit = benchKit(kKitKeyFrames);
    const char* names[kNumKeys];
    for (auto& n : names) n = "key.wav";
    const KitExportInput in = kitExportInput(kit, names);
    const std::string path = (benchFolder() / "kit.aif").string();
    MutedStderr muted;
    for (auto _ : state) {
        if (exportKit(path.c_str(), in) != ExportResult::Written) state.SkipWithError("export failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(path)));
}
BENCHMARK(BM_ExportKit)->Unit(benchmark::kMillisecond);

void BM_ExportKitFloor(benchmark::State& state) {
    const std::size_t bytes = aiffHeaderSize(1208) + 2u * kMaxKitFrames;
    std::vector<uint8_t> data(bytes, 0x5a);
    const fs::path path = benchFolder() / "floor.aif";
    for (auto _ : state) writeFloor(data, path);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_ExportKitFloor)->Unit(benchmark::kMillisecond);

void BM_ExportIndividualFiles(benchmark::State& state) {
    Kit& kit = benchKit(kMaxKeyFrames);
    const KitExportInput in = kitExportInput(kit, nullptr);
    const std::string path = (benchFolder() / "keys.aif").string();
    for (auto _ : state) {
        int written = 0;
        if (exportIndividualFiles(path.c_str(), in, &written) != ExportResult::Written || written != kNumKeys)
            state.SkipWithError("export failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kNumKeys *
                            int64_t(aiffHeaderSize(std::strlen(kIndividualFileComment)) + 2u * kMaxKeyFrames));
}
BENCHMARK(BM_ExportIndividualFiles)->Unit(benchmark::kMillisecond);

void BM_ExportIndividualFilesFloor(benchmark::State& state) {
    const std::size_t bytes = aiffHeaderSize(std::strlen(kIndividualFileComment)) + 2u * kMaxKeyFrames;
    std::vector<uint8_t> data(bytes, 0x5a);
    for (auto _ : state)
        for (int k = 0; k < kNumKeys; ++k) writeFloor(data, benchFolder() / ("floor_" + std::to_string(k) + ".aif"));
    state.SetBytesProcessed(int64_t(state.iterations()) * kNumKeys * int64_t(bytes));
}
BENCHMARK(BM_ExportIndividualFilesFloor)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(benchFolder(), ec);
    return 0;
}
