// The decoder: a header read once, then frames read in blocks at offsets and
// converted to floats.
#include "platform/ownaudio/OwnAudioDecoder.h"

#include "platform/Files.h"
#include "platform/ownaudio/FileBytes.h"
#include "platform/ownaudio/SoundLayout.h"

#include <new>

namespace rimbrel::platform {

namespace {

using ownaudio::SoundLayout;

class OwnAudioDecoder final : public SoundFileDecoder {
public:
    OwnAudioDecoder(int fd, const SoundLayout& layout) : fd_(fd), layout_(layout) {
        facts_.channels = layout.channels;
        facts_.sampleRate = layout.sampleRate;
        facts_.frames = layout.frames;
        facts_.recognisedHeader = true;
    }

    const SoundFileFacts& facts() const override { return facts_; }

    int64_t readFrames(float* interleaved, int64_t frames) override {
        if (interleaved == nullptr || frames <= 0) return 0;
        const int frameBytes = layout_.frameBytes();
        const int64_t perBlock = static_cast<int64_t>(sizeof buffer_) / frameBytes;
        int64_t done = 0;
        while (done < frames && position_ < layout_.frames) {
            int64_t want = frames - done;
            if (want > layout_.frames - position_) want = layout_.frames - position_;
            if (want > perBlock) want = perBlock;
            const int64_t got = readAt(fd_, layout_.dataOffset + position_ * frameBytes, buffer_,
                                       static_cast<std::size_t>(want * frameBytes));
            if (got < 0) {
                failed_ = true;
                break;
            }
            // The file may have shrunk since it was opened: whole frames
            // only, and the end of the file is the end of the sound.
            const int64_t whole = got / frameBytes;
            ownaudio::convertSamples(buffer_, static_cast<std::size_t>(whole * layout_.channels), layout_.encoding,
                                     interleaved + done * layout_.channels);
            done += whole;
            position_ += whole;
            if (whole < want) {
                position_ = layout_.frames;
                break;
            }
        }
        return done;
    }

    bool failed() const override { return failed_; }

private:
    int fd_;
    SoundLayout layout_;
    SoundFileFacts facts_;
    int64_t position_ = 0;
    bool failed_ = false;
    // Holds at least two frames of the widest layout (1024 channels of
    // 8-byte samples).
    unsigned char buffer_[64 * 1024];
};

}  // namespace

std::unique_ptr<SoundFileDecoder> openOwnAudioFile(int fd) {
    const ownaudio::FileBytes file(fd);
    if (file.length() < 0) return nullptr;
    std::optional<SoundLayout> layout = ownaudio::readWavHeader(file);
    if (!layout) layout = ownaudio::readAiffHeader(file);
    if (!layout) return nullptr;
    return std::unique_ptr<SoundFileDecoder>(new (std::nothrow) OwnAudioDecoder(fd, *layout));
}

}  // namespace rimbrel::platform
