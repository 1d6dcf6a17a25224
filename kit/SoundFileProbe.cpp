#include "kit/SoundFileProbe.h"

#include "platform/Files.h"
#include "platform/SoundFileDecoder.h"

#include <cstring>

namespace rimbrel {

namespace {
constexpr int kKitSignatureOffset = 46;
constexpr char kKitSignature[4] = {'o', 'p', '-', '1'};
}  // namespace

bool isLoadableFile(const char* path) {
    const int fd = platform::openForReading(path);
    if (fd < 0) return false;

    char probe[4];
    if (platform::readAt(fd, kKitSignatureOffset, probe, sizeof probe) == 4 &&
        std::memcmp(probe, kKitSignature, sizeof probe) == 0) {
        platform::closeFile(fd);
        return true;
    }

    // readAt leaves the descriptor at offset 0, where the decoder expects a
    // file of its own to begin.
    bool accepted = false;
    if (const auto decoder = platform::openSoundFile(fd)) accepted = decoder->facts().recognisedHeader;
    platform::closeFile(fd);
    return accepted;
}

}  // namespace rimbrel
