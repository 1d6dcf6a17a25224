// The sound-file decoder over libsndfile.
#include "platform/SoundFileDecoder.h"

#include <sndfile.h>

#include <cstring>
#include <new>

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

}  // namespace

std::unique_ptr<SoundFileDecoder> openSoundFile(int fd) {
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    // SF_FALSE: closing the decoder leaves the descriptor to its owner.
    SNDFILE* sf = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
    if (sf == nullptr) return nullptr;
    // Integer formats at full scale; float formats arrive as stored.
    sf_command(sf, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    sf_seek(sf, 0, SEEK_SET);
    std::unique_ptr<SoundFileDecoder> decoder(new (std::nothrow) SndfileDecoder(sf, info));
    if (!decoder) sf_close(sf);
    return decoder;
}

}  // namespace rimbrel::platform
