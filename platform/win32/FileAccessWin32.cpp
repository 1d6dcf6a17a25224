// File access over CreateFileW and ReadFile at offsets. Descriptors are C
// runtime descriptors (_open_osfhandle) so that they print and pass around as
// on Linux; reads go to the handle behind them.
#include "platform/Files.h"
#include "platform/win32/WideText.h"

#include <algorithm>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace rimbrel::platform {

int openForReading(const char* path) {
    if (path == nullptr || path[0] == '\0') return -1;
    const std::wstring wide = win32::widen(path);
    // Opening a pipe, a console or a device could block or take it from its
    // owner: only what the file system calls a plain file is opened.
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return -1;
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return -1;
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) CloseHandle(handle);
    return fd;
}

int64_t readAt(int fd, int64_t offset, void* buffer, std::size_t size) {
    if (offset < 0) return -1;
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE) return -1;
    std::size_t done = 0;
    char* out = static_cast<char*>(buffer);
    while (done < size) {
        // An explicit offset per read. (On a handle opened for plain reads
        // this moves the handle's position too; nothing here uses it.)
        OVERLAPPED at{};
        const uint64_t position = uint64_t(offset) + done;
        at.Offset = DWORD(position & 0xFFFFFFFFu);
        at.OffsetHigh = DWORD(position >> 32);
        const DWORD chunk = DWORD(std::min<std::size_t>(size - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(handle, out + done, chunk, &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return done > 0 ? int64_t(done) : -1;
        }
        if (got == 0) break;
        done += got;
    }
    return int64_t(done);
}

void closeFile(int fd) {
    if (fd >= 0) _close(fd);
}

}  // namespace rimbrel::platform
