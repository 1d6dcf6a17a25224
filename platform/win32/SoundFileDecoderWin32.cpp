// Sound-file decoding on Windows: the project's own decoder for WAV and AIFF
// (the formats kits are mostly made from, read the same as on Linux), Media
// Foundation for everything else it can read (FLAC, MP3, Ogg, ...).
#include "platform/SoundFileDecoder.h"
#include "platform/ownaudio/OwnAudioDecoder.h"
#include "platform/win32/MediaFoundationDecoder.h"

namespace rimbrel::platform {

std::unique_ptr<SoundFileDecoder> openSoundFile(int fd) {
    if (auto own = openOwnAudioFile(fd)) return own;
    return win32::openMediaFoundationFile(fd);
}

}  // namespace rimbrel::platform
