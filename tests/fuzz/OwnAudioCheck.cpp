// The own WAV and AIFF decoder on any bytes: it refuses them, or describes a
// sound that fits in the file and then reads exactly the frames it counted,
// without a failure (the file stays as it was).
#include "platform/Files.h"
#include "platform/ownaudio/OwnAudioDecoder.h"
#include "tests/fuzz/FuzzChecks.h"

#include <fstream>
#include <vector>

namespace rimbrel::fuzz {

std::string checkOwnAudioInput(const uint8_t* data, std::size_t size) {
    const std::string path = scratchFolder() + "/own-audio";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (size > 0) out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    const int fd = platform::openForReading(path.c_str());
    if (fd < 0) return "the input's file cannot be opened";
    std::string failure;
    if (const auto decoder = platform::openOwnAudioFile(fd)) {
        const platform::SoundFileFacts& facts = decoder->facts();
        if (facts.channels < 1 || facts.channels > 1024) {
            failure = "channels " + std::to_string(facts.channels);
        } else if (facts.sampleRate < 1) {
            failure = "rate " + std::to_string(facts.sampleRate);
        } else if (!facts.recognisedHeader || facts.frames < 0 ||
                   facts.frames > static_cast<int64_t>(size) / facts.channels) {
            failure = "frames " + std::to_string(facts.frames) + " in a file of " + std::to_string(size) + " bytes";
        } else {
            constexpr int64_t kBlock = 333;
            std::vector<float> block(static_cast<std::size_t>(kBlock * facts.channels));
            int64_t total = 0;
            for (int64_t got; (got = decoder->readFrames(block.data(), kBlock)) > 0;) total += got;
            if (total != facts.frames)
                failure = "read " + std::to_string(total) + " of " + std::to_string(facts.frames) + " frames";
            else if (decoder->failed())
                failure = "a read of the whole file failed";
        }
    }
    platform::closeFile(fd);
    return failure;
}

}  // namespace rimbrel::fuzz
