// The platform's lossless audio where there is no libsndfile: the own FLAC
// codec, which reads and writes the very streams the libsndfile one does.
#include "platform/LosslessAudio.h"

#include "platform/ownaudio/FlacAudio.h"

namespace rimbrel::platform {

bool encodeLosslessAudio(const float* const* channels, int channelCount, int64_t frames,
                         std::vector<uint8_t>& out) {
    return ownaudio::encodeFlacAudio(channels, channelCount, frames, out);
}

bool decodeLosslessAudio(const uint8_t* bytes, std::size_t size, const LosslessAudioLimits& limits,
                         std::vector<std::vector<float>>& channels) {
    return ownaudio::decodeFlacAudio(bytes, size, limits, channels);
}

}  // namespace rimbrel::platform
