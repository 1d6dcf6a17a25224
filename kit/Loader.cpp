#include "kit/Loader.h"

#include "kit/Diagnostics.h"
#include "kit/FileAccess.h"
#include "kit/KeyAudio.h"
#include "kit/RateConverter.h"

#include <sndfile.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace rimbrel {
namespace {

constexpr int64_t kCutFrames = kMaxKeyFrames - 1;  // what a longer file is cut to
constexpr int kLeadFrames = 2;                      // silent frames ahead of the audio
constexpr int kMaxChannels = 2;
constexpr int64_t kChunkFrames = 4096;  // frames decoded per library read
constexpr const char* kFallbackFolder = "c:/Sablewick/";
constexpr int kFallbackNameMax = 49;

bool canOpen(const char* path) {
    const int fd = platform::openForReading(path);
    if (fd < 0) return false;
    platform::closeFile(fd);
    return true;
}

void notifyLoadStarted(LoadObserver* observer) {
    if (observer) observer->loadStarted();
}

void notifyLoadEnded(LoadObserver* observer) {
    if (observer) observer->loadEnded();
}

// One channel of count interleaved frames: mixed to mono when pick is
// below 0, else channel pick alone (clamped like the mix).
void foldFrames(const float* in, float* out, std::size_t count, int channels, int pick) {
    if (pick < 0) {
        mixToMono(in, out, count, channels);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) out[i] = clampSample(in[i * std::size_t(channels) + std::size_t(pick)]);
}

// Decodes n file frames, mixed to mono (or channel pick), into key positions 2 .. count - 1
// of decoded (file frame f lands on position f + 2; the frames from
// count - 2 on are read but not used). Returns the file frames read, or -1
// when libsndfile reports a decoding error.
int64_t decodeFrameForFrame(SNDFILE* sf, int channels, int64_t n, int64_t count, float* decoded, float* chunk,
                            int pick = -1) {
    int64_t read = 0;  // file frames read so far
    while (read < n) {
        const int64_t want = std::min<int64_t>(kChunkFrames, n - read);
        const int64_t got = std::max<sf_count_t>(sf_readf_float(sf, chunk, want), 0);
        // File frame f lands on key position f + 2; positions from n on are
        // not part of the key.
        const int64_t usable = std::min<int64_t>(got, count - kLeadFrames - read);
        if (usable > 0) foldFrames(chunk, decoded + kLeadFrames + read, static_cast<std::size_t>(usable), channels, pick);
        read += got;
        if (got < want) {
            if (sf_error(sf) != SF_ERR_NO_ERROR) return -1;
            // The file ends before its header says (libsndfile gives a short
            // count without an error): it keeps the length its header gives,
            // and the frames it lacks are silence.
            break;
        }
    }
    return read;
}

// Decodes the file mixed to mono and converted to 44100 Hz into out, until
// wanted converted frames are there or the file ends: a long file is read
// only as far as the frames kept need (plus the converter's filter).
// Returns the converted frames written (clamped to -1..+1: the filter can
// overshoot), or -1 when decoding or converting fails.
int64_t decodeConverted(SNDFILE* sf, int channels, RateConverter& converter, float* chunk, float* mono, float* out,
                        int64_t wanted, int pick = -1) {
    int64_t made = 0;
    bool ended = false;
    while (made < wanted && !ended) {
        const int64_t got = std::max<sf_count_t>(sf_readf_float(sf, chunk, kChunkFrames), 0);
        if (got < kChunkFrames) {
            if (sf_error(sf) != SF_ERR_NO_ERROR) return -1;
            ended = true;
        }
        // Mixed (and so clamped, NaN silenced) before the filter spreads it.
        foldFrames(chunk, mono, static_cast<std::size_t>(got), channels, pick);
        std::size_t taken = 0;
        while (taken < static_cast<std::size_t>(got) && made < wanted) {
            std::size_t used = 0, produced = 0;
            if (!converter.convert(mono + taken, static_cast<std::size_t>(got) - taken, used, out + made,
                                   static_cast<std::size_t>(wanted - made), produced))
                return -1;
            taken += used;
            made += static_cast<int64_t>(produced);
            if (used == 0 && produced == 0) break;
        }
    }
    // At the end of the file the filter gives out what it still holds.
    while (ended && made < wanted) {
        std::size_t used = 0, produced = 0;
        if (!converter.convert(nullptr, 0, used, out + made, static_cast<std::size_t>(wanted - made), produced))
            return -1;
        if (produced == 0) break;
        made += static_cast<int64_t>(produced);
    }
    for (int64_t i = 0; i < made; ++i) out[i] = clampSample(out[i]);
    return made;
}

// Everything between opening the descriptor and closing it again. Returns
// with the descriptor closed.
LoadReport loadFromDescriptor(Kit& kit, int fd, int k, LoadObserver* observer) {
    LoadReport report;
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    SNDFILE* sf = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);

    // Header facts. A file libsndfile cannot read has no channels and so is
    // refused below, like a file with too many.
    const int channels = sf ? info.channels : 0;
    int64_t frames = sf ? std::max<int64_t>(info.frames, 0) : 0;
    report.sourceRate = sf ? info.samplerate : 0;
    report.sourceFrames = frames;
    // From here on frames counts at 44100 Hz: every rule below follows the
    // file's true length.
    report.resampled = sf && channels >= 1 && channels <= kMaxChannels && convertsRate(info.samplerate);
    if (report.resampled) frames = convertedFrames(frames, info.samplerate);

    if (frames > kMaxKeyFrames) {
        std::fprintf(stderr, "[%s] \n Rimbrel err 617-03: frames %" PRId64 " is too long for allocation!! \n",
                     kLogTag, frames);
        frames = kCutFrames;
        report.cut = true;
    }
    if (sf) {
        sf_command(sf, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
        sf_seek(sf, 0, SEEK_SET);
    }
    if (channels > kMaxChannels || channels < 1) {
        if (!sf)
            std::fprintf(stderr, "[%s] \n not a sound file libsndfile reads, key %i unchanged\n", kLogTag, k);
        else
            std::fprintf(stderr, "[%s] \n %i channels: a key takes mono or stereo files, key %i unchanged\n",
                         kLogTag, channels, k);
        if (sf) sf_close(sf);
        platform::closeFile(fd);
        return report;
    }

    // The decoded key: min(frames, 529200) floats laid out as the key will
    // be (two silent frames, then the file's frames mixed to mono). Decoding
    // runs in chunks through a small interleaved buffer that stays in cache;
    // the result is the same as one read of frames - 3 frames into channel
    // buffers from index 2 on.
    const int64_t bufferFrames = std::min<int64_t>(frames, kMaxKeyFrames);
    std::unique_ptr<float[]> decoded(new (std::nothrow) float[bufferFrames > 0 ? bufferFrames : 1]);
    std::unique_ptr<float[]> chunk(new (std::nothrow) float[static_cast<std::size_t>(kChunkFrames) * channels]);
    std::unique_ptr<float[]> mono;
    std::unique_ptr<RateConverter> converter;
    if (report.resampled) {
        mono.reset(new (std::nothrow) float[static_cast<std::size_t>(kChunkFrames)]);
        converter = RateConverter::create(info.samplerate);
    }
    if (!decoded || !chunk || (report.resampled && (!mono || !converter))) {
        std::fprintf(stderr, "[%s] \n out of memory for %" PRId64 " frames\n", kLogTag, bufferFrames);
        sf_close(sf);
        platform::closeFile(fd);
        return report;
    }
    std::fprintf(stderr, "[%s] pre-read\n", kLogTag);

    const int64_t n = frames - 3;
    const int64_t count = std::max<int64_t>(n, 0);  // key positions written from the decode
    std::fill(decoded.get(), decoded.get() + std::min<int64_t>(kLeadFrames, count), 0.0f);
    // Key positions from kLeadFrames up to filled hold decoded audio.
    int64_t filled = kLeadFrames;
    if (report.resampled) {
        const int64_t wanted = std::max<int64_t>(count - kLeadFrames, 0);
        const int64_t made = wanted > 0 ? decodeConverted(sf, channels, *converter, chunk.get(), mono.get(),
                                                          decoded.get() + kLeadFrames, wanted)
                                        : 0;
        filled = made < 0 ? -1 : kLeadFrames + made;
    } else {
        const int64_t read = decodeFrameForFrame(sf, channels, n, count, decoded.get(), chunk.get());
        filled = read < 0 ? -1 : kLeadFrames + read;
    }
    if (filled < 0) {
        sf_close(sf);
        platform::closeFile(fd);
        std::fprintf(stderr, "[%s] \n failure reading file.. %i\n", kLogTag, static_cast<int>(n));
        return report;
    }
    filled = std::min<int64_t>(filled, count);
    if (filled < count) std::fill(decoded.get() + filled, decoded.get() + count, 0.0f);

    if (frames < 1) frames = 1;

    {
        KeyRewrite rewrite(kit, keyBit(k));
        writeKeyBuffer(kit.keySamples[k], kMaxKeyFrames, decoded.get(), static_cast<std::size_t>(count));
        kit.keyLength[k] = static_cast<int32_t>(frames);
    }
    report.loaded = true;
    report.length = static_cast<int32_t>(frames);

    std::fprintf(stderr, "[%s] pre-mycalcs\n", kLogTag);
    if (observer) observer->keyLoaded(k);
    std::fprintf(stderr, "[%s] pre-close\n", kLogTag);
    sf_close(sf);
    platform::closeFile(fd);
    std::fprintf(stderr, "[%s] pre-free\n", kLogTag);
    chunk.reset();
    decoded.reset();
    std::fprintf(stderr, "[%s] pre-Finish/Op1\n", kLogTag);
    std::fprintf(stderr, "[%s] All done here!\n", kLogTag);
    return report;
}

// decodeKeyAudio after the file is open: one pass over the file per channel
// kept, each laid out as the loader lays out a key.
LoadReport decodeChannelsFromDescriptor(int fd, int32_t maxFrames, DecodedKeyAudio& out) {
    LoadReport report;
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    SNDFILE* sf = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
    const int channels = sf ? info.channels : 0;
    if (channels < 1 || channels > kMaxChannels) {
        if (sf) sf_close(sf);
        platform::closeFile(fd);
        return report;
    }
    int64_t frames = std::max<int64_t>(info.frames, 0);
    report.sourceRate = info.samplerate;
    report.sourceFrames = frames;
    report.resampled = convertsRate(info.samplerate);
    if (report.resampled) frames = convertedFrames(frames, info.samplerate);
    if (frames > maxFrames) {
        frames = maxFrames - 1;
        report.cut = true;
    }
    sf_command(sf, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);

    const int64_t n = frames - 3;
    const int64_t count = std::max<int64_t>(n, 0);
    bool ok = true;
    try {
        std::unique_ptr<float[]> chunk(new float[static_cast<std::size_t>(kChunkFrames) * channels]);
        std::unique_ptr<float[]> mono(new float[static_cast<std::size_t>(kChunkFrames)]);
        for (int c = 0; c < channels && ok; ++c) {
            std::vector<float>& key = out.channel[c];
            key.assign(static_cast<std::size_t>(std::max<int64_t>(frames, 1)), 0.0f);
            ok = sf_seek(sf, 0, SEEK_SET) == 0;
            const int pick = channels == 1 ? -1 : c;
            int64_t filled = kLeadFrames;
            if (ok && report.resampled) {
                std::unique_ptr<RateConverter> converter = RateConverter::create(info.samplerate);
                const int64_t wanted = std::max<int64_t>(count - kLeadFrames, 0);
                const int64_t made = !converter ? -1
                                     : wanted > 0
                                         ? decodeConverted(sf, channels, *converter, chunk.get(), mono.get(),
                                                           key.data() + kLeadFrames, wanted, pick)
                                         : 0;
                filled = made < 0 ? -1 : kLeadFrames + made;
            } else if (ok) {
                const int64_t read = decodeFrameForFrame(sf, channels, n, count, key.data(), chunk.get(), pick);
                filled = read < 0 ? -1 : kLeadFrames + read;
            }
            if (filled < 0) ok = false;
            // Positions from count on stay silent, as in a key.
            if (ok) std::fill(key.begin() + std::min<int64_t>(filled, count), key.end(), 0.0f);
        }
    } catch (...) {
        ok = false;
    }
    sf_close(sf);
    platform::closeFile(fd);
    if (!ok) {
        out.channel[0].clear();
        out.channel[1].clear();
        return report;
    }
    out.length = static_cast<int32_t>(std::max<int64_t>(frames, 1));
    out.channels = channels;
    report.loaded = true;
    report.length = out.length;
    return report;
}

}  // namespace

LoadReport decodeKeyAudio(const char* path, int32_t maxFrames, DecodedKeyAudio& out) {
    out = DecodedKeyAudio{};
    if (path == nullptr || path[0] == '\0' || maxFrames < 6) return {};
    const int fd = platform::openForReading(path);
    if (fd < 0) return {};
    return decodeChannelsFromDescriptor(fd, maxFrames, out);
}

LoadReport DoXPlatLoadStuff(Kit& kit, const char* path, int k, LoadObserver* observer) {
    if (path == nullptr || !isKeyIndex(k)) return {};
    notifyLoadStarted(observer);
    LoadReport report;
    const int fd = platform::openForReading(path);
    if (fd < 0) {
        std::fprintf(stderr, "[%s]  DoXPlatLoadStuff Failed: %i\n", kLogTag, fd);
    } else {
        std::fprintf(stderr, "[%s]  DoXPlatLoadStuff %s, %i, %i, %i\n", kLogTag, path, 1, fd, k);
        std::fprintf(stderr, "[%s] defines\n", kLogTag);
        report = loadFromDescriptor(kit, fd, k, observer);
    }
    if (observer) observer->keyLoadReported(k, report);
    notifyLoadEnded(observer);
    return report;
}

LoadReport loadKeyFile(Kit& kit, const char* path, int k, LoadObserver* observer) {
    if (path == nullptr || path[0] == '\0' || !isKeyIndex(k)) return {};
    const std::size_t length = strnlen(path, kKeyNameSize);
    if (length > static_cast<std::size_t>(kMaxPathLength)) {
        std::fprintf(stderr, "[%s] path too long: %s\n", kLogTag, path);
        return {};
    }
    // Working buffer; bytes after the path stay 0, which the scan below
    // relies on.
    char work[kKeyNameSize] = {};
    std::memcpy(work, path, length);
    if (canOpen(work)) return DoXPlatLoadStuff(kit, work, k, observer);

    // Missing-file fallback: find the last separator ahead of the first
    // ".w", ".a" or ".r" (any case) between positions 4 and 249, and look
    // for that base name in the default folder.
    int separator = 0;
    int dot = -1;
    for (int i = 4; i <= 249; ++i) {
        if (work[i] == '/' || work[i] == '\\') separator = i;
        if (work[i] == '.' && std::strchr("wWaArR", work[i + 1]) != nullptr && work[i + 1] != '\0') {
            dot = i;
            break;
        }
    }
    if (dot < 0 || dot - separator >= 50) return {};

    char fallback[kKeyNameSize] = {};
    std::strcpy(fallback, kFallbackFolder);
    std::strncat(fallback, work + separator + 1, kFallbackNameMax);
    if (canOpen(fallback)) return DoXPlatLoadStuff(kit, fallback, k, observer);
    return {};
}

}  // namespace rimbrel
