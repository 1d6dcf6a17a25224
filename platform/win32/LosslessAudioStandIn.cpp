// Lossless audio until this platform has a codec: every call refuses, so a
// saved kit state keeps no key audio and restoring one brings none back.
#include "platform/LosslessAudio.h"

namespace rimbrel::platform {

bool encodeLosslessAudio(const float* const*, int, int64_t, std::vector<uint8_t>&) { return false; }

bool decodeLosslessAudio(const uint8_t*, std::size_t, const LosslessAudioLimits&,
                         std::vector<std::vector<float>>& channels) {
    channels.clear();
    return false;
}

}  // namespace rimbrel::platform
