// The sound-file decoder over libsndfile.
#include "platform/SoundFileDecoder.h"

#include <sndfile.h>

#include <cstring>
#include <new>

#if defined(_WIN32)
#include <io.h>
#else
#include <fcntl.h>
#endif

namespace rimbrel::platform {

namespace {

class SndfileDecoder final : public SoundFileDecoder {
public:
    SndfileDecoder(SNDFILE* sf, const SF_INFO& info) : sf_(sf) {
        facts_.channels = info.channels;
        facts_.sampleRate = info.samplerate;
        facts_.frames = info.frames > 0 ? info.frames : 0;
        facts_.recognisedHeader = (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_RAW;
    }
    ~SndfileDecoder() override { sf_close(sf_); }
    SndfileDecoder(const SndfileDecoder&) = delete;
    SndfileDecoder& operator=(const SndfileDecoder&) = delete;

    const SoundFileFacts& facts() const override { return facts_; }

    int64_t readFrames(float* interleaved, int64_t frames) override {
        const sf_count_t got = sf_readf_float(sf_, interleaved, frames);
        return got > 0 ? got : 0;
    }

    // libsndfile gives a short count without an error where a file simply
    // ends early, and sets the error where decoding failed.
    bool failed() const override { return sf_error(sf_) != SF_ERR_NO_ERROR; }

private:
    SNDFILE* sf_;
    SoundFileFacts facts_;
};

// A second descriptor for the same open file (sharing its position), closed
// on exec like the first.
int duplicateDescriptor(int fd) {
#if defined(_WIN32)
    return ::_dup(fd);
#else
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
#endif
}

}  // namespace

std::unique_ptr<SoundFileDecoder> openSoundFile(int fd) {
    // libsndfile closes the descriptor it is given when it refuses a file,
    // even when told to leave it open. It gets a duplicate of its own to
    // close, so the caller's descriptor is never closed twice (by then its
    // number may belong to a file another thread of the host opened).
    const int own = duplicateDescriptor(fd);
    if (own < 0) return nullptr;
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    SNDFILE* sf = sf_open_fd(own, SFM_READ, &info, SF_TRUE);
    if (sf == nullptr) return nullptr;
    // Integer formats at full scale; float formats arrive as stored.
    sf_command(sf, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    sf_seek(sf, 0, SEEK_SET);
    std::unique_ptr<SoundFileDecoder> decoder(new (std::nothrow) SndfileDecoder(sf, info));
    if (!decoder) sf_close(sf);
    return decoder;
}

}  // namespace rimbrel::platform
