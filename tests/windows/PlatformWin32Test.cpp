// The files section on Windows: UTF-8 names through wide calls, reads at
// offsets, folders, exclusive creation and replacing, and the decoders
// behind openSoundFile.
#include "platform/Files.h"
#include "platform/LosslessAudio.h"
#include "platform/SoundFileDecoder.h"
#include "platform/ThreadBarrier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace rimbrel {
namespace {

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder() {
        path_ = fs::temp_directory_path() / ("rimbrel-win-" + std::to_string(std::rand()) + "-\xC3\xA9");
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    // A file's path as the program spells it: UTF-8.
    std::string file(const std::string& utf8Name) const {
        return platform::utf8FromPath(path_ / platform::pathFromUtf8(utf8Name));
    }
    std::string path() const { return platform::utf8FromPath(path_); }

private:
    fs::path path_;
};

void writeBytes(const std::string& utf8Path, const std::string& bytes) {
    std::ofstream out(platform::pathFromUtf8(utf8Path), std::ios::binary);
    out << bytes;
}

// A 16-bit mono WAV of the given samples at 44100 Hz.
std::string wavBytes(const std::vector<int16_t>& samples) {
    auto le = [](uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += char((v >> (8 * i)) & 0xFF);
        return s;
    };
    const uint32_t data = uint32_t(samples.size() * 2);
    std::string s = "RIFF" + le(36 + data, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(44100, 4) +
                    le(88200, 4) + le(2, 2) + le(16, 2) + "data" + le(data, 4);
    for (int16_t v : samples) s += le(uint16_t(v), 2);
    return s;
}

TEST(Win32Files, NamesWithAccentsOpenReadAndListAsUtf8) {
    TempFolder dir;
    const std::string name = "caf\xC3\xA9 \xE2\x99\xAA.wav";  // "café ♪.wav"
    writeBytes(dir.file(name), "0123456789");
    fs::create_directory(platform::pathFromUtf8(dir.file("sub \xC3\xB1")));

    const int fd = platform::openForReading(dir.file(name).c_str());
    ASSERT_GE(fd, 0);
    char buffer[8] = {};
    EXPECT_EQ(platform::readAt(fd, 6, buffer, 8), 4);  // short at the end
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(platform::readAt(fd, 2, buffer, 3), 3);  // offsets, not a position
    EXPECT_EQ(std::string(buffer, 3), "234");
    platform::closeFile(fd);

    // Folders and missing files are refused.
    EXPECT_LT(platform::openForReading(dir.path().c_str()), 0);
    EXPECT_LT(platform::openForReading(dir.file("missing.wav").c_str()), 0);

    std::vector<platform::FolderEntry> entries;
    ASSERT_TRUE(platform::readFolder(dir.path().c_str(), entries, 100));
    std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.name < b.name; });
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, name);
    EXPECT_FALSE(entries[0].isDirectory);
    EXPECT_EQ(entries[1].name, "sub \xC3\xB1");
    EXPECT_TRUE(entries[1].isDirectory);
    EXPECT_FALSE(platform::readFolder(dir.file(name).c_str(), entries, 100));
}

TEST(Win32Files, NewFilesAreExclusiveAndReplaceTheirTargets) {
    TempFolder dir;
    const fs::path target = platform::pathFromUtf8(dir.file("kit \xC3\xA9.aif"));
    const fs::path temporary = platform::pathFromUtf8(dir.file(".kit.tmp"));
    writeBytes(platform::utf8FromPath(target), "old");

    std::FILE* file = platform::createNewFile(temporary);
    ASSERT_NE(file, nullptr);
    // A second creation must not take (and empty) the file already there.
    errno = 0;
    EXPECT_EQ(platform::createNewFile(temporary), nullptr);
    EXPECT_EQ(errno, EEXIST);
    std::fputs("new", file);
    EXPECT_TRUE(platform::flushAndSyncFile(file));
    std::fclose(file);

    EXPECT_TRUE(platform::replaceFile(temporary, target));
    EXPECT_FALSE(fs::exists(temporary));
    std::ifstream in(target, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new");
    EXPECT_FALSE(platform::replaceFile(temporary, target));  // nothing to move
}

TEST(Win32Decoding, WavGoesToTheOwnDecoderAndOtherBytesAreRefused) {
    TempFolder dir;
    writeBytes(dir.file("a.wav"), wavBytes({0, 16384, -32768, 32767}));
    writeBytes(dir.file("notes.wav"), std::string(300, 'x'));

    const int fd = platform::openForReading(dir.file("a.wav").c_str());
    ASSERT_GE(fd, 0);
    {
        const auto decoder = platform::openSoundFile(fd);
        ASSERT_NE(decoder, nullptr);
        EXPECT_EQ(decoder->facts().channels, 1);
        EXPECT_EQ(decoder->facts().sampleRate, 44100);
        EXPECT_EQ(decoder->facts().frames, 4);
        float frames[6] = {};
        EXPECT_EQ(decoder->readFrames(frames, 6), 4);
        EXPECT_FALSE(decoder->failed());
        EXPECT_EQ(frames[1], 0.5f);
        EXPECT_EQ(frames[2], -1.0f);
    }
    platform::closeFile(fd);

    const int text = platform::openForReading(dir.file("notes.wav").c_str());
    ASSERT_GE(text, 0);
    EXPECT_EQ(platform::openSoundFile(text), nullptr);
    platform::closeFile(text);
}

TEST(Win32LosslessAudio, KeyAudioComesBackBitForBit) {
    std::vector<float> left(10000), right(10000);
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] = float(int(i % 512) - 256) / 256.0f;
        right[i] = float(int((i * 7) % 65536) - 32768) / 32768.0f;
    }
    const float* channels[2] = {left.data(), right.data()};
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(platform::encodeLosslessAudio(channels, 2, int64_t(left.size()), bytes));
    std::vector<std::vector<float>> decoded;
    ASSERT_TRUE(platform::decodeLosslessAudio(bytes.data(), bytes.size(), {2, 10000}, decoded));
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_EQ(decoded[0], left);
    EXPECT_EQ(decoded[1], right);
    EXPECT_FALSE(platform::decodeLosslessAudio(bytes.data(), bytes.size(), {2, 9999}, decoded));
}

TEST(Win32Threads, TheProcessWideBarrierIsThere) {
    ASSERT_TRUE(platform::processWideBarrierAvailable());
    platform::processWideBarrier();
}

}  // namespace
}  // namespace rimbrel
