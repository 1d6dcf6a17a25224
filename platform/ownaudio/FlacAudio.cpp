#include "platform/ownaudio/FlacAudio.h"

#include "platform/ownaudio/FlacDecoder.h"
#include "platform/ownaudio/FlacEncoder.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace rimbrel::platform::ownaudio {

namespace {

constexpr int kMaxCodecChannels = 2;
constexpr int kStoredBits = 24;
constexpr int kStoredRate = 44100;
constexpr int64_t kMaxStreamFrames = (int64_t(1) << 36) - 1;  // STREAMINFO's 36 bits

int32_t toStoredInt(float v) {
    if (!(v == v)) return 0;  // NaN
    const float scaled = std::nearbyint(v * kLosslessAudioScale);
    return int32_t(std::clamp(scaled, -kLosslessAudioScale, kLosslessAudioScale - 1.0f));
}

// Makes room for `needed` floats, doubling as a vector does but never past
// `limit` (needed is at most limit).
void growWithin(std::vector<float>& channel, std::size_t needed, std::size_t limit) {
    if (needed <= channel.capacity()) return;
    channel.reserve(std::min(limit, std::max(needed, channel.capacity() * 2)));
}

}  // namespace

bool encodeFlacAudio(const float* const* channels, int channelCount, int64_t frames, std::vector<uint8_t>& out) {
    if (channelCount < 1 || channelCount > kMaxCodecChannels || frames < 0 || frames > kMaxStreamFrames ||
        channels == nullptr)
        return false;
    for (int c = 0; c < channelCount; ++c)
        if (channels[c] == nullptr && frames > 0) return false;

    const std::size_t outSize = out.size();
    try {
        out.reserve(outSize + std::size_t(frames) * std::size_t(channelCount) * 2 + 1024);
        std::vector<int32_t> block[kMaxCodecChannels];
        const int32_t* blockStarts[kMaxCodecChannels] = {};
        for (int c = 0; c < channelCount; ++c) {
            block[c].resize(FlacEncoder::kBlockFrames);
            blockStarts[c] = block[c].data();
        }
        FlacEncoder encoder(out, channelCount, kStoredBits, kStoredRate, frames);
        for (int64_t done = 0; done < frames;) {
            const int n = int(std::min<int64_t>(FlacEncoder::kBlockFrames, frames - done));
            for (int c = 0; c < channelCount; ++c)
                for (int i = 0; i < n; ++i) block[c][std::size_t(i)] = toStoredInt(channels[c][done + i]);
            encoder.writeBlock(blockStarts, n);
            done += n;
        }
        encoder.finish();
    } catch (const std::bad_alloc&) {
        out.resize(outSize);
        return false;
    }
    return true;
}

bool decodeFlacAudio(const uint8_t* bytes, std::size_t size, const LosslessAudioLimits& limits,
                     std::vector<std::vector<float>>& channels) {
    channels.clear();
    if (bytes == nullptr || limits.maxChannels < 1 || limits.maxFrames < 0) return false;
    FlacDecoder decoder(bytes, size);
    if (!decoder.readHeader()) return false;
    const FlacStreamInfo& info = decoder.info();
    if (info.channels > std::min(limits.maxChannels, kMaxCodecChannels) || info.totalFrames > limits.maxFrames)
        return false;

    // Samples narrower than 24 bits are scaled up to the 24-bit grid.
    const float scale = float(1 << (kStoredBits - info.bitsPerSample)) / kLosslessAudioScale;
    std::vector<std::vector<float>> decoded;
    try {
        decoded.resize(std::size_t(info.channels));
        for (std::vector<float>& channel : decoded) channel.reserve(std::size_t(info.totalFrames));
        // The frame count is only a claim (0 when unknown): the limit holds
        // however many frames follow.
        int64_t total = 0;
        for (int got; (got = decoder.nextFrame()) != 0;) {
            if (got < 0 || total + got > limits.maxFrames) return false;
            for (int c = 0; c < info.channels; ++c) {
                std::vector<float>& channel = decoded[std::size_t(c)];
                growWithin(channel, std::size_t(total + got), std::size_t(limits.maxFrames));
                channel.resize(std::size_t(total + got));
                const int32_t* samples = decoder.channel(c);
                float* to = channel.data() + total;
                for (int i = 0; i < got; ++i) to[i] = float(samples[i]) * scale;
            }
            total += got;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    channels = std::move(decoded);
    return true;
}

}  // namespace rimbrel::platform::ownaudio
