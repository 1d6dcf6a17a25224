#include "kit/Loader.h"

#include "kit/Diagnostics.h"
#include "kit/FileAccess.h"

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
constexpr const char* kFallbackFolder = "c:/Sablewick/";
constexpr int kFallbackNameMax = 49;

// -1..+1; NaN (possible in float files) becomes silence rather than reaching
// the host's output.
inline float clampSample(float v) {
    if (v < -1.0f) return -1.0f;
    if (v > 1.0f) return 1.0f;
    if (v != v) return 0.0f;
    return v;
}

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
// with the descriptor closed.
void loadFromDescriptor(Kit& kit, int fd, int k, LoadObserver* observer) {
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
        if (sf) sf_close(sf);
        platform::closeFile(fd);
        return;
    }

    // One interleaved buffer of min(frames, 529200) frames; frames arrive
    // from frame index 2 on, and everything not read stays 0.
    const int64_t bufferFrames = std::min<int64_t>(frames, kMaxKeyFrames);
    const std::size_t bufferSamples = static_cast<std::size_t>(bufferFrames) * channels;
    std::unique_ptr<float[]> buffer(new (std::nothrow) float[bufferSamples > 0 ? bufferSamples : 1]);
    if (!buffer) {
        std::fprintf(stderr, "[%s] \n out of memory for %" PRId64 " frames\n", kLogTag, bufferFrames);
        sf_close(sf);
        platform::closeFile(fd);
        return;
    }
    std::fprintf(stderr, "[%s] pre-read\n", kLogTag);

    const int64_t n = frames - 3;
    int64_t got = 0;
    if (n > 0) {
        float* start = buffer.get() + kLeadFrames * channels;
        got = sf_readf_float(sf, start, n);
        if (got < 0) got = 0;
        if (got < n && sf_error(sf) != SF_ERR_NO_ERROR) {
            sf_close(sf);
            platform::closeFile(fd);
            std::fprintf(stderr, "[%s] \n failure reading file.. %i\n", kLogTag, static_cast<int>(n));
            return;
        }
        // A file that ends before its header says (libsndfile returns a
        // short count without an error) keeps the length its header gives;
        // the frames it lacks are silence.
    }
    {
        const std::size_t lead = static_cast<std::size_t>(std::min<int64_t>(kLeadFrames, bufferFrames)) * channels;
        std::fill(buffer.get(), buffer.get() + lead, 0.0f);
        const std::size_t filled = lead + static_cast<std::size_t>(got) * channels;
        if (filled < bufferSamples) std::fill(buffer.get() + filled, buffer.get() + bufferSamples, 0.0f);
    }

    if (frames < 1) frames = 1;

    {
        KeyRewrite rewrite(kit, keyBit(k));
        float* key = kit.keySamples[k];
        const float* in = buffer.get();
        const int64_t count = std::max<int64_t>(n, 0);
        if (channels == 1) {
            for (int64_t i = 0; i < count; ++i) key[i] = clampSample(in[i]);
        } else {
            for (int64_t i = 0; i < count; ++i) {
                const float a = clampSample(in[2 * i]);
                const float sum = clampSample(in[2 * i + 1]) + a;
                key[i] = sum * 0.5f;
            }
        }
        kit.keyLength[k] = static_cast<int32_t>(frames);
        std::fill(key + count, key + kMaxKeyFrames, 0.0f);
    }

    std::fprintf(stderr, "[%s] pre-mycalcs\n", kLogTag);
    if (observer) observer->keyLoaded(k);
    std::fprintf(stderr, "[%s] pre-close\n", kLogTag);
    sf_close(sf);
    platform::closeFile(fd);
    std::fprintf(stderr, "[%s] pre-free\n", kLogTag);
    buffer.reset();
    std::fprintf(stderr, "[%s] pre-Finish/Op1\n", kLogTag);
    std::fprintf(stderr, "[%s] All done here!\n", kLogTag);
}

}  // namespace

void DoXPlatLoadStuff(Kit& kit, const char* path, int k, LoadObserver* observer) {
    if (path == nullptr || !isKeyIndex(k)) return;
    notifyEditorOpen(observer, false);
    const int fd = platform::openForReading(path);
    if (fd < 0) {
        std::fprintf(stderr, "[%s]  DoXPlatLoadStuff Failed: %i\n", kLogTag, fd);
    } else {
        std::fprintf(stderr, "[%s]  DoXPlatLoadStuff %s, %i, %i, %i\n", kLogTag, path, 1, fd, k);
        std::fprintf(stderr, "[%s] defines\n", kLogTag);
        loadFromDescriptor(kit, fd, k, observer);
    }
    notifyEditorOpen(observer, true);
}

void loadKeyFile(Kit& kit, const char* path, int k, LoadObserver* observer) {
    if (path == nullptr || path[0] == '\0' || !isKeyIndex(k)) return;
    const std::size_t length = strnlen(path, kKeyNameSize);
    if (length > static_cast<std::size_t>(kMaxPathLength)) {
        std::fprintf(stderr, "[%s] path too long: %s\n", kLogTag, path);
        return;
    }
    // Working buffer; bytes after the path stay 0, which the scan below
    // relies on.
    char work[kKeyNameSize] = {};
    std::memcpy(work, path, length);
    if (canOpen(work)) {
        DoXPlatLoadStuff(kit, work, k, observer);
        return;
    }

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
    if (dot < 0 || dot - separator >= 50) return;

    char fallback[kKeyNameSize] = {};
    std::strcpy(fallback, kFallbackFolder);
    std::strncat(fallback, work + separator + 1, kFallbackNameMax);
    if (canOpen(fallback)) DoXPlatLoadStuff(kit, fallback, k, observer);
}

}  // namespace rimbrel
