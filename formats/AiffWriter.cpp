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
    uint32_t headerBytes = 0;  // 100 + L + P
    uint64_t dataBytes = 0;    // sample bytes appended so far
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

AiffOutput* openAiffOutput(const char* path, const char* comment) {
    if (!path || !comment) {
        reportWriteFailure();
        return nullptr;
    }
    AiffOutput* out = new (std::nothrow) AiffOutput;
    if (!out) {
        reportWriteFailure();
        return nullptr;
    }
    try {
        out->target = fs::path(path);
        const std::size_t L = std::strlen(comment);
        const std::size_t P = (4 - L % 4) % 4;
        // The FORM size must fit 32 bits with room for the audio.
        if (L > 0x7fffffffu) throw std::length_error("comment");
        out->headerBytes = aiffHeaderSize(L);

        for (unsigned attempt = 0; attempt < 16 && !out->file; ++attempt) {
            out->temporary = temporaryPathBeside(out->target, attempt);
            out->file = std::fopen(out->temporary.string().c_str(), "wbx");
            if (!out->file && errno != EEXIST) break;
        }
        if (!out->file) {
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
        putBigEndian16(head + 20, 1);   // channels
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
    bool ok = !out->failed && dataBytes == out->dataBytes;
    if (ok) {
        const uint32_t P0 = out->headerBytes;  // offset of the first sample
        ok = writeAt(out->file, 4, out->headerBytes - 8 + dataBytes) &&
             writeAt(out->file, 22, dataBytes / 2) &&
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
