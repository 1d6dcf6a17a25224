#include "formats/FileSync.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace rimbrel {

bool flushAndSyncFile(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
#if defined(_WIN32)
    return _commit(_fileno(file)) == 0;
#else
    return fsync(fileno(file)) == 0;
#endif
}

}  // namespace rimbrel
