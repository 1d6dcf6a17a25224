// Replacing a written file: FlushFileBuffers, then MoveFileExW over the
// target (write-through, so the move is on the disk when it returns).
#include "platform/Files.h"
#include "platform/win32/WideText.h"

#include <io.h>
#include <windows.h>

namespace rimbrel::platform {

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
