#include "kit/Loader.h"

#include "kit/Diagnostics.h"
#include "kit/FileAccess.h"
#include "kit/MonoMix.h"

#include <sndfile.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

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

void notifyEditorOpen(LoadObserver* observer, bool open) {
    if (observer) observer->setEditorOpen(open);
}

// Everything between opening the descriptor and closing it again. Returns
// with the descriptor closed; true when key k holds the file's audio.
bool loadFromDescriptor(Kit& kit, int fd, int k, LoadObserver* observer) {
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    SNDFILE* sf = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);

    // Header facts. A file libsndfile cannot read has no channels and so is
    // refused below, like a file with too many.
    const int channels = sf ? info.channels : 0;
    int64_t frames = sf ? std::max<int64_t>(info.frames, 0) : 0;

    if (frames > kMaxKeyFrames) {
        std::fprintf(stderr, "[%s] \n Rimbrel err 617-03: frames %" PRId64 " is too long for allocation!! \n",
                     kLogTag, frames);
        frames = kCutFrames;
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
        return false;
    }

    // The decoded key: min(frames, 529200) floats laid out as the key will
    // be (two silent frames, then the file's frames mixed to mono). Decoding
    // runs in chunks through a small interleaved buffer that stays in cache;
    // the result is the same as one read of frames - 3 frames into channel
    // buffers from index 2 on.
    const int64_t bufferFrames = std::min<int64_t>(frames, kMaxKeyFrames);
    std::unique_ptr<float[]> decoded(new (std::nothrow) float[bufferFrames > 0 ? bufferFrames : 1]);
    std::unique_ptr<float[]> chunk(new (std::nothrow) float[static_cast<std::size_t>(kChunkFrames) * channels]);
    if (!decoded || !chunk) {
        std::fprintf(stderr, "[%s] \n out of memory for %" PRId64 " frames\n", kLogTag, bufferFrames);
        sf_close(sf);
        platform::closeFile(fd);
        return false;
    }
    std::fprintf(stderr, "[%s] pre-read\n", kLogTag);

    const int64_t n = frames - 3;
    const int64_t count = std::max<int64_t>(n, 0);  // key positions written from the decode
    std::fill(decoded.get(), decoded.get() + std::min<int64_t>(kLeadFrames, count), 0.0f);
    int64_t read = 0;  // file frames read so far
    while (read < n) {
        const int64_t want = std::min<int64_t>(kChunkFrames, n - read);
        const int64_t got = std::max<sf_count_t>(sf_readf_float(sf, chunk.get(), want), 0);
        // File frame f lands on key position f + 2; positions from n on are
        // not part of the key.
        const int64_t usable = std::min<int64_t>(got, count - kLeadFrames - read);
        if (usable > 0)
            mixToMono(chunk.get(), decoded.get() + kLeadFrames + read, static_cast<std::size_t>(usable), channels);
        read += got;
        if (got < want) {
            if (sf_error(sf) != SF_ERR_NO_ERROR) {
                sf_close(sf);
                platform::closeFile(fd);
                std::fprintf(stderr, "[%s] \n failure reading file.. %i\n", kLogTag, static_cast<int>(n));
                return false;
            }
            // The file ends before its header says (libsndfile gives a short
            // count without an error): it keeps the length its header gives,
            // and the frames it lacks are silence.
            break;
        }
    }
    {
        const int64_t filled = std::min<int64_t>(std::max<int64_t>(kLeadFrames + read, kLeadFrames), count);
        if (filled < count) std::fill(decoded.get() + filled, decoded.get() + count, 0.0f);
    }

    if (frames < 1) frames = 1;

    {
        KeyRewrite rewrite(kit, keyBit(k));
        writeKeyBuffer(kit.keySamples[k], kMaxKeyFrames, decoded.get(), static_cast<std::size_t>(count));
        kit.keyLength[k] = static_cast<int32_t>(frames);
    }

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
    return true;
}

}  // namespace

bool DoXPlatLoadStuff(Kit& kit, const char* path, int k, LoadObserver* observer) {
    if (path == nullptr || !isKeyIndex(k)) return false;
    notifyEditorOpen(observer, false);
    bool loaded = false;
    const int fd = platform::openForReading(path);
    if (fd < 0) {
        std::fprintf(stderr, "[%s]  DoXPlatLoadStuff Failed: %i\n", kLogTag, fd);
    } else {
        std::fprintf(stderr, "[%s]  DoXPlatLoadStuff %s, %i, %i, %i\n", kLogTag, path, 1, fd, k);
        std::fprintf(stderr, "[%s] defines\n", kLogTag);
        loaded = loadFromDescriptor(kit, fd, k, observer);
    }
    notifyEditorOpen(observer, true);
    return loaded;
}

bool loadKeyFile(Kit& kit, const char* path, int k, LoadObserver* observer) {
    if (path == nullptr || path[0] == '\0' || !isKeyIndex(k)) return false;
    const std::size_t length = strnlen(path, kKeyNameSize);
    if (length > static_cast<std::size_t>(kMaxPathLength)) {
        std::fprintf(stderr, "[%s] path too long: %s\n", kLogTag, path);
        return false;
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
    if (dot < 0 || dot - separator >= 50) return false;

    char fallback[kKeyNameSize] = {};
    std::strcpy(fallback, kFallbackFolder);
    std::strncat(fallback, work + separator + 1, kFallbackNameMax);
    return canOpen(fallback) && DoXPlatLoadStuff(kit, fallback, k, observer);
}

}  // namespace rimbrel
