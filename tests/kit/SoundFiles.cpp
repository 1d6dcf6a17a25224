#include "SoundFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace rimbrel::test {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "rimbrel-kit-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

void writeSound(const std::string& path, int format, int channels, int rate, const std::vector<float>& samples) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format;
    SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(sf, nullptr) << path << ": " << sf_strerror(nullptr);
    const sf_count_t frames = static_cast<sf_count_t>(samples.size() / channels);
    if (frames > 0) {
        EXPECT_EQ(sf_writef_float(sf, samples.data(), frames), frames);
    }
    sf_close(sf);
}

std::vector<float> ramp(int64_t frames, int channels, int seed) {
    std::vector<float> s(static_cast<std::size_t>(frames * channels));
    for (std::size_t i = 0; i < s.size(); ++i) {
        const int v = static_cast<int>((i * 37 + static_cast<std::size_t>(seed) * 11) % 511) - 255;
        s[i] = static_cast<float>(v) / 256.0f;
    }
    return s;
}

void writeWav(const std::string& path, int64_t frames, int channels, int seed) {
    writeSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, channels, 44100, ramp(frames, channels, seed));
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

Decoded decode(const std::string& path) {
    Decoded d;
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    if (sf == nullptr) return d;
    d.channels = info.channels;
    d.frames = info.frames;
    d.samples.assign(static_cast<std::size_t>(info.frames * info.channels), 0.0f);
    const sf_count_t got = sf_readf_float(sf, d.samples.data(), info.frames);
    d.samples.resize(static_cast<std::size_t>(got * info.channels));
    sf_close(sf);
    return d;
}

// Channel c of a decode, as a mono decode of its own.
Decoded channelOf(const Decoded& d, int c) {
    Decoded one;
    one.channels = 1;
    one.frames = d.frames;
    for (int64_t i = 0; i < d.frames; ++i) one.samples.push_back(d.samples[std::size_t(i * d.channels + c)]);
    return one;
}

namespace {
float clampRef(float v) { return v < -1.0f ? -1.0f : (v > 1.0f ? 1.0f : v); }
}  // namespace

int32_t expectedKey(const Decoded& d, std::vector<float>& expected) {
    expected.assign(kMaxKeyFrames, 0.0f);
    int64_t f = d.frames > kMaxKeyFrames ? kMaxKeyFrames - 1 : d.frames;
    const int32_t length = static_cast<int32_t>(f < 1 ? 1 : f);
    // Positions 2 .. f-4 hold the file's frames 0 .. f-6.
    for (int64_t pos = 2; pos <= f - 4; ++pos) {
        const int64_t frame = pos - 2;
        if (frame * d.channels >= static_cast<int64_t>(d.samples.size())) break;
        const float a = clampRef(d.samples[frame * d.channels]);
        if (d.channels == 1) {
            expected[pos] = a;
        } else {
            const float sum = clampRef(d.samples[frame * d.channels + 1]) + a;
            expected[pos] = sum * 0.5f;
        }
    }
    return length;
}

std::unique_ptr<Kit> makeKit() { return std::unique_ptr<Kit>(new Kit()); }

void fillKey(Kit& kit, int k, float value, int32_t length) { setKeyAudio(kit, k, length, value); }

int nextDescriptor() {
    const int fd = ::open("/dev/null", O_RDONLY);
    ::close(fd);
    return fd;
}

std::string successLines(const std::string& path, int fd, int k) {
    return "[Rimbrel-VST]  DoXPlatLoadStuff " + path + ", 1, " + std::to_string(fd) + ", " + std::to_string(k) +
           "\n"
           "[Rimbrel-VST] defines\n"
           "[Rimbrel-VST] pre-read\n"
           "[Rimbrel-VST] pre-mycalcs\n"
           "[Rimbrel-VST] pre-close\n"
           "[Rimbrel-VST] pre-free\n"
           "[Rimbrel-VST] pre-Finish/Op1\n"
           "[Rimbrel-VST] All done here!\n";
}

}  // namespace rimbrel::test
