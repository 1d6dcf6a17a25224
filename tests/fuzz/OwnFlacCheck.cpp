// The own FLAC decoder on any bytes: it refuses them with nothing decoded, or
// gives 1 or 2 channels of one length within the limits, every sample on the
// 24-bit grid in -1..+1; what it decoded, written again by the own encoder,
// reads back the same through the own decoder and through libsndfile's.
#include "platform/LosslessAudio.h"
#include "platform/ownaudio/FlacAudio.h"
#include "tests/fuzz/FuzzChecks.h"

#include <cmath>
#include <vector>

namespace rimbrel::fuzz {

std::string checkOwnFlacInput(const uint8_t* data, std::size_t size) {
    constexpr int64_t kMaxFrames = 1 << 16;
    using Channels = std::vector<std::vector<float>>;
    Channels channels = {{1.0f}};
    if (!platform::ownaudio::decodeFlacAudio(data, size, {2, kMaxFrames}, channels))
        return channels.empty() ? "" : "refused with channels left";
    if (channels.size() < 1 || channels.size() > 2) return "channels " + std::to_string(channels.size());
    const std::size_t frames = channels[0].size();
    if (frames > std::size_t(kMaxFrames) || channels.back().size() != frames) return "channel lengths differ or exceed the limit";
    for (const std::vector<float>& channel : channels)
        for (float v : channel) {
            const float scaled = v * platform::kLosslessAudioScale;
            if (!(v >= -1.0f && v < 1.0f) || scaled != std::nearbyint(scaled)) return "a sample off the 24-bit grid";
        }

    const float* pointers[2] = {channels[0].data(), channels.back().data()};
    std::vector<uint8_t> again;
    if (!platform::ownaudio::encodeFlacAudio(pointers, int(channels.size()), int64_t(frames), again))
        return "the decoded audio cannot be encoded";
    const platform::LosslessAudioLimits limits{int(channels.size()), int64_t(frames)};
    Channels ours, theirs;
    if (!platform::ownaudio::decodeFlacAudio(again.data(), again.size(), limits, ours) || ours != channels)
        return "the own encoding does not read back the same";
    // libsndfile reads no stream of 0 frames.
    if (frames > 0 && (!platform::decodeLosslessAudio(again.data(), again.size(), limits, theirs) || theirs != channels))
        return "libsndfile does not read the own encoding back the same";
    return "";
}

}  // namespace rimbrel::fuzz
