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

constexpr int kLeadFrames = 2;  // silent frames ahead of the audio
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

// Splits count interleaved frames into one buffer per channel, each sample
// clamped. out[c] receives frame i at out[c][i].
void splitFrames(const float* in, float* const* out, std::size_t count, int channels) {
    if (channels == 1) {
        mixToMono(in, out[0], count, 1);
        return;
    }
    splitStereo(in, out[0], out[1], count);
}

// Decodes n file frames into key positions 2 .. count - 1 of every channel
// buffer of key (file frame f lands on position f + 2; the frames from
// count - 2 on are read but not used). Returns the file frames read, or -1
// when the decoder reports a decoding error.
int64_t decodeFrameForFrame(platform::SoundFileDecoder& decoder, int channels, int64_t n, int64_t count,
                            float* const* key, float* chunk) {
    int64_t read = 0;  // file frames read so far
    while (read < n) {
        const int64_t want = std::min<int64_t>(kChunkFrames, n - read);
        const int64_t got = decoder.readFrames(chunk, want);
        // File frame f lands on key position f + 2; positions from n on are
        // not part of the key.
        const int64_t usable = std::min<int64_t>(got, count - kLeadFrames - read);
        if (usable > 0) {
            float* at[kMaxChannels];
            for (int c = 0; c < channels; ++c) at[c] = key[c] + kLeadFrames + read;
            splitFrames(chunk, at, static_cast<std::size_t>(usable), channels);
        }
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

// One channel's conversion to 44100 Hz: its own filter and its progress.
struct ChannelConversion {
    std::unique_ptr<RateConverter> converter;
    std::unique_ptr<float[]> input;  // one chunk of this channel, clamped
    float* out = nullptr;
    int64_t made = 0;
};

// Feeds count frames (or, with in null, the end of the input) to one
// channel's converter until they are used or wanted frames are there.
bool convertChannel(ChannelConversion& ch, const float* in, std::size_t count, int64_t wanted) {
    std::size_t taken = 0;
    while (ch.made < wanted && (in == nullptr || taken < count)) {
        std::size_t used = 0, produced = 0;
        if (!ch.converter->convert(in ? in + taken : nullptr, in ? count - taken : 0, used, ch.out + ch.made,
                                   static_cast<std::size_t>(wanted - ch.made), produced))
            return false;
        taken += used;
        ch.made += static_cast<int64_t>(produced);
        if (used == 0 && produced == 0) break;
    }
    return true;
}

// Decodes the file converted to 44100 Hz, each channel on its own, until
// wanted converted frames are there or the file ends: a long file is read
// only as far as the frames kept need (plus the converter's filter).
// Returns the converted frames written (clamped to -1..+1: the filter can
// overshoot; the shorter channel when they differ), or -1 when decoding or
// converting fails.
int64_t decodeConverted(platform::SoundFileDecoder& decoder, int channels, ChannelConversion* conv, float* chunk,
                        int64_t wanted) {
    auto done = [&] {
        for (int c = 0; c < channels; ++c)
            if (conv[c].made < wanted) return false;
        return true;
    };
    bool ended = false;
    while (!done() && !ended) {
        const int64_t got = decoder.readFrames(chunk, kChunkFrames);
        if (got < kChunkFrames) {
            if (decoder.failed()) return -1;
            ended = true;
        }
        // Clamped (NaN silenced) before the filter spreads it.
        float* inputs[kMaxChannels];
        for (int c = 0; c < channels; ++c) inputs[c] = conv[c].input.get();
        splitFrames(chunk, inputs, static_cast<std::size_t>(got), channels);
        for (int c = 0; c < channels; ++c)
            if (!convertChannel(conv[c], inputs[c], static_cast<std::size_t>(got), wanted)) return -1;
    }
    // At the end of the file the filter gives out what it still holds.
    int64_t made = wanted;
    for (int c = 0; c < channels; ++c) {
        if (ended && !convertChannel(conv[c], nullptr, 0, wanted)) return -1;
        for (int64_t i = 0; i < conv[c].made; ++i) conv[c].out[i] = clampSample(conv[c].out[i]);
        made = std::min(made, conv[c].made);
    }
    return made;
}

// Decodes an opened file into key buffers, laid out as a key: two silent
// frames, the file's frames (each channel clamped, converted to 44100 Hz
// when the file has another rate), silence to the end. A file longer than
// maxFrames counts maxFrames - 1 frames. With diagnostics, writes the
// loader's lines for key k as it goes. False, with out empty, when the file
// is refused or cannot be read; report says what was found either way.
bool decodeKey(platform::SoundFileDecoder* decoder, int32_t maxFrames, bool diagnostics, int k, LoadReport& report,
               KeyAudioBuffers& out) {
    out = KeyAudioBuffers{};
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

    if (frames > maxFrames) {
        if (diagnostics)
            std::fprintf(stderr, "[%s] \n Rimbrel err 617-03: frames %" PRId64 " is too long for allocation!! \n",
                         kLogTag, frames);
        frames = maxFrames - 1;
        report.cut = true;
    }
    if (channels > kMaxChannels || channels < 1) {
        if (!diagnostics) return false;
        if (!decoder)
            std::fprintf(stderr, "[%s] \n not a sound file libsndfile reads, key %i unchanged\n", kLogTag, k);
        else
            std::fprintf(stderr, "[%s] \n %i channels: a key takes mono or stereo files, key %i unchanged\n",
                         kLogTag, channels, k);
        return false;
    }

    // The key's buffers, one per channel, sized to the key. Decoding runs in
    // chunks through a small interleaved buffer that stays in cache; the
    // result is the same as one read of frames - 3 frames into channel
    // buffers from index 2 on.
    const int32_t length = static_cast<int32_t>(std::max<int64_t>(frames, 1));
    std::unique_ptr<float[]> chunk(new (std::nothrow) float[static_cast<std::size_t>(kChunkFrames) * channels]);
    ChannelConversion conv[kMaxChannels];
    bool ready = out.allocate(length, channels) && chunk;
    if (ready && report.resampled) {
        for (int c = 0; c < channels; ++c) {
            conv[c].converter = RateConverter::create(facts.sampleRate);
            conv[c].input.reset(new (std::nothrow) float[static_cast<std::size_t>(kChunkFrames)]);
            if (!conv[c].converter || !conv[c].input) ready = false;
        }
    }
    if (!ready) {
        if (diagnostics)
            std::fprintf(stderr, "[%s] \n out of memory for %" PRId64 " frames\n", kLogTag, int64_t(length));
        out = KeyAudioBuffers{};
        return false;
    }
    if (diagnostics) std::fprintf(stderr, "[%s] pre-read\n", kLogTag);

    float* key[kMaxChannels] = {out.left.get(), out.right.get()};
    const int64_t n = frames - 3;
    const int64_t count = std::max<int64_t>(n, 0);  // key positions written from the decode
    for (int c = 0; c < channels; ++c) std::fill(key[c], key[c] + std::min<int64_t>(kLeadFrames, count), 0.0f);
    // Key positions from kLeadFrames up to filled hold decoded audio.
    int64_t filled = kLeadFrames;
    if (report.resampled) {
        const int64_t wanted = std::max<int64_t>(count - kLeadFrames, 0);
        for (int c = 0; c < channels; ++c) conv[c].out = key[c] + kLeadFrames;
        const int64_t made = wanted > 0 ? decodeConverted(*decoder, channels, conv, chunk.get(), wanted) : 0;
        filled = made < 0 ? -1 : kLeadFrames + made;
    } else {
        const int64_t read = decodeFrameForFrame(*decoder, channels, n, count, key, chunk.get());
        filled = read < 0 ? -1 : kLeadFrames + read;
    }
    if (filled < 0) {
        if (diagnostics) std::fprintf(stderr, "[%s] \n failure reading file.. %i\n", kLogTag, static_cast<int>(n));
        out = KeyAudioBuffers{};
        return false;
    }
    // Silence from where the decode stopped (for the shorter channel of a
    // converted file) to the end of the key.
    filled = std::min<int64_t>(filled, count);
    for (int c = 0; c < channels; ++c) std::fill(key[c] + filled, key[c] + length, 0.0f);
    report.length = length;
    return true;
}

// Everything between opening the descriptor and closing it again. Returns
// with the descriptor closed.
LoadReport loadFromDescriptor(Kit& kit, int fd, int k, LoadObserver* observer) {
    LoadReport report;
    std::unique_ptr<platform::SoundFileDecoder> decoder = platform::openSoundFile(fd);
    // The cut follows the target the kit is made for when the file loads.
    const int32_t maxFrames = kit.target.load(std::memory_order_relaxed) == KitTarget::Op1Field
                                  ? kMaxFieldKeyFrames
                                  : kMaxKeyFrames;
    KeyAudioBuffers fresh;
    if (!decodeKey(decoder.get(), maxFrames, true, k, report, fresh)) {
        report.length = 0;
        decoder.reset();
        platform::closeFile(fd);
        return report;
    }
    replaceKeyAudio(kit, k, std::move(fresh));
    report.loaded = true;

    std::fprintf(stderr, "[%s] pre-mycalcs\n", kLogTag);
    if (observer) observer->keyLoaded(k);
    std::fprintf(stderr, "[%s] pre-close\n", kLogTag);
    decoder.reset();
    platform::closeFile(fd);
    std::fprintf(stderr, "[%s] pre-free\n", kLogTag);
    std::fprintf(stderr, "[%s] pre-Finish/Op1\n", kLogTag);
    std::fprintf(stderr, "[%s] All done here!\n", kLogTag);
    return report;
}

}  // namespace

LoadReport decodeKeyAudio(const char* path, int32_t maxFrames, DecodedKeyAudio& out) {
    out = DecodedKeyAudio{};
    if (path == nullptr || path[0] == '\0' || maxFrames < 6) return {};
    const int fd = platform::openForReading(path);
    if (fd < 0) return {};
    LoadReport report;
    KeyAudioBuffers key;
    bool decoded = false;
    {
        std::unique_ptr<platform::SoundFileDecoder> decoder = platform::openSoundFile(fd);
        decoded = decodeKey(decoder.get(), maxFrames, false, 0, report, key);
    }
    platform::closeFile(fd);
    report.length = 0;
    if (!decoded) return report;
    try {
        const float* channel[kMaxChannels] = {key.left.get(), key.right.get()};
        for (int c = 0; c < key.channels(); ++c) out.channel[c].assign(channel[c], channel[c] + key.length);
    } catch (const std::bad_alloc&) {
        out = DecodedKeyAudio{};
        return report;
    }
    out.length = key.length;
    out.channels = key.channels();
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
