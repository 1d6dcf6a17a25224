// Replacing a written file: fsync(2), then rename(2) over the target.
#include "platform/Files.h"

#include <system_error>
#include <unistd.h>

namespace rimbrel::platform {

std::FILE* createNewFile(const std::filesystem::path& path) { return std::fopen(path.c_str(), "wbx"); }

bool flushAndSyncFile(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
    return ::fsync(::fileno(file)) == 0;
}

bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    // rename(2) replaces the target in one step within a file system.
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    return !ec;
}

}  // namespace rimbrel::platform
