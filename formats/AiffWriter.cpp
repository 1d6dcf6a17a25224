#include "formats/AiffWriter.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>

#include "platform/Files.h"

namespace rimbrel {

namespace fs = std::filesystem;

struct AiffOutput {
    std::FILE* file = nullptr;
    fs::path target;
    fs::path temporary;
    uint32_t headerBytes = 0;  // offset of the first sample (100 + L + P for AIFF)
    uint64_t dataBytes = 0;    // sample bytes appended so far
    int channels = 1;
    bool littleEndian = false;  // AIFC "sowt"
    long framesField = 22;      // offset of the COMM frame count
    bool failed = false;
};

namespace {

// The writer's one failure line; its text keeps its placeholders as they stand.
void reportWriteFailure() { std::fprintf(stderr, "error: %d %s\n", 11, "can't write %s: %s"); }

void putBigEndian32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

void putBigEndian16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

bool equalsIgnoringCase(const char* text, const char* lowerWord, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != lowerWord[i]) return false;
    }
    return true;
}

// A name for the temporary file that is unlikely to be taken; creation is
// exclusive, so a clash only costs another try.
fs::path temporaryPathBeside(const fs::path& target, unsigned attempt) {
    static std::atomic<uint64_t> counter{0};
    const uint64_t stamp = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    const uint64_t n = counter.fetch_add(1) + attempt;
    char name[64];
    std::snprintf(name, sizeof name, ".rimbrel-%08llx-%llu.tmp",
                  static_cast<unsigned long long>(stamp & 0xffffffffu),
                  static_cast<unsigned long long>(n));
    return target.parent_path() / name;
}

bool writeAt(std::FILE* f, long offset, uint32_t value) {
    uint8_t b[4];
    putBigEndian32(b, value);
    return std::fseek(f, offset, SEEK_SET) == 0 && std::fwrite(b, 1, 4, f) == 4;
}

// Floats to 16-bit big-endian samples; written so that the compiler can
// vectorise it.
void convertSamples(const float* __restrict in, uint8_t* __restrict out, int n) {
    for (int i = 0; i < n; ++i) {
        const uint16_t v = uint16_t(aiffSampleValue(in[i]));
        out[2 * i] = uint8_t(v >> 8);
        out[2 * i + 1] = uint8_t(v);
    }
}

// Floats to 16-bit little-endian samples.
void convertSamplesLittleEndian(const float* __restrict in, uint8_t* __restrict out, int n) {
    for (int i = 0; i < n; ++i) {
        const uint16_t v = uint16_t(aiffSampleValue(in[i]));
        out[2 * i] = uint8_t(v);
        out[2 * i + 1] = uint8_t(v >> 8);
    }
}

void removeTemporary(AiffOutput* out) {
    if (out->file) {
        std::fclose(out->file);
        out->file = nullptr;
    }
    std::error_code ec;
    fs::remove(out->temporary, ec);
}

}  // namespace

bool forceAifExtension(char* name, std::size_t capacity) {
    if (!name || capacity == 0) return false;
    const void* end = std::memchr(name, 0, capacity);
    if (!end) return false;
    const std::size_t n = std::size_t(static_cast<const char*>(end) - name);
    if (n >= 4 && name[n - 4] == '.' && equalsIgnoringCase(name + n - 3, "wav", 3)) {
        std::memcpy(name + n - 3, "aif", 3);
        return true;
    }
    if (n >= 4 && name[n - 4] == '.' && equalsIgnoringCase(name + n - 3, "aif", 3)) return true;
    if (n >= 5 && name[n - 5] == '.' && equalsIgnoringCase(name + n - 4, "aifc", 4)) {
        name[n - 1] = 0;
        return true;
    }
    if (n + 4 >= capacity) return false;
    std::memcpy(name + n, ".aif", 5);
    return true;
}

namespace {

// Creates the output's temporary file beside its target; false when no name
// could be taken.
bool createTemporary(AiffOutput* out) {
    for (unsigned attempt = 0; attempt < 16 && !out->file; ++attempt) {
        out->temporary = temporaryPathBeside(out->target, attempt);
        out->file = platform::createNewFile(out->temporary);
        if (!out->file && errno != EEXIST) break;
    }
    return out->file != nullptr;
}

}  // namespace

AiffOutput* openAiffOutput(const char* path, const char* comment, int channels) {
    if (!path || !comment || channels < 1 || channels > 2) {
        reportWriteFailure();
        return nullptr;
    }
    AiffOutput* out = new (std::nothrow) AiffOutput;
    if (!out) {
        reportWriteFailure();
        return nullptr;
    }
    try {
        out->target = platform::pathFromUtf8(path);
        const std::size_t L = std::strlen(comment);
        const std::size_t P = (4 - L % 4) % 4;
        // The FORM size must fit 32 bits with room for the audio.
        if (L > 0x7fffffffu) throw std::length_error("comment");
        out->headerBytes = aiffHeaderSize(L);
        out->channels = channels;

        if (!createTemporary(out)) {
            reportWriteFailure();
            delete out;
            return nullptr;
        }

        uint8_t head[46];
        std::memcpy(head + 0, "FORM", 4);
        putBigEndian32(head + 4, out->headerBytes - 8);
        std::memcpy(head + 8, "AIFF", 4);
        std::memcpy(head + 12, "COMM", 4);
        putBigEndian32(head + 16, 18);
        putBigEndian16(head + 20, uint16_t(channels));
        putBigEndian32(head + 22, 0);   // frames, patched at the end
        putBigEndian16(head + 26, 16);  // bits per sample
        static const uint8_t rate44100[10] = {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
        std::memcpy(head + 28, rate44100, 10);
        std::memcpy(head + 38, "APPL", 4);
        putBigEndian32(head + 42, uint32_t(L + P));

        uint8_t tail[4 + 54] = {};  // padding, then MARK, INST and SSND up to the samples
        uint8_t* t = tail + P;
        std::memcpy(t + 0, "MARK", 4);
        putBigEndian32(t + 4, 2);
        putBigEndian16(t + 8, 0);  // no markers
        std::memcpy(t + 10, "INST", 4);
        putBigEndian32(t + 14, 20);
        t[18] = 60;   // base note
        t[19] = 0;    // detune
        t[20] = 0;    // low note
        t[21] = 127;  // high note
        t[22] = 1;    // low velocity
        t[23] = 127;  // high velocity
        // gain and both loops (mode, begin, end) stay 0: bytes 24..37
        std::memcpy(t + 38, "SSND", 4);
        putBigEndian32(t + 42, 8);  // patched at the end
        // offset and block size 0: bytes 46..53

        const bool ok = std::fwrite(head, 1, sizeof head, out->file) == sizeof head &&
                        std::fwrite(comment, 1, L, out->file) == L &&
                        std::fwrite(tail, 1, P + 54, out->file) == P + 54;
        if (!ok) out->failed = true;
        return out;
    } catch (...) {
        reportWriteFailure();
        removeTemporary(out);
        delete out;
        return nullptr;
    }
}

AiffOutput* openAifcOutput(const char* path, int channels, const char* appl, std::size_t applLength) {
    if (!path || !appl || channels < 1 || channels > 2 || applLength > 0x7fffffffu) {
        reportWriteFailure();
        return nullptr;
    }
    AiffOutput* out = new (std::nothrow) AiffOutput;
    if (!out) {
        reportWriteFailure();
        return nullptr;
    }
    try {
        out->target = platform::pathFromUtf8(path);
        out->channels = channels;
        out->littleEndian = true;
        out->framesField = 34;
        const std::size_t pad = applLength & 1;
        static const char kCompressionName[] = "Signed integer (little-endian) linear PCM";
        constexpr std::size_t kNameLength = sizeof kCompressionName - 1;  // 41: with its count, even
        constexpr uint32_t kCommonSize = uint32_t(22 + 1 + kNameLength);
        out->headerBytes = uint32_t(12 + 12 + 8 + kCommonSize + 8 + applLength + pad + 16);

        if (!createTemporary(out)) {
            reportWriteFailure();
            delete out;
            return nullptr;
        }

        uint8_t head[12 + 12 + 8 + kCommonSize + 8] = {};
        uint8_t* h = head;
        std::memcpy(h, "FORM", 4);
        putBigEndian32(h + 4, out->headerBytes - 8);
        std::memcpy(h + 8, "AIFC", 4);
        h += 12;
        std::memcpy(h, "FVER", 4);
        putBigEndian32(h + 4, 4);
        putBigEndian32(h + 8, 0xA2805140u);  // the AIFC version stamp
        h += 12;
        std::memcpy(h, "COMM", 4);
        putBigEndian32(h + 4, kCommonSize);
        putBigEndian16(h + 8, uint16_t(channels));
        putBigEndian32(h + 10, 0);   // frames, patched at the end
        putBigEndian16(h + 14, 16);  // bits per sample
        static const uint8_t rate44100[10] = {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
        std::memcpy(h + 16, rate44100, 10);
        std::memcpy(h + 26, "sowt", 4);
        h[30] = uint8_t(kNameLength);
        std::memcpy(h + 31, kCompressionName, kNameLength);
        h += 8 + kCommonSize;
        std::memcpy(h, "APPL", 4);
        putBigEndian32(h + 4, uint32_t(applLength));

        uint8_t tail[1 + 16] = {};  // padding, then SSND up to the samples
        uint8_t* t = tail + pad;
        std::memcpy(t, "SSND", 4);
        putBigEndian32(t + 4, 8);  // patched at the end
        // offset and block size 0

        const bool ok = std::fwrite(head, 1, sizeof head, out->file) == sizeof head &&
                        std::fwrite(appl, 1, applLength, out->file) == applLength &&
                        std::fwrite(tail, 1, pad + 16, out->file) == pad + 16;
        if (!ok) out->failed = true;
        return out;
    } catch (...) {
        reportWriteFailure();
        removeTemporary(out);
        delete out;
        return nullptr;
    }
}

bool writeAiffFrames(AiffOutput* out, const float* frames, int64_t count) {
    if (!out) return false;
    if (out->failed) return false;
    if (count <= 0) return true;
    if (!frames || uint64_t(count) * 2 > uint64_t(0xffffffffu) - out->headerBytes - out->dataBytes) {
        out->failed = true;
        return false;
    }
    constexpr int64_t kChunk = 16384;
    uint8_t bytes[kChunk * 2];
    for (int64_t done = 0; done < count;) {
        const int n = int(count - done < kChunk ? count - done : kChunk);
        if (out->littleEndian)
            convertSamplesLittleEndian(frames + done, bytes, n);
        else
            convertSamples(frames + done, bytes, n);
        if (std::fwrite(bytes, 1, std::size_t(2 * n), out->file) != std::size_t(2 * n)) {
            out->failed = true;
            return false;
        }
        done += n;
    }
    out->dataBytes += uint64_t(count) * 2;
    return true;
}

bool closeAiffOutput(AiffOutput* out, uint32_t dataBytes) {
    if (!out) return false;
    const uint32_t frameBytes = uint32_t(2 * out->channels);
    bool ok = !out->failed && dataBytes == out->dataBytes && dataBytes % frameBytes == 0;
    if (ok) {
        const uint32_t P0 = out->headerBytes;  // offset of the first sample
        ok = writeAt(out->file, 4, out->headerBytes - 8 + dataBytes) &&
             writeAt(out->file, out->framesField, dataBytes / frameBytes) &&
             writeAt(out->file, long(P0) - 12, 8 + dataBytes) && platform::flushAndSyncFile(out->file);
    }
    if (ok) {
        const int closed = std::fclose(out->file);
        out->file = nullptr;
        ok = closed == 0;
    }
    if (ok) ok = platform::replaceFile(out->temporary, out->target);
    if (!ok) {
        reportWriteFailure();
        removeTemporary(out);
    }
    delete out;
    return ok;
}

void discardAiffOutput(AiffOutput* out) {
    if (!out) return;
    removeTemporary(out);
    delete out;
}

}  // namespace rimbrel
