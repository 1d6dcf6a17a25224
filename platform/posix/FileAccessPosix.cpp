// File access over open(2) and pread(2).
#include "platform/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rimbrel::platform {

int openForReading(const char* path) {
    if (path == nullptr || path[0] == '\0') return -1;
    // O_NONBLOCK so that opening a FIFO without a writer returns at once;
    // the type check below then refuses it.
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

int64_t readAt(int fd, int64_t offset, void* buffer, std::size_t size) {
    std::size_t done = 0;
    char* out = static_cast<char*>(buffer);
    while (done < size) {
        const ssize_t r = ::pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            return done > 0 ? static_cast<int64_t>(done) : -1;
        }
        if (r == 0) break;
        done += static_cast<std::size_t>(r);
    }
    return static_cast<int64_t>(done);
}

void closeFile(int fd) {
    if (fd >= 0) ::close(fd);
}

}  // namespace rimbrel::platform
