// rimbrel-drums: writes the project's own synthesised drum sounds as WAV files
// (and, on request, a groove that plays them) for the demo and for trying the
// plug-in without a sample library at hand.
#include <sndfile.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "tools/rimbrel-drums/DrumSynth.h"

namespace {

const char* const kUsage =
    "Usage: rimbrel-drums FOLDER [--groove FILE] [--start FRAME] [--bpm BPM]\n"
    "  Writes kick, snare, hats, clap, toms, rim and cowbell as 16-bit 44100 Hz\n"
    "  mono WAV files into FOLDER (created if needed), named so that a drop of\n"
    "  the folder puts them on keys 0, 1, 2... in that order.\n"
    "  --groove FILE   also write a two-bar groove over those keys as\n"
    "                  'frame status note velocity' lines (rimbrel-host --midi)\n"
    "  --start FRAME   the groove's first frame (default 0)\n"
    "  --bpm BPM       the groove's tempo (default 120)\n";

bool writeWav(const std::string& path, const std::vector<float>& frames) {
    SF_INFO info{};
    info.samplerate = rimbrel::drums::kSampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) {
        std::fprintf(stderr, "rimbrel-drums: cannot write %s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    const sf_count_t n = sf_writef_float(f, frames.data(), sf_count_t(frames.size()));
    const bool ok = n == sf_count_t(frames.size()) && sf_close(f) == 0;
    if (!ok) std::fprintf(stderr, "rimbrel-drums: writing %s failed\n", path.c_str());
    return ok;
}

bool parseNumber(const char* text, double low, double high, double& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0' && out >= low && out <= high;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder, groove;
    double start = 0.0, bpm = 120.0;
    bool usageError = false;
    for (int i = 1; i < argc && !usageError; ++i) {
        const std::string a = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--groove" && value) {
            groove = value, ++i;
        } else if (a == "--start" && value) {
            usageError = !parseNumber(value, 0.0, 1e9, start), ++i;
        } else if (a == "--bpm" && value) {
            usageError = !parseNumber(value, 20.0, 400.0, bpm), ++i;
        } else if (!a.empty() && a[0] != '-' && folder.empty()) {
            folder = a;
        } else {
            usageError = true;
        }
    }
    if (usageError || folder.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "rimbrel-drums: cannot create %s: %s\n", folder.c_str(), ec.message().c_str());
        return 1;
    }
    for (const auto& sound : rimbrel::drums::makeDrumKit()) {
        const std::string path = (std::filesystem::path(folder) / (sound.name + ".wav")).string();
        if (!writeWav(path, sound.frames)) return 1;
        std::printf("%s  %.3f s\n", path.c_str(), double(sound.frames.size()) / rimbrel::drums::kSampleRate);
    }
    if (!groove.empty()) {
        const std::string text = rimbrel::drums::grooveAsText(rimbrel::drums::makeGroove(int64_t(start), bpm));
        FILE* f = std::fopen(groove.c_str(), "w");
        if (!f || std::fputs(text.c_str(), f) < 0 || std::fclose(f) != 0) {
            std::fprintf(stderr, "rimbrel-drums: cannot write %s\n", groove.c_str());
            return 1;
        }
        std::printf("%s  groove at %.0f bpm from frame %.0f\n", groove.c_str(), bpm, start);
    }
    return 0;
}
