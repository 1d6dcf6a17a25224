// What the robustness tests share: files built byte by byte (so that their
// headers can lie), sound files written with libsndfile, a watchdog that
// turns a hang into a failure, and the process's memory figures.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace rimbrel::robust {

using Bytes = std::string;

// ---- raw bytes ----
void putLE16(Bytes& b, uint16_t v);
void putLE32(Bytes& b, uint32_t v);
void putBE16(Bytes& b, uint16_t v);
void putBE32(Bytes& b, uint32_t v);
void setLE32(Bytes& b, std::size_t at, uint32_t v);
void setBE32(Bytes& b, std::size_t at, uint32_t v);
void setBE16(Bytes& b, std::size_t at, uint16_t v);
void setLE16(Bytes& b, std::size_t at, uint16_t v);

// A WAV file: RIFF, fmt (16 bytes), optional extra chunks, data.
// format 1 = integer PCM, 3 = IEEE float; data holds the sample bytes.
struct WavSpec {
    uint16_t format = 1;
    uint16_t channels = 1;
    uint32_t rate = 44100;
    uint16_t bits = 16;
    Bytes extraChunks;  // whole chunks placed between fmt and data
    Bytes data;
};
Bytes wavBytes(const WavSpec& layout);
// Offset of the four bytes of a chunk's size ("data", "fmt ", ...).
std::size_t chunkSizeOffset(const Bytes& file, const char* id);

// 16-bit samples of a gentle ramp, little- or big-endian.
Bytes pcm16(int frames, int channels, bool bigEndian = false);
// 32-bit float samples, little-endian.
Bytes float32(const std::vector<float>& samples);

// An AIFF file: FORM, COMM (channels, frames, 16 bits, rate), optional extra
// chunks, SSND with the given big-endian sample bytes.
struct AiffSpec {
    uint16_t channels = 1;
    uint32_t frames = 0;  // as the COMM chunk claims it
    uint16_t bits = 16;
    double rate = 44100;
    Bytes extraChunks;  // placed between COMM and SSND
    Bytes data;
};
Bytes aiffBytes(const AiffSpec& layout);

// A sound file written by libsndfile (format a full SF_FORMAT_* value).
Bytes soundBytes(const std::filesystem::path& scratch, int format, int channels, int frames,
                 int rate = 44100);

// A small valid PNG image (1 x 1 pixel).
Bytes pngBytes();

void writeBytes(const std::filesystem::path& path, const Bytes& bytes);
Bytes readBytes(const std::filesystem::path& path);

// A scratch folder removed with its contents (permissions restored first).
class Scratch {
public:
    explicit Scratch(const std::string& tag);
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Every name in a folder and below (the folder itself not included),
// for checking that nothing was left behind.
std::vector<std::string> listTree(const std::filesystem::path& folder);

// Ends the process with a message when not dismissed within `limit`: a call
// that hangs must fail its test rather than stall the suite. Not a speed
// check: the limits are generous.
class Watchdog {
public:
    Watchdog(std::string what, std::chrono::seconds limit);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};

// Resident set size of the process, in KiB (from /proc/self/statm).
long residentKiB();
// Bytes the heap has handed out and not taken back (mallinfo2's uordblks
// plus its mmapped blocks).
std::size_t heapInUse();
// Open file descriptors of the process.
int openDescriptors();
// The descriptor number the next open() will get (the lowest free one).
int nextDescriptor();

// True when running under a sanitizer or valgrind (long loops are cut short
// there).
bool slowRuntime();
// A loop count: `full` normally, `full / divisor` (at least 1) under a slow
// runtime; the environment variable `name` overrides both.
int loopCount(const char* name, int full, int divisor);

}  // namespace rimbrel::robust
