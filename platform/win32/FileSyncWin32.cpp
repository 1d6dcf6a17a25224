// Replacing a written file: FlushFileBuffers, then MoveFileExW over the
// target (write-through, so the move is on the disk when it returns).
#include "platform/Files.h"
#include "platform/win32/WideText.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace rimbrel::platform {

// The C runtime's fopen ignores "x": the exclusive create goes through _wopen.
std::FILE* createNewFile(const std::filesystem::path& path) {
    const int fd = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* file = _fdopen(fd, "wb");
    if (!file) {
        const int error = errno;
        _close(fd);
        _wunlink(path.c_str());
        errno = error;
    }
    return file;
}

bool flushAndSyncFile(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
}

bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    return MoveFileExW(from.wstring().c_str(), to.wstring().c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace rimbrel::platform
