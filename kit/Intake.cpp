#include "kit/Intake.h"

#include "kit/FileAccess.h"

#include <sndfile.h>

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

    // readAt leaves the descriptor at offset 0, where libsndfile expects a
    // file of its own to begin.
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    SNDFILE* sf = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
    bool accepted = false;
    if (sf != nullptr) {
        accepted = (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_RAW;
        sf_close(sf);
    }
    platform::closeFile(fd);
    return accepted;
}

}  // namespace rimbrel
