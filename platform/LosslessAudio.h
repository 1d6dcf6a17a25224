// Lossless audio: one or two channels of float frames packed into bytes and
// back, for keeping a key's audio inside a saved kit state. On Linux the bytes
// are a FLAC stream of 24-bit samples (platform/sndfile/); without libsndfile,
// the same stream through the own codec (platform/ownaudio/Flac*).
//
// Samples are stored on the 24-bit grid: a frame v in -1..+1 is kept as
// round(v * 8388608), clamped to -8388608..8388607, and decodes as that value
// / 8388608. A sample that came from a 16- or 24-bit file (and any mix of two
// 16-bit samples) lies on that grid already and comes back bit for bit; other
// floats come back within half a step of 2^-23; NaN is kept as 0.
//
// Threads: any thread but the audio thread (these allocate). Calls on
// different buffers may run at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rimbrel::platform {

// The one scale both directions use: 2^23.
constexpr float kLosslessAudioScale = 8388608.0f;

// Encodes `frames` frames of `channelCount` (1 or 2) channels, channels[c]
// pointing at that channel's frames, and appends the bytes to out. Returns
// false, with out as it was, when the arguments are out of range or the
// encoder fails (no memory).
bool encodeLosslessAudio(const float* const* channels, int channelCount, int64_t frames,
                         std::vector<uint8_t>& out);

// What a caller is prepared to take from bytes it did not write itself.
struct LosslessAudioLimits {
    int maxChannels = 2;
    int64_t maxFrames = 0;
};

// Decodes bytes written by encodeLosslessAudio into channels (one vector per
// channel, all the same length). Whatever the bytes claim, nothing beyond
// limits is ever allocated: a stream with more channels or frames than the
// limits allow, or one that is not this codec's, or damaged, is refused.
// Returns false, with channels empty, on refusal.
bool decodeLosslessAudio(const uint8_t* bytes, std::size_t size, const LosslessAudioLimits& limits,
                         std::vector<std::vector<float>>& channels);

}  // namespace rimbrel::platform
