// Files recorded at other rates: converted to 44100 Hz when loading, so a
// key keeps the file's true length and pitch, and the 12-second cut counts
// converted frames.
#include "kit/Loader.h"

#include "SoundFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>

namespace rimbrel {
namespace {

using namespace rimbrel::test;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

constexpr double kPi = 3.14159265358979323846;

// A sine of the given frequency, the same in every channel.
std::vector<float> sine(int64_t frames, int channels, int rate, double hz, float amplitude = 0.5f) {
    std::vector<float> s(size_t(frames * channels));
    for (int64_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) s[size_t(i * channels + c)] = amplitude * float(std::sin(2 * kPi * hz * double(i) / rate));
    return s;
}

// Frequency of a sine held in x[from, to) at 44100 Hz, from its rising zero
// crossings (interpolated between frames).
double frequencyAt44100(const float* x, int from, int to) {
    double first = -1, last = -1;
    int crossings = 0;
    for (int i = from + 1; i < to; ++i) {
        if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
            const double t = (i - 1) + double(-x[i - 1]) / double(x[i] - x[i - 1]);
            if (first < 0) first = t;
            last = t;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * 44100.0 / (last - first);
}

class LoaderRateTest : public testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<Kit> kit = makeKit();

    // fd receives the descriptor number the load is expected to use.
    LoadReport load(const std::string& path, int k, std::string* err = nullptr, int* fd = nullptr) {
        CaptureStderr();
        if (fd) *fd = nextDescriptor();
        const LoadReport r = loadKeyFile(*kit, path.c_str(), k, nullptr);
        const std::string lines = GetCapturedStderr();
        if (err) *err = lines;
        return r;
    }
};

struct RateCase {
    const char* name;
    int format;
    int channels;
    int rate;
};

class LoaderRateCaseTest : public LoaderRateTest, public testing::WithParamInterface<RateCase> {};

TEST_P(LoaderRateCaseTest, HalfASecondOf440HzStaysHalfASecondOf440Hz) {
    const RateCase& c = GetParam();
    const std::string path = dir.file(std::string(c.name) + ".snd");
    writeSound(path, c.format, c.channels, c.rate, sine(c.rate / 2, c.channels, c.rate, 440.0));
    int fd = -1;
    std::string err;
    const LoadReport r = load(path, 4, &err, &fd);
    EXPECT_EQ(err, successLines(path, fd, 4)) << "the diagnostics are those of any load";
    EXPECT_TRUE(r.loaded);
    EXPECT_EQ(r.resampled, c.rate != 44100);
    EXPECT_EQ(r.sourceRate, c.rate);
    EXPECT_FALSE(r.cut);
    EXPECT_EQ(kit->keyLength[4], 22050);
    EXPECT_EQ(r.length, 22050);
    const std::vector<float> mix = keyMix(*kit, 4);
    const float* key = mix.data();
    EXPECT_NEAR(frequencyAt44100(key, 2, 22050 - 3), 440.0, 440.0 * 0.001);
    // Full level up to the last frame kept (position length - 4), silence after it.
    float peak = 0.0f;
    for (int i = 22050 - 600; i < 22050 - 3; ++i) peak = std::max(peak, std::fabs(key[i]));
    EXPECT_NEAR(peak, 0.5f, 0.02f);
    for (int i = 22050 - 3; i < kMaxKeyFrames; ++i) ASSERT_EQ(key[i], 0.0f) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Rates, LoaderRateCaseTest,
    testing::Values(RateCase{"wav48k_mono", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 48000},
                    RateCase{"wav22k_stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 22050},
                    RateCase{"flac96k_stereo", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2, 96000},
                    RateCase{"aiff8k_mono", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 8000},
                    RateCase{"wav44k_mono", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100}),
    [](const testing::TestParamInfo<RateCase>& p) { return std::string(p.param.name); });

TEST_F(LoaderRateTest, LongFileIsCutAfterConversionAndReadOnlyAsFarAsKept) {
    // 20 s at 96 kHz, cut short to about 15 s of it: the key keeps the first
    // 12 s, so the loader never reaches the damaged end.
    const std::string full = dir.file("full.flac");
    writeSound(full, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 96000, sine(20 * 96000, 1, 96000, 1000.0, 0.8f));
    const std::string cut = dir.file("cut.flac");
    {
        std::ifstream in(full, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        writeText(cut, bytes.substr(0, bytes.size() * 3 / 4));
    }
    int fd = -1;
    std::string err;
    const LoadReport r = load(cut, 0, &err, &fd);
    EXPECT_EQ(err.substr(0, err.find("pre-read")),
              "[Rimbrel-VST]  DoXPlatLoadStuff " + cut + ", 1, " + std::to_string(fd) +
                  ", 0\n[Rimbrel-VST] defines\n"
                  "[Rimbrel-VST] \n Rimbrel err 617-03: frames 882000 is too long for allocation!! \n"
                  "[Rimbrel-VST] ");
    EXPECT_TRUE(r.loaded && r.resampled && r.cut);
    EXPECT_EQ(r.sourceFrames, 20 * 96000);
    ASSERT_EQ(kit->keyLength[0], kMaxKeyFrames - 1);
    const std::vector<float> mix = keyMix(*kit, 0);
    const float* key = mix.data();
    EXPECT_NEAR(frequencyAt44100(key, kMaxKeyFrames - 5000, kMaxKeyFrames - 6), 1000.0, 1.0);
    EXPECT_GT(std::fabs(key[kMaxKeyFrames - 7]) + std::fabs(key[kMaxKeyFrames - 8]), 0.0f);
}

TEST_F(LoaderRateTest, WindowHearsWhatEachLoadDidBeforeItEnds) {
    const std::string plain = dir.file("plain.wav"), text = dir.file("notes.wav");
    writeWav(plain, 1000);
    writeText(text, "not a sound");
    struct Reports : RecordingObserver {
        void keyLoadReported(int k, const LoadReport& r) override {
            events.push_back("report " + std::to_string(k) + (r.loaded ? " loaded " : " failed ") +
                             std::to_string(r.length));
        }
    } observer;
    CaptureStderr();
    EXPECT_TRUE(loadKeyFile(*kit, plain.c_str(), 3, &observer).loaded);
    EXPECT_FALSE(loadKeyFile(*kit, text.c_str(), 3, &observer).loaded);
    GetCapturedStderr();
    EXPECT_EQ(observer.events, (std::vector<std::string>{"closed", "loaded 3", "report 3 loaded 1000", "open",
                                                         "closed", "report 3 failed 0", "open"}));
}

}  // namespace
}  // namespace rimbrel
