// The sample loader: key layout, formats, limits, failures and diagnostics.
#include "kit/Loader.h"

#include "SoundFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace rimbrel {
namespace {

using namespace rimbrel::test;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

class LoaderTest : public testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<Kit> kit = makeKit();
    RecordingObserver observer;

    // Loads path into key k and returns the diagnostics; fd receives the
    // descriptor number the load is expected to use.
    std::string load(const std::string& path, int k, int* fd = nullptr) {
        CaptureStderr();
        if (fd) *fd = nextDescriptor();
        loadKeyFile(*kit, path.c_str(), k, &observer);
        fdAfterLoad = nextDescriptor();
        return GetCapturedStderr();
    }
    int fdAfterLoad = -1;  // the lowest free descriptor once the load is over

    // Compares key k frame by frame with what the layout rules give for the
    // file's own decode.
    void expectKeyMatches(int k, const std::string& path) {
        const Decoded d = decode(path);
        ASSERT_GT(d.channels, 0) << path;
        std::vector<float> expected;
        const int32_t length = expectedKey(d, expected);
        EXPECT_EQ(kit->keyLength[k], length) << path;
        int mismatches = 0;
        const std::vector<float> key = keyMix(*kit, k);
        for (int i = 0; i < kMaxKeyFrames && mismatches < 5; ++i) {
            if (std::memcmp(&key[i], &expected[i], sizeof(float)) != 0) {
                ADD_FAILURE() << path << ": position " << i << " holds " << key[i] << ", expected "
                              << expected[i];
                ++mismatches;
            }
        }
    }

    void expectKeyHolds(int k, float value, int32_t length) {
        EXPECT_EQ(kit->keyLength[k], length);
        for (int i = 0; i < length; ++i) {
            if (kit->keySamples[k][i] != value) {
                ADD_FAILURE() << "position " << i << " changed to " << kit->keySamples[k][i];
                return;
            }
        }
    }
};

TEST_F(LoaderTest, TenFrameMonoFileGivesTheDocumentedLayoutAndDiagnostics) {
    const std::string path = dir.file("ten.wav");
    std::vector<float> s;
    for (int i = 0; i < 10; ++i) s.push_back((i + 1) / 16.0f);
    writeSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, s);
    fillKey(*kit, 5, 0.9f, 400000);  // a longer sample is replaced whole

    int fd = -1;
    const std::string err = load(path, 5, &fd);

    EXPECT_EQ(err, successLines(path, fd, 5));
    EXPECT_EQ(kit->keyLength[5], 10);
    const float want[] = {0, 0, s[0], s[1], s[2], s[3], s[4], 0, 0, 0, 0, 0};
    const std::vector<float> key = keyMix(*kit, 5);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(key[i], want[i]) << "position " << i;
    for (int i = 12; i < kMaxKeyFrames; ++i) ASSERT_EQ(key[i], 0.0f) << "position " << i;
    EXPECT_EQ(observer.events, (std::vector<std::string>{"closed", "loaded 5", "open"}));
    EXPECT_EQ(observer.openWhenLoaded, std::vector<bool>{false});
}

TEST_F(LoaderTest, StereoIsMixedAndEverySampleClamped) {
    const std::string pcm = dir.file("pcm.wav");
    const std::string hot = dir.file("hot.wav");
    const std::string neg = dir.file("neg.wav");
    std::vector<float> a, b;
    for (int i = 0; i < 40; ++i) a.insert(a.end(), {0.5f, 0.25f});
    for (int i = 0; i < 40; ++i) b.insert(b.end(), {1.5f, 0.5f});
    writeSound(pcm, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, a);
    writeSound(hot, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, b);
    writeSound(neg, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, std::vector<float>(40, -3.0f));

    load(pcm, 0);
    load(hot, 1);
    load(neg, 2);
    const std::vector<float> mix[] = {keyMix(*kit, 0), keyMix(*kit, 1), keyMix(*kit, 2)};
    for (int i = 2; i <= 36; ++i) {
        ASSERT_EQ(mix[0][i], 0.375f) << i;
        ASSERT_EQ(mix[1][i], 0.75f) << i;
        ASSERT_EQ(mix[2][i], -1.0f) << i;
    }
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(kit->keyLength[k], 40);
        EXPECT_EQ(mix[k][1], 0.0f);
        EXPECT_EQ(mix[k][37], 0.0f);
    }
}

TEST_F(LoaderTest, StereoSumIsRoundedToSinglePrecisionBeforeHalving) {
    // 1.0 + 2^-24 is not a float: in single precision the sum rounds to 1.0,
    // so the mix gives exactly 0.5.
    const std::string path = dir.file("round.wav");
    std::vector<float> s;
    for (int i = 0; i < 8; ++i) s.insert(s.end(), {0x1p-24f, 1.0f});
    writeSound(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, s);
    load(path, 3);
    EXPECT_EQ(keyMix(*kit, 3)[2], 0.5f);
    EXPECT_EQ(keyMix(*kit, 3)[4], 0.5f);
}

TEST_F(LoaderTest, NotANumberInAFloatFileBecomesSilence) {
    const std::string path = dir.file("nan.wav");
    std::vector<float> s(12, 0.25f);
    s[1] = std::numeric_limits<float>::quiet_NaN();
    s[2] = std::numeric_limits<float>::infinity();
    writeSound(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, s);
    load(path, 0);
    EXPECT_EQ(kit->keySamples[0][2], 0.25f);
    EXPECT_EQ(kit->keySamples[0][3], 0.0f);
    EXPECT_EQ(kit->keySamples[0][4], 1.0f);
}

struct FormatCase {
    const char* name;
    int format;
    int channels;
    int rate;
};

class LoaderFormatTest : public LoaderTest, public testing::WithParamInterface<FormatCase> {};

TEST_P(LoaderFormatTest, KeyMatchesTheFileFrameByFrame) {
    const FormatCase& c = GetParam();
    const std::string path = dir.file(std::string(c.name) + ".snd");
    std::vector<float> s = ramp(3000, c.channels, 3);
    if ((c.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT) {
        s[10] = 2.5f;  // beyond full scale: stored as is, clamped by the loader
        s[11] = -7.0f;
    }
    if ((c.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG) {
        for (std::size_t i = 0; i < s.size(); ++i) s[i] = 0.6f * std::sin(0.03f * static_cast<float>(i));
    }
    writeSound(path, c.format, c.channels, c.rate, s);
    int fd = -1;
    const std::string err = load(path, 11, &fd);
    EXPECT_EQ(err, successLines(path, fd, 11));
    if (c.rate == 44100) {
        expectKeyMatches(11, path);
        EXPECT_EQ(kit->keyLength[11], 3000) << "frames at 44100 Hz are taken as they are";
    } else {
        // Converted to 44100 Hz: the true length, every sample in range.
        EXPECT_EQ(kit->keyLength[11], std::lround(3000 * 44100.0 / c.rate));
        const std::vector<float> key = keyMix(*kit, 11);
        for (int i = 0; i < kMaxKeyFrames; ++i) ASSERT_TRUE(key[i] >= -1.0f && key[i] <= 1.0f) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LoaderFormatTest,
    testing::Values(FormatCase{"wav16_mono", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100},
                    FormatCase{"wav16_stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100},
                    FormatCase{"wav24_mono", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 44100},
                    FormatCase{"wav24_stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 44100},
                    FormatCase{"wav32_mono", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 1, 44100},
                    FormatCase{"wav32_stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 2, 44100},
                    FormatCase{"float_mono", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100},
                    FormatCase{"float_stereo", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100},
                    FormatCase{"aiff_stereo", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 44100},
                    FormatCase{"aifc_float", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 2, 44100},
                    FormatCase{"flac_mono", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 44100},
                    FormatCase{"flac_stereo_48k", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2, 48000},
                    FormatCase{"ogg_stereo", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 44100},
                    FormatCase{"ogg_mono_22k", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, 22050},
                    FormatCase{"caf_stereo", SF_FORMAT_CAF | SF_FORMAT_PCM_16, 2, 44100},
                    FormatCase{"wav_22k", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050},
                    FormatCase{"wav_48k", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000}),
    [](const testing::TestParamInfo<FormatCase>& p) { return std::string(p.param.name); });

class LoaderLengthTest : public LoaderTest, public testing::WithParamInterface<int> {};

TEST_P(LoaderLengthTest, ShortFilesFollowTheLayout) {
    const int frames = GetParam();
    const std::string path = dir.file("short.wav");
    std::vector<float> s;
    for (int i = 0; i < frames; ++i) s.push_back(0.5f + i / 64.0f);
    writeSound(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, s);
    fillKey(*kit, 4, 0.3f, 9000);
    int fd = -1;
    const std::string err = load(path, 4, &fd);
    EXPECT_EQ(err, successLines(path, fd, 4));
    EXPECT_EQ(kit->keyLength[4], std::max(frames, 1));
    // Positions 2 .. frames-4 carry frames 0 .. frames-6: nothing below 6 frames.
    const std::vector<float> key = keyMix(*kit, 4);
    for (int i = 0; i < kMaxKeyFrames; ++i) {
        const float want = (i >= 2 && i <= frames - 4) ? s[i - 2] : 0.0f;
        ASSERT_EQ(key[i], want) << "position " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, LoaderLengthTest, testing::Values(0, 1, 2, 3, 4, 5, 6, 10));

TEST_F(LoaderTest, FileOfExactlyTwelveSecondsKeepsAllItsFrames) {
    const std::string path = dir.file("full.wav");
    writeWav(path, kMaxKeyFrames, 2, 1);
    int fd = -1;
    const std::string err = load(path, 23, &fd);
    EXPECT_EQ(err, successLines(path, fd, 23));
    EXPECT_EQ(kit->keyLength[23], kMaxKeyFrames);
    expectKeyMatches(23, path);
    EXPECT_NE(keyMix(*kit, 23)[kMaxKeyFrames - 4], 0.0f);
}

TEST_F(LoaderTest, LongerFileIsCutTo529199FramesWithItsMessage) {
    const std::string path = dir.file("long.wav");
    writeWav(path, kMaxKeyFrames + 1, 1, 2);
    int fd = -1;
    const std::string err = load(path, 0, &fd);
    const std::string cut = "[Rimbrel-VST] \n Rimbrel err 617-03: frames 529201 is too long for allocation!! \n";
    std::string want = successLines(path, fd, 0);
    want.insert(want.find("[Rimbrel-VST] pre-read"), cut);
    EXPECT_EQ(err, want);
    EXPECT_EQ(kit->keyLength[0], kMaxKeyFrames - 1);
    expectKeyMatches(0, path);
    const Decoded d = decode(path);
    EXPECT_EQ(kit->keySamples[0][529195], d.samples[529193]);
    EXPECT_EQ(kit->keySamples[0][529196], 0.0f);
}

TEST_F(LoaderTest, FourChannelFileLeavesTheKeyAlone) {
    const std::string path = dir.file("quad.wav");
    writeSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4, 44100, ramp(100, 4));
    fillKey(*kit, 6, 0.125f, 777);
    int fd = -1;
    const std::string err = load(path, 6, &fd);
    EXPECT_EQ(err, "[Rimbrel-VST]  DoXPlatLoadStuff " + path + ", 1, " + std::to_string(fd) +
                       ", 6\n[Rimbrel-VST] defines\n"
                       "[Rimbrel-VST] \n 4 channels: a key takes mono or stereo files, key 6 unchanged\n");
    expectKeyHolds(6, 0.125f, 777);
    EXPECT_EQ(observer.events, (std::vector<std::string>{"closed", "open"}));
    EXPECT_EQ(fdAfterLoad, fd) << "the descriptor is closed";
}

TEST_F(LoaderTest, FilesLibsndfileCannotReadLeaveTheKeyAlone) {
    const std::string text = dir.file("notes.wav");
    writeText(text, "these are not samples, whatever the name says\n");
    const std::string raw = dir.file("raw.pcm");
    {
        std::ofstream out(raw, std::ios::binary);
        for (int i = 0; i < 4000; ++i) out.put(static_cast<char>(i * 7));
    }
    fillKey(*kit, 2, -0.5f, 1234);
    for (const std::string& path : {text, raw}) {
        int fd = -1;
        const std::string err = load(path, 2, &fd);
        EXPECT_EQ(err, "[Rimbrel-VST]  DoXPlatLoadStuff " + path + ", 1, " + std::to_string(fd) +
                           ", 2\n[Rimbrel-VST] defines\n"
                           "[Rimbrel-VST] \n not a sound file libsndfile reads, key 2 unchanged\n");
        expectKeyHolds(2, -0.5f, 1234);
    }
    EXPECT_EQ(observer.events, (std::vector<std::string>{"closed", "open", "closed", "open"}));
}

TEST_F(LoaderTest, LoaderThatCannotOpenItsFileSaysSo) {
    fillKey(*kit, 1, 0.25f, 50);
    CaptureStderr();
    DoXPlatLoadStuff(*kit, dir.file("gone.wav").c_str(), 1, &observer);
    EXPECT_EQ(GetCapturedStderr(), "[Rimbrel-VST]  DoXPlatLoadStuff Failed: -1\n");
    expectKeyHolds(1, 0.25f, 50);
    EXPECT_EQ(observer.events, (std::vector<std::string>{"closed", "open"}));
}

TEST_F(LoaderTest, ReadErrorIsReportedAndTheKeyKept) {
    // A FLAC file cut short: its stream header promises frames the decoder
    // cannot deliver.
    const std::string full = dir.file("full.flac");
    writeSound(full, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 44100, ramp(20000, 1));
    const std::string cut = dir.file("cut.flac");
    {
        std::ifstream in(full, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        writeText(cut, bytes.substr(0, bytes.size() / 3));
    }
    fillKey(*kit, 9, 0.75f, 3333);
    int fd = -1;
    const std::string err = load(cut, 9, &fd);
    EXPECT_EQ(err, "[Rimbrel-VST]  DoXPlatLoadStuff " + cut + ", 1, " + std::to_string(fd) +
                       ", 9\n[Rimbrel-VST] defines\n[Rimbrel-VST] pre-read\n"
                       "[Rimbrel-VST] \n failure reading file.. 19997\n");
    expectKeyHolds(9, 0.75f, 3333);
    EXPECT_EQ(observer.events, (std::vector<std::string>{"closed", "open"}));
    EXPECT_EQ(fdAfterLoad, fd);
}

// Rewrites the 32-bit size of a WAV file's data chunk.
void patchDataSize(const std::string& path, uint32_t size) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const std::size_t at = bytes.find("data");
    ASSERT_NE(at, std::string::npos);
    const char le[4] = {char(size & 0xff), char((size >> 8) & 0xff), char((size >> 16) & 0xff), char(size >> 24)};
    f.seekp(static_cast<std::streamoff>(at + 4));
    f.write(le, 4);
}

TEST_F(LoaderTest, HeaderClaimingMoreThanTheFileHoldsLoadsWhatIsThere) {
    // One header claims about a billion frames, another was cut short after
    // writing: both give what the file actually holds.
    const std::string huge = dir.file("huge.wav");
    writeWav(huge, 5000, 1, 4);
    patchDataSize(huge, 0x7ffffff0u);
    const std::string cut = dir.file("cut.wav");
    writeWav(cut, 5000, 2, 5);
    std::filesystem::resize_file(cut, 44 + 2000 * 4 + 2);

    load(huge, 0);
    EXPECT_EQ(kit->keyLength[0], 5000);
    expectKeyMatches(0, huge);
    load(cut, 1);
    EXPECT_EQ(kit->keyLength[1], 2000);
    expectKeyMatches(1, cut);
}

TEST_F(LoaderTest, MissingFileIsLookedForInTheDefaultFolder) {
    // The default folder is relative: work inside the temporary folder.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    std::filesystem::create_directories("c:/Sablewick");
    writeWav("c:/Sablewick/kick.wav", 300, 1, 6);

    int fd = -1;
    const std::string err = load("D:\\drums\\kick.wav", 8, &fd);
    EXPECT_EQ(err, successLines("c:/Sablewick/kick.wav", fd, 8));
    EXPECT_EQ(kit->keyLength[8], 300);
    expectKeyMatches(8, "c:/Sablewick/kick.wav");

    // Unix paths fall back the same way.
    kit->keyLength[8] = 0;
    load("/nowhere/at/all/kick.wav", 8);
    EXPECT_EQ(kit->keyLength[8], 300);

    // No ".w", ".a" or ".r" extension, a base name of 49 characters or more,
    // or nothing in the default folder: nothing happens, quietly.
    const std::string name49(49, 'x');
    writeWav("c:/Sablewick/" + name49 + ".wav", 300, 1, 6);
    fillKey(*kit, 8, 0.5f, 42);
    for (const std::string& path : {std::string("/nowhere/kick.flac"), "/nowhere/" + name49 + ".wav",
                                    std::string("/nowhere/snare.wav"), std::string("abc")}) {
        EXPECT_EQ(load(path, 8), "") << path;
        expectKeyHolds(8, 0.5f, 42);
    }
    std::filesystem::current_path(previous);
}

TEST_F(LoaderTest, EmptyOversizedAndUnusablePathsChangeNothing) {
    fillKey(*kit, 3, 0.5f, 99);
    EXPECT_EQ(load("", 3), "");
    CaptureStderr();
    loadKeyFile(*kit, nullptr, 3, &observer);
    EXPECT_EQ(GetCapturedStderr(), "");

    // 512 bytes: one byte too many for a stored path, even for a real file.
    std::string longPath = dir.path().string() + "/";
    longPath += std::string(512 - longPath.size() - 4, 'a') + ".wav";
    ASSERT_EQ(longPath.size(), 512u);
    EXPECT_EQ(load(longPath, 3), "[Rimbrel-VST] path too long: " + longPath + "\n");

    // A folder and a FIFO with no writer: refused without blocking.
    const std::string fifo = dir.file("pipe.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(load(dir.path().string(), 3), "");
    EXPECT_EQ(load(fifo, 3), "");
    CaptureStderr();
    DoXPlatLoadStuff(*kit, fifo.c_str(), 3, &observer);
    EXPECT_EQ(GetCapturedStderr(), "[Rimbrel-VST]  DoXPlatLoadStuff Failed: -1\n");

    // Keys outside 0..23 are never written.
    const std::string ok = dir.file("ok.wav");
    writeWav(ok, 100);
    EXPECT_EQ(load(ok, 24), "");
    EXPECT_EQ(load(ok, -1), "");
    expectKeyHolds(3, 0.5f, 99);
    EXPECT_TRUE(observer.events == (std::vector<std::string>{"closed", "open"}));
}

TEST_F(LoaderTest, LoadWaitsForTheAudioBlockInProgress) {
    const std::string path = dir.file("wait.wav");
    writeWav(path, 1000, 1, 7);
    fillKey(*kit, 12, 0.5f, 10);

    const Kit::BlockStart start = kit->audioBlockBegin();  // the audio thread is inside a block
    EXPECT_EQ(start.busy, 0u);
    std::thread loader([&] {
        CaptureStderr();
        loadKeyFile(*kit, path.c_str(), 12, nullptr);
        GetCapturedStderr();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // The key is untouched until the block ends.
    EXPECT_EQ(kit->keyLength[12], 10);
    EXPECT_EQ(kit->keySamples[12][5], 0.5f);
    kit->audioBlockEnd();
    loader.join();
    EXPECT_EQ(kit->keyLength[12], 1000);
    EXPECT_EQ(kit->audioBlockBegin().busy, 0u) << "the busy mark is cleared";
    kit->audioBlockEnd();
}

}  // namespace
}  // namespace rimbrel
