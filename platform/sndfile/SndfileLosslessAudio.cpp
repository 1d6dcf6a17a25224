// Lossless audio as FLAC (24-bit) through libsndfile's virtual I/O on memory.
//
// The samples cross libsndfile as ints, never as floats: its float path
// scales by 2^23 - 1 when writing and by 2^23 when reading, which would move
// every sample a little. As ints, a 24-bit sample travels left-justified in
// 32 bits both ways, so the 24-bit grid of LosslessAudio.h holds exactly.
#include "platform/LosslessAudio.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

namespace rimbrel::platform {

namespace {

// Frames per libsndfile call: bounds the temporary interleaved block.
constexpr int64_t kBlockFrames = 4096;
constexpr int kMaxCodecChannels = 2;
// libsndfile's scale 0..1 over FLAC's levels 0..8.
constexpr double kCompressionLevel = 0.25;

// A file in memory for libsndfile: the bytes, and a position in them.
// Reading never goes past the bytes; writing grows them (a failed growth is a
// short write, which libsndfile reports as an error).
struct MemoryFile {
    const uint8_t* readBytes = nullptr;       // reading
    std::vector<uint8_t>* written = nullptr;  // writing
    sf_count_t size = 0;
    sf_count_t position = 0;
};

sf_count_t memoryLength(void* user) { return static_cast<MemoryFile*>(user)->size; }

sf_count_t memorySeek(sf_count_t offset, int whence, void* user) {
    MemoryFile& f = *static_cast<MemoryFile*>(user);
    sf_count_t base = 0;
    switch (whence) {
        case SEEK_SET: base = 0; break;
        case SEEK_CUR: base = f.position; break;
        case SEEK_END: base = f.size; break;
        default: return -1;
    }
    if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return -1;
    f.position = base + offset;
    return f.position;
}

sf_count_t memoryRead(void* destination, sf_count_t count, void* user) {
    MemoryFile& f = *static_cast<MemoryFile*>(user);
    if (count <= 0 || f.position >= f.size) return 0;
    const sf_count_t n = std::min(count, f.size - f.position);
    const uint8_t* from = f.written ? f.written->data() : f.readBytes;
    std::memcpy(destination, from + f.position, std::size_t(n));
    f.position += n;
    return n;
}

sf_count_t memoryWrite(const void* source, sf_count_t count, void* user) {
    MemoryFile& f = *static_cast<MemoryFile*>(user);
    if (!f.written || count <= 0) return 0;
    const sf_count_t end = f.position + count;
    try {
        if (std::size_t(end) > f.written->size()) f.written->resize(std::size_t(end));
    } catch (...) {  // nothing may cross libsndfile's C frames
        return 0;
    }
    std::memcpy(f.written->data() + f.position, source, std::size_t(count));
    f.position = end;
    f.size = std::max(f.size, end);
    return count;
}

sf_count_t memoryTell(void* user) { return static_cast<MemoryFile*>(user)->position; }

SF_VIRTUAL_IO memoryIo() {
    SF_VIRTUAL_IO io;
    io.get_filelen = memoryLength;
    io.seek = memorySeek;
    io.read = memoryRead;
    io.write = memoryWrite;
    io.tell = memoryTell;
    return io;
}

// A float frame on the 24-bit grid, left-justified as libsndfile's ints are.
int32_t toStoredInt(float v) {
    if (!(v == v)) return 0;  // NaN
    const float scaled = std::nearbyint(v * kLosslessAudioScale);
    const float clamped = std::clamp(scaled, -kLosslessAudioScale, kLosslessAudioScale - 1.0f);
    return int32_t(clamped) * 256;
}

float fromStoredInt(int32_t v) { return float(v >> 8) / kLosslessAudioScale; }

// Makes room for `needed` floats, doubling as a vector does but never past
// `limit` (needed is at most limit).
void growWithin(std::vector<float>& channel, std::size_t needed, std::size_t limit) {
    if (needed <= channel.capacity()) return;
    channel.reserve(std::min(limit, std::max(needed, channel.capacity() * 2)));
}

}  // namespace

bool encodeLosslessAudio(const float* const* channels, int channelCount, int64_t frames,
                         std::vector<uint8_t>& out) {
    if (channelCount < 1 || channelCount > kMaxCodecChannels || frames < 0 || channels == nullptr) return false;
    for (int c = 0; c < channelCount; ++c)
        if (channels[c] == nullptr && frames > 0) return false;

    std::vector<uint8_t> bytes;
    std::vector<int32_t> block;
    try {
        bytes.reserve(std::size_t(frames) * std::size_t(channelCount) * 2 + 1024);
        block.resize(std::size_t(kBlockFrames) * std::size_t(channelCount));
    } catch (const std::exception&) {
        return false;
    }
    MemoryFile file;
    file.written = &bytes;
    SF_VIRTUAL_IO io = memoryIo();
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = 44100;
    info.channels = channelCount;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    SNDFILE* sf = sf_open_virtual(&io, SFM_WRITE, &info, &file);
    if (sf == nullptr) return false;
    // FLAC's level 2 of 8: a full kit packs in about 60% of the default
    // level's time, and only some 2% larger.
    double level = kCompressionLevel;
    sf_command(sf, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);

    bool ok = true;
    for (int64_t done = 0; ok && done < frames;) {
        const int64_t n = std::min(kBlockFrames, frames - done);
        for (int64_t i = 0; i < n; ++i)
            for (int c = 0; c < channelCount; ++c)
                block[std::size_t(i * channelCount + c)] = toStoredInt(channels[c][done + i]);
        ok = sf_writef_int(sf, block.data(), n) == n;
        done += n;
    }
    // Closing finishes the stream (its last frame and the header's counts).
    ok = sf_close(sf) == 0 && ok && file.size > 0;
    if (!ok) return false;
    bytes.resize(std::size_t(file.size));
    if (out.empty()) {
        out = std::move(bytes);
        return true;
    }
    try {
        out.insert(out.end(), bytes.begin(), bytes.end());
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool decodeLosslessAudio(const uint8_t* bytes, std::size_t size, const LosslessAudioLimits& limits,
                         std::vector<std::vector<float>>& channels) {
    channels.clear();
    // Only this codec's streams: libsndfile would open any format it knows.
    if (bytes == nullptr || size < 4 || std::memcmp(bytes, "fLaC", 4) != 0) return false;
    if (limits.maxChannels < 1 || limits.maxFrames < 0) return false;

    MemoryFile file;
    file.readBytes = bytes;
    file.size = sf_count_t(size);
    SF_VIRTUAL_IO io = memoryIo();
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    SNDFILE* sf = sf_open_virtual(&io, SFM_READ, &info, &file);
    if (sf == nullptr) return false;

    const int count = info.channels;
    bool ok = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC && count >= 1 &&
              count <= std::min(limits.maxChannels, kMaxCodecChannels) && info.frames >= 0 &&
              info.frames <= limits.maxFrames;
    std::vector<std::vector<float>> decoded;
    std::vector<int32_t> block;
    if (ok) {
        try {
            decoded.resize(std::size_t(count));
            for (std::vector<float>& channel : decoded) channel.reserve(std::size_t(info.frames));
            block.resize(std::size_t(kBlockFrames) * std::size_t(count));
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    // The header's frame count is only a claim: read until the stream ends,
    // and refuse it as soon as it holds more than the limit.
    int64_t total = 0;
    while (ok) {
        const sf_count_t got = sf_readf_int(sf, block.data(), kBlockFrames);
        if (got <= 0) break;
        if (got > kBlockFrames || total + got > limits.maxFrames) {
            ok = false;
            break;
        }
        try {
            for (int c = 0; c < count; ++c) {
                std::vector<float>& channel = decoded[std::size_t(c)];
                growWithin(channel, std::size_t(total + got), std::size_t(limits.maxFrames));
                for (sf_count_t i = 0; i < got; ++i) channel.push_back(fromStoredInt(block[std::size_t(i * count + c)]));
            }
        } catch (const std::bad_alloc&) {
            ok = false;
        }
        total += got;
    }
    ok = ok && sf_error(sf) == SF_ERR_NO_ERROR;
    sf_close(sf);
    if (!ok) return false;
    channels = std::move(decoded);
    return true;
}

}  // namespace rimbrel::platform
