#include "kit/Loader.h"

#include "kit/Diagnostics.h"
#include "kit/KeyAudio.h"
#include "kit/RateConverter.h"
#include "platform/Files.h"
#include "platform/SoundFileDecoder.h"

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
constexpr int kLeadFrames = 2;                     // silent frames ahead of the audio
constexpr int kMaxChannels = 2;
constexpr int64_t kChunkFrames = 4096;  // frames decoded per decoder read
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
// when the decoder reports a decoding error.
int64_t decodeFrameForFrame(platform::SoundFileDecoder& decoder, int channels, int64_t n, int64_t count,
                            float* decoded, float* chunk, int pick = -1) {
    int64_t read = 0;  // file frames read so far
    while (read < n) {
        const int64_t want = std::min<int64_t>(kChunkFrames, n - read);
        const int64_t got = decoder.readFrames(chunk, want);
        // File frame f lands on key position f + 2; positions from n on are
        // not part of the key.
        const int64_t usable = std::min<int64_t>(got, count - kLeadFrames - read);
        if (usable > 0) foldFrames(chunk, decoded + kLeadFrames + read, static_cast<std::size_t>(usable), channels, pick);
        read += got;
        if (got < want) {
            if (decoder.failed()) return -1;
            // The file ends before its header says (the decoder gives a short
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
int64_t decodeConverted(platform::SoundFileDecoder& decoder, int channels, RateConverter& converter, float* chunk,
                        float* mono, float* out, int64_t wanted, int pick = -1) {
    int64_t made = 0;
    bool ended = false;
    while (made < wanted && !ended) {
        const int64_t got = decoder.readFrames(chunk, kChunkFrames);
        if (got < kChunkFrames) {
            if (decoder.failed()) return -1;
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
    std::unique_ptr<platform::SoundFileDecoder> decoder = platform::openSoundFile(fd);

    // Header facts. A file the decoder cannot read has no channels and so is
    // refused below, like a file with too many.
    const platform::SoundFileFacts facts = decoder ? decoder->facts() : platform::SoundFileFacts{};
    const int channels = facts.channels;
    int64_t frames = std::max<int64_t>(facts.frames, 0);
    report.sourceRate = facts.sampleRate;
    report.sourceFrames = frames;
    // From here on frames counts at 44100 Hz: every rule below follows the
    // file's true length.
    report.resampled = decoder && channels >= 1 && channels <= kMaxChannels && convertsRate(facts.sampleRate);
    if (report.resampled) frames = convertedFrames(frames, facts.sampleRate);

    if (frames > kMaxKeyFrames) {
        std::fprintf(stderr, "[%s] \n Rimbrel err 617-03: frames %" PRId64 " is too long for allocation!! \n",
                     kLogTag, frames);
        frames = kCutFrames;
        report.cut = true;
    }
    if (channels > kMaxChannels || channels < 1) {
        if (!decoder)
            std::fprintf(stderr, "[%s] \n not a sound file libsndfile reads, key %i unchanged\n", kLogTag, k);
        else
            std::fprintf(stderr, "[%s] \n %i channels: a key takes mono or stereo files, key %i unchanged\n",
                         kLogTag, channels, k);
        decoder.reset();
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
        converter = RateConverter::create(facts.sampleRate);
    }
    if (!decoded || !chunk || (report.resampled && (!mono || !converter))) {
        std::fprintf(stderr, "[%s] \n out of memory for %" PRId64 " frames\n", kLogTag, bufferFrames);
        decoder.reset();
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
        const int64_t made = wanted > 0 ? decodeConverted(*decoder, channels, *converter, chunk.get(), mono.get(),
                                                          decoded.get() + kLeadFrames, wanted)
                                        : 0;
        filled = made < 0 ? -1 : kLeadFrames + made;
    } else {
        const int64_t read = decodeFrameForFrame(*decoder, channels, n, count, decoded.get(), chunk.get());
        filled = read < 0 ? -1 : kLeadFrames + read;
    }
    if (filled < 0) {
        decoder.reset();
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
    decoder.reset();
    platform::closeFile(fd);
    std::fprintf(stderr, "[%s] pre-free\n", kLogTag);
    chunk.reset();
    decoded.reset();
    std::fprintf(stderr, "[%s] pre-Finish/Op1\n", kLogTag);
    std::fprintf(stderr, "[%s] All done here!\n", kLogTag);
    return report;
}

// Decodes one channel of the file at path (or its mono mix when pick is
// below 0) into key, laid out as the loader lays out a key of frames
// positions. Each channel is a pass of its own over a freshly opened file.
bool decodeOneChannel(const char* path, int pick, const LoadReport& report, int64_t frames,
                      std::vector<float>& key) {
    const int fd = platform::openForReading(path);
    if (fd < 0) return false;
    bool ok = false;
    {
        std::unique_ptr<platform::SoundFileDecoder> decoder = platform::openSoundFile(fd);
        if (decoder) ok = true;
        const int channels = decoder ? decoder->facts().channels : 0;
        if (ok && (channels < 1 || channels > kMaxChannels || decoder->facts().sampleRate != report.sourceRate))
            ok = false;
        try {
            const int64_t n = frames - 3;
            const int64_t count = std::max<int64_t>(n, 0);
            key.assign(static_cast<std::size_t>(std::max<int64_t>(frames, 1)), 0.0f);
            int64_t filled = -1;
            if (ok) {
                std::unique_ptr<float[]> chunk(new float[static_cast<std::size_t>(kChunkFrames) * channels]);
                std::unique_ptr<float[]> mono(new float[static_cast<std::size_t>(kChunkFrames)]);
                if (report.resampled) {
                    std::unique_ptr<RateConverter> converter = RateConverter::create(report.sourceRate);
                    const int64_t wanted = std::max<int64_t>(count - kLeadFrames, 0);
                    const int64_t made = !converter   ? -1
                                         : wanted > 0 ? decodeConverted(*decoder, channels, *converter, chunk.get(),
                                                                        mono.get(), key.data() + kLeadFrames, wanted,
                                                                        pick)
                                                      : 0;
                    filled = made < 0 ? -1 : kLeadFrames + made;
                } else {
                    const int64_t read = decodeFrameForFrame(*decoder, channels, n, count, key.data(), chunk.get(), pick);
                    filled = read < 0 ? -1 : kLeadFrames + read;
                }
            }
            ok = filled >= 0;
            // Positions from count on stay silent, as in a key.
            if (ok) std::fill(key.begin() + std::min<int64_t>(filled, count), key.end(), 0.0f);
        } catch (...) {
            ok = false;
        }
    }
    platform::closeFile(fd);
    return ok;
}

}  // namespace

LoadReport decodeKeyAudio(const char* path, int32_t maxFrames, DecodedKeyAudio& out) {
    out = DecodedKeyAudio{};
    if (path == nullptr || path[0] == '\0' || maxFrames < 6) return {};
    // The header facts, as the loader reads them.
    LoadReport report;
    platform::SoundFileFacts facts;
    {
        const int fd = platform::openForReading(path);
        if (fd < 0) return {};
        if (std::unique_ptr<platform::SoundFileDecoder> decoder = platform::openSoundFile(fd)) facts = decoder->facts();
        platform::closeFile(fd);
    }
    const int channels = facts.channels;
    if (channels < 1 || channels > kMaxChannels) return report;
    int64_t frames = std::max<int64_t>(facts.frames, 0);
    report.sourceRate = facts.sampleRate;
    report.sourceFrames = frames;
    report.resampled = convertsRate(facts.sampleRate);
    if (report.resampled) frames = convertedFrames(frames, facts.sampleRate);
    if (frames > maxFrames) {
        frames = maxFrames - 1;
        report.cut = true;
    }
    for (int c = 0; c < channels; ++c) {
        if (!decodeOneChannel(path, channels == 1 ? -1 : c, report, frames, out.channel[c])) {
            out.channel[0].clear();
            out.channel[1].clear();
            return report;
        }
    }
    out.length = static_cast<int32_t>(std::max<int64_t>(frames, 1));
    out.channels = channels;
    report.loaded = true;
    report.length = out.length;
    return report;
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
