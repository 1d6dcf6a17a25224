// The AIFF writer: whole files byte for byte, sample encoding, the extension
// rule, and what happens to the target when writing fails.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <limits>

#include "FormatsTestSupport.h"
#include "formats/AiffWriter.h"

namespace rimbrel {
namespace {

using test::expectedAiff;
using test::readBytes;
using test::ScratchDir;

const char* const kWriterFailureLine = "error: 11 can't write %s: %s\n";

bool writeFile(const std::string& path, const std::string& comment, const std::vector<float>& frames,
               std::size_t pieces = 1) {
    AiffOutput* out = openAiffOutput(path.c_str(), comment.c_str());
    if (!out) return false;
    std::size_t done = 0;
    for (std::size_t p = 0; p < pieces; ++p) {
        const std::size_t n = p + 1 == pieces ? frames.size() - done : frames.size() / pieces;
        writeAiffFrames(out, frames.data() + done, int64_t(n));
        done += n;
    }
    return closeAiffOutput(out, uint32_t(frames.size() * 2));
}

std::vector<int16_t> encoded(const std::vector<float>& frames) {
    std::vector<int16_t> s;
    for (float x : frames) s.push_back(aiffSampleValue(x));
    return s;
}

TEST(AiffWriter, WholeFileMatchesTheLayoutForEveryCommentPadding) {
    ScratchDir dir;
    const std::vector<float> frames = {0.0f, 0.5f, -0.5f, 1.0f / 32768, -1.0f / 32768, 0.25f, -1.0f};
    const std::vector<int16_t> samples = {0, 16384, -16384, 1, -1, 8192, -32768};
    for (const std::string comment : {"op-1", "op-1x", "op-1xy", "op-1xyz", "expo"}) {
        const std::string path = dir.file("c" + std::to_string(comment.size()) + ".aif");
        ASSERT_TRUE(writeFile(path, comment, frames)) << comment;
        EXPECT_EQ(readBytes(path), expectedAiff(comment, samples)) << comment;
    }
}

TEST(AiffWriter, HeaderOnlyFileForZeroFrames) {
    ScratchDir dir;
    const std::string path = dir.file("empty.aif");
    ASSERT_TRUE(writeFile(path, "op-1{}", {}));
    const auto bytes = readBytes(path);
    EXPECT_EQ(bytes, expectedAiff("op-1{}", {}));
    EXPECT_EQ(bytes.size(), aiffHeaderSize(6));
    EXPECT_EQ(test::be32(bytes, 22), 0u);                 // COMM frames
    EXPECT_EQ(test::be32(bytes, bytes.size() - 12), 8u);  // SSND size
}

TEST(AiffWriter, FramesAppendedInSeveralCallsAcrossTheConversionChunk) {
    ScratchDir dir;
    std::vector<float> frames(40001);
    for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = test::testSample(3, int32_t(i));
    const std::string path = dir.file("long.aif");
    ASSERT_TRUE(writeFile(path, "expo", frames, 3));
    EXPECT_EQ(readBytes(path), expectedAiff("expo", encoded(frames)));
}

TEST(AiffWriter, SampleEncodingTruncatesTowardZeroAndSaturates) {
    EXPECT_EQ(aiffSampleValue(0.0f), 0);
    EXPECT_EQ(aiffSampleValue(-0.0f), 0);
    EXPECT_EQ(aiffSampleValue(1.5f / 32768), 1);    // toward zero
    EXPECT_EQ(aiffSampleValue(-1.5f / 32768), -1);  // toward zero, not down
    EXPECT_EQ(aiffSampleValue(0.99f / 32768), 0);
    EXPECT_EQ(aiffSampleValue(32767.0f / 32768), 32767);
    EXPECT_EQ(aiffSampleValue(0.99999f), 32767);
    EXPECT_EQ(aiffSampleValue(1.0f), 32767);  // saturated, never wraps to -32768
    EXPECT_EQ(aiffSampleValue(1.5f), 32767);
    EXPECT_EQ(aiffSampleValue(1e30f), 32767);
    EXPECT_EQ(aiffSampleValue(std::numeric_limits<float>::infinity()), 32767);
    EXPECT_EQ(aiffSampleValue(-1.0f), -32768);
    EXPECT_EQ(aiffSampleValue(-1.0001f), -32768);
    EXPECT_EQ(aiffSampleValue(-1e30f), -32768);
    EXPECT_EQ(aiffSampleValue(-std::numeric_limits<float>::infinity()), -32768);
    EXPECT_EQ(aiffSampleValue(std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST(AiffWriter, OutOfRangeSamplesAreStoredSaturatedInTheFile) {
    ScratchDir dir;
    const std::string path = dir.file("loud.aif");
    ASSERT_TRUE(writeFile(path, "expo", {1.0f, 2.0f, -1.0f, -3.0f}));
    const auto bytes = readBytes(path);
    const std::size_t data = bytes.size() - 8;
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + long(data), bytes.end()),
              (std::vector<uint8_t>{0x7F, 0xFF, 0x7F, 0xFF, 0x80, 0x00, 0x80, 0x00}));
}

TEST(AiffWriter, ExtensionRule) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"Kick.WAV", "Kick.aif"},
        {"kit.AIF", "kit.AIF"},
        {"kit.Aifc", "kit.Aif"},
        {"kit", "kit.aif"},
        {"kit.aiff", "kit.aiff.aif"},
        {"a.wAv", "a.aif"},
        {".wav", ".aif"},
        {"wav", "wav.aif"},
        {"aifc", "aifc.aif"},
        {"x.AIFC", "x.AIF"},
        {"", ".aif"},
        {"dir.wav/x", "dir.wav/x.aif"},
        {"take.mp3", "take.mp3.aif"},
        {"a_wav", "a_wav.aif"},
    };
    for (const auto& c : cases) {
        char buf[kPathBufferSize];
        std::strcpy(buf, c.in);
        EXPECT_TRUE(forceAifExtension(buf, sizeof buf)) << c.in;
        EXPECT_STREQ(buf, c.out) << c.in;
    }
}

TEST(AiffWriter, ExtensionRefusedWhenItDoesNotFitTheBuffer) {
    char buf[kPathBufferSize];
    std::string name(507, 'n');  // 507 + ".aif" = 511: fits
    std::strcpy(buf, name.c_str());
    EXPECT_TRUE(forceAifExtension(buf, sizeof buf));
    EXPECT_EQ(std::strlen(buf), 511u);

    name.assign(508, 'n');
    std::strcpy(buf, name.c_str());
    EXPECT_FALSE(forceAifExtension(buf, sizeof buf));
    EXPECT_EQ(std::string(buf), name);  // unchanged

    name.assign(507, 'n');
    name += ".wav";  // 511: only rewritten, no growth
    std::strcpy(buf, name.c_str());
    EXPECT_TRUE(forceAifExtension(buf, sizeof buf));
    EXPECT_EQ(std::string(buf).substr(507), ".aif");

    char unterminated[4] = {'a', 'b', 'c', 'd'};
    EXPECT_FALSE(forceAifExtension(unterminated, sizeof unterminated));
}

TEST(AiffWriter, ReadsBackThroughLibsndfileAndSox) {
    ScratchDir dir;
    std::vector<float> frames(44100);
    for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = test::testSample(7, int32_t(i));
    const std::string path = dir.file("second.aif");
    ASSERT_TRUE(writeFile(path, "exported from somewhere", frames));

    const auto facts = test::readWithSndfile(path);
    ASSERT_TRUE(facts.opened);
    EXPECT_EQ(facts.frames, 44100);
    EXPECT_EQ(facts.channels, 1);
    EXPECT_EQ(facts.sampleRate, 44100);
    EXPECT_EQ(facts.format, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    EXPECT_EQ(facts.samples, encoded(frames));

    if (!test::haveSox()) GTEST_SKIP() << "sox not installed";
    const std::string info = test::soxInfo(path);
    EXPECT_NE(info.find("Channels       : 1"), std::string::npos) << info;
    EXPECT_NE(info.find("Sample Rate    : 44100"), std::string::npos) << info;
    EXPECT_NE(info.find("Precision      : 16-bit"), std::string::npos) << info;
    EXPECT_NE(info.find("44100 samples"), std::string::npos) << info;
    EXPECT_NE(info.find("16-bit Signed Integer PCM"), std::string::npos) << info;
}

TEST(AiffWriter, ReplacesAnExistingFileOnlyWhenDone) {
    ScratchDir dir;
    const std::string path = dir.file("kit.aif");
    test::writeBytes(path, {'o', 'l', 'd'});
    AiffOutput* out = openAiffOutput(path.c_str(), "expo");
    ASSERT_NE(out, nullptr);
    const float f[2] = {0.5f, -0.5f};
    writeAiffFrames(out, f, 2);
    EXPECT_EQ(readBytes(path), (std::vector<uint8_t>{'o', 'l', 'd'}));  // still the old file
    ASSERT_TRUE(closeAiffOutput(out, 4));
    EXPECT_EQ(readBytes(path), expectedAiff("expo", {16384, -16384}));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"kit.aif"});
}

TEST(AiffWriter, MissingFolderReportsTheWriterLineAndWritesNothing) {
    ScratchDir dir;
    const std::string path = dir.file("no-such-folder/kit.aif");
    testing::internal::CaptureStderr();
    AiffOutput* out = openAiffOutput(path.c_str(), "op-1");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(err, kWriterFailureLine);
    EXPECT_TRUE(dir.entries().empty());
}

TEST(AiffWriter, UnwritableFolderLeavesItsFilesAlone) {
    if (geteuid() == 0) GTEST_SKIP() << "folder permissions do not bind the superuser";
    ScratchDir dir;
    const std::string path = dir.file("kit.aif");
    test::writeBytes(path, {1, 2, 3});
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    testing::internal::CaptureStderr();
    EXPECT_EQ(openAiffOutput(path.c_str(), "op-1"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), kWriterFailureLine);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
    EXPECT_EQ(readBytes(path), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(AiffWriter, TargetThatIsAFolderFailsWithoutLeftovers) {
    ScratchDir dir;
    std::filesystem::create_directory(dir.path() / "kit.aif");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(writeFile(dir.file("kit.aif"), "expo", {0.1f, 0.2f}));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), kWriterFailureLine);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"kit.aif"});
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "kit.aif"));
}

TEST(AiffWriter, WrongDataByteCountAtCloseKeepsTheTarget) {
    ScratchDir dir;
    const std::string path = dir.file("kit.aif");
    test::writeBytes(path, {9, 9});
    AiffOutput* out = openAiffOutput(path.c_str(), "expo");
    ASSERT_NE(out, nullptr);
    const float f[3] = {0.1f, 0.2f, 0.3f};
    writeAiffFrames(out, f, 3);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(closeAiffOutput(out, 2));  // announces 1 frame, holds 3
    EXPECT_EQ(testing::internal::GetCapturedStderr(), kWriterFailureLine);
    EXPECT_EQ(readBytes(path), (std::vector<uint8_t>{9, 9}));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"kit.aif"});
}

TEST(AiffWriter, DiscardedOutputLeavesNothingBehind) {
    ScratchDir dir;
    AiffOutput* out = openAiffOutput(dir.file("kit.aif").c_str(), "expo");
    ASSERT_NE(out, nullptr);
    discardAiffOutput(out);
    EXPECT_TRUE(dir.entries().empty());
}

// Runs the writer in a child process whose files may not grow beyond
// `limitBytes`, so that writing fails part of the way through the audio.
int writeUnderFileSizeLimit(const std::string& path, rlim_t limitBytes, std::size_t frames) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{limitBytes, limitBytes};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::vector<float> audio(frames, 0.25f);
        std::freopen("/dev/null", "w", stderr);
        _exit(writeFile(path, "op-1{}", audio) ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(AiffWriter, FailureHalfWayKeepsTheExistingTargetIntact) {
    ScratchDir dir;
    const std::string path = dir.file("kit.aif");
    const std::vector<uint8_t> old(3000, 0x5A);
    test::writeBytes(path, old);
    EXPECT_EQ(writeUnderFileSizeLimit(path, 64 * 1024, 100000), 1);
    EXPECT_EQ(readBytes(path), old);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"kit.aif"});  // no temporary file left

    // The same write without the limit succeeds.
    EXPECT_EQ(writeUnderFileSizeLimit(path, RLIM_INFINITY, 100000), 0);
    EXPECT_EQ(readBytes(path).size(), aiffHeaderSize(6) + 200000u);
}

TEST(AiffWriter, FullFileSystemKeepsTheExistingTargetIntact) {
    ScratchDir dir;
    const std::filesystem::path mountPoint = dir.path() / "small";
    std::filesystem::create_directory(mountPoint);
    if (mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    struct Unmount {
        std::string at;
        ~Unmount() { umount(at.c_str()); }
    } unmount{mountPoint.string()};

    const std::string path = (mountPoint / "kit.aif").string();
    const std::vector<uint8_t> old(5000, 0x33);
    test::writeBytes(path, old);
    std::vector<float> audio(50000, -0.25f);  // 100 kB: more than the room left
    testing::internal::CaptureStderr();
    EXPECT_FALSE(writeFile(path, "op-1{}", audio));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), kWriterFailureLine);
    EXPECT_EQ(readBytes(path), old);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(mountPoint)) ++entries;
    EXPECT_EQ(entries, 1u);
}

}  // namespace
}  // namespace rimbrel
