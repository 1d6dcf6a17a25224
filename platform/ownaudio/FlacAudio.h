// The lossless audio of platform/LosslessAudio.h over the own FLAC codec:
// floats on the 24-bit grid packed as a 24-bit, 44100 Hz FLAC stream and
// back. Streams written by libsndfile's FLAC read the same, and these read
// there, bit for bit. OwnLosslessAudio.cpp makes them the platform's
// encodeLosslessAudio and decodeLosslessAudio where there is no libsndfile.
#pragma once

#include "platform/LosslessAudio.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rimbrel::platform::ownaudio {

// As encodeLosslessAudio.
bool encodeFlacAudio(const float* const* channels, int channelCount, int64_t frames, std::vector<uint8_t>& out);

// As decodeLosslessAudio. Also reads FLAC of 4 to 23 bits (as if scaled to
// 24); refuses wider samples.
bool decodeFlacAudio(const uint8_t* bytes, std::size_t size, const LosslessAudioLimits& limits,
                     std::vector<std::vector<float>>& channels);

}  // namespace rimbrel::platform::ownaudio
