// Helpers shared by the format tests: scratch folders, file bytes, the
// expected bytes of a writer file built from the layout table, a small kit to
// export, and read-back through libsndfile and sox.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/KitExport.h"

namespace rimbrel::test {

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Names of the entries in the folder, sorted.
    std::vector<std::string> entries() const;

private:
    std::filesystem::path path_;
};

std::vector<uint8_t> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// A whole writer file, built byte by byte from the layout table.
std::vector<uint8_t> expectedAiff(const std::string& comment, const std::vector<int16_t>& samples);

// A kit whose keys own their audio and names.
struct TestKit {
    std::vector<float> audio[kNumKeys];
    std::string names[kNumKeys];
    KitExportInput in;

    // Key k gets n frames, frame i = value(k, i); named unless name is empty.
    void setKey(int k, int32_t n, const std::string& name = "key.wav");
    void setKey(int k, std::vector<float> frames, const std::string& name = "key.wav");
    const KitExportInput& input();
};

// Frame i of key k in TestKit: a distinct multiple of 1/32768 for each (k, i).
float testSample(int k, int32_t i);

struct SoundFileFacts {
    bool opened = false;
    int64_t frames = 0;
    int channels = 0;
    int sampleRate = 0;
    int format = 0;
    std::vector<int16_t> samples;
};
SoundFileFacts readWithSndfile(const std::string& path);

// `sox --i` output for the file ("" when sox is missing or fails).
std::string soxInfo(const std::string& path);
bool haveSox();

// Big-endian field readers.
uint32_t be32(const std::vector<uint8_t>& b, std::size_t at);
uint16_t be16(const std::vector<uint8_t>& b, std::size_t at);

// The APPL body of a writer file (L + P bytes).
std::string applBody(const std::vector<uint8_t>& file);

}  // namespace rimbrel::test
