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
    "  mono WAV files into FOLDER, named so that a drop of the folder puts them\n"
    "  on keys 0, 1, 2... in that order. FOLDER is created if its parent folder\n"
    "  exists; missing parent folders are not.\n"
    "  --groove FILE   also write a two-bar groove over those keys as\n"
    "                  'frame status note velocity' lines (rimbrel-host --midi)\n"
    "  --start FRAME   the groove's first frame, 0..1000000000 (default 0)\n"
    "  --bpm BPM       the groove's tempo, 20..400 beats per minute (default 120)\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "rimbrel-drums: %s\n\n%s", message.c_str(), kUsage);
    return 2;
}

// FOLDER without trailing separators ("out/" and "out" are one folder).
std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// Makes sure folder exists: creates it when its parent exists (and says so),
// never the parent. Returns false after saying why it cannot.
bool prepareFolder(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path = withoutTrailingSlashes(folder);
    if (fs::is_directory(path, ec)) return true;
    if (fs::exists(path, ec)) {
        std::fprintf(stderr, "rimbrel-drums: %s is not a folder\n", folder.c_str());
        return false;
    }
    const fs::path parent = path.parent_path();
    if (!parent.empty() && !fs::is_directory(parent, ec)) {
        std::fprintf(stderr, "rimbrel-drums: no such folder: %s (create it first; only %s itself is created)\n",
                     parent.string().c_str(), folder.c_str());
        return false;
    }
    if (!fs::create_directory(path, ec) && ec) {
        std::fprintf(stderr, "rimbrel-drums: cannot create %s: %s\n", folder.c_str(), ec.message().c_str());
        return false;
    }
    std::printf("created folder %s\n", folder.c_str());
    return true;
}

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
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool takesValue = a == "--groove" || a == "--start" || a == "--bpm";
        if (takesValue && i + 1 >= argc) return usageError("option " + a + " needs a value");
        const char* value = takesValue ? argv[++i] : nullptr;
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--groove") {
            groove = value;
        } else if (a == "--start") {
            if (!parseNumber(value, 0.0, 1e9, start))
                return usageError(std::string("--start takes a frame number from 0 to 1000000000, not '") + value +
                                  "'");
        } else if (a == "--bpm") {
            if (!parseNumber(value, 20.0, 400.0, bpm))
                return usageError(std::string("--bpm takes a tempo from 20 to 400 beats per minute, not '") +
                                  value + "'");
        } else if (!a.empty() && a[0] == '-') {
            return usageError("unknown option " + a);
        } else if (folder.empty()) {
            folder = a;
        } else {
            return usageError("one FOLDER only: " + a);
        }
    }
    if (folder.empty()) return usageError("no FOLDER given");
    if (!prepareFolder(folder)) return 1;

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
