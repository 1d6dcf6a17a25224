// What the loader and the probe rely on from the platform: the decoder's
// header facts and reads, the descriptor left to its owner, folders read
// whole and unsorted, and written files replacing their targets.
#include "platform/Files.h"
#include "platform/SoundFileDecoder.h"

#include "../kit/SoundFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace rimbrel {
namespace {

using namespace rimbrel::test;

bool descriptorIsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

std::string contentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(SoundFileDecoder, GivesTheHeaderFactsAndTheFramesAsFloats) {
    TempDir dir;
    const std::vector<float> samples = ramp(5000, 2);
    writeSound(dir.file("a.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 48000, samples);
    const int fd = platform::openForReading(dir.file("a.flac").c_str());
    ASSERT_GE(fd, 0);
    {
        const auto decoder = platform::openSoundFile(fd);
        ASSERT_NE(decoder, nullptr);
        const platform::SoundFileFacts& facts = decoder->facts();
        EXPECT_EQ(facts.channels, 2);
        EXPECT_EQ(facts.sampleRate, 48000);
        EXPECT_EQ(facts.frames, 5000);
        EXPECT_TRUE(facts.recognisedHeader);

        // Asked for more than the file holds: all of it, then a short count
        // that is the end of the file, not a failure.
        std::vector<float> read(2 * 6000);
        EXPECT_EQ(decoder->readFrames(read.data(), 4000), 4000);
        EXPECT_EQ(decoder->readFrames(read.data() + 2 * 4000, 2000), 1000);
        EXPECT_FALSE(decoder->failed());
        read.resize(samples.size());
        EXPECT_EQ(read, decode(dir.file("a.flac")).samples);
    }
    // Closing the decoder leaves the descriptor to the loader.
    EXPECT_TRUE(descriptorIsOpen(fd));
    platform::closeFile(fd);
}

TEST(SoundFileDecoder, RefusesWhatItCannotReadAndReportsADecodingError) {
    TempDir dir;
    writeText(dir.file("notes.wav"), std::string(200, 'x'));
    int fd = platform::openForReading(dir.file("notes.wav").c_str());
    ASSERT_GE(fd, 0);
    // Refused, and the descriptor is still the caller's to close (closing
    // it twice could close a file another thread has just opened).
    EXPECT_EQ(platform::openSoundFile(fd), nullptr);
    EXPECT_TRUE(descriptorIsOpen(fd));
    platform::closeFile(fd);

    // A FLAC file cut in the middle of its frames.
    writeSound(dir.file("full.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 44100, ramp(40000, 1));
    const std::string bytes = contentsOf(dir.file("full.flac"));
    writeText(dir.file("cut.flac"), bytes.substr(0, bytes.size() / 2));
    fd = platform::openForReading(dir.file("cut.flac").c_str());
    ASSERT_GE(fd, 0);
    {
        const auto decoder = platform::openSoundFile(fd);
        ASSERT_NE(decoder, nullptr);
        EXPECT_EQ(decoder->facts().frames, 40000);
        std::vector<float> read(40000);
        EXPECT_LT(decoder->readFrames(read.data(), 40000), 40000);
        EXPECT_TRUE(decoder->failed());
    }
    platform::closeFile(fd);
}

TEST(PlatformFiles, ReadFolderGivesEveryEntryButTheOwnTwoUpToTheBound) {
    TempDir dir;
    for (const char* n : {"b", "a", "c"}) writeText(dir.file(n), "");
    std::filesystem::create_directory(dir.file("sub"));
    std::vector<platform::FolderEntry> entries{{"stale", false}};
    ASSERT_TRUE(platform::readFolder(dir.path().c_str(), entries, 100));
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name + (e.isDirectory ? "/" : ""));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c", "sub/"}));

    ASSERT_TRUE(platform::readFolder(dir.path().c_str(), entries, 2));
    EXPECT_EQ(entries.size(), 2u);
    EXPECT_FALSE(platform::readFolder(dir.file("a").c_str(), entries, 100));
    EXPECT_TRUE(entries.empty());
}

TEST(PlatformFiles, ReplaceFileSwapsInTheNewFileOrLeavesBothAlone) {
    TempDir dir;
    writeText(dir.file("kit.aif"), "old");
    std::FILE* f = std::fopen(dir.file("new.tmp").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("new", f);
    EXPECT_TRUE(platform::flushAndSyncFile(f));
    std::fclose(f);
    ASSERT_TRUE(platform::replaceFile(dir.file("new.tmp"), dir.file("kit.aif")));
    EXPECT_EQ(contentsOf(dir.file("kit.aif")), "new");
    EXPECT_FALSE(std::filesystem::exists(dir.file("new.tmp")));

    // Nothing to move: the target stays as it was.
    EXPECT_FALSE(platform::replaceFile(dir.file("absent.tmp"), dir.file("kit.aif")));
    EXPECT_EQ(contentsOf(dir.file("kit.aif")), "new");
}

}  // namespace
}  // namespace rimbrel
