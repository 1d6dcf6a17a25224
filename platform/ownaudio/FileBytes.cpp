#include "platform/ownaudio/FileBytes.h"

#include "platform/Files.h"

#include <cstring>

namespace rimbrel::platform::ownaudio {

namespace {

// 1 when the file has a byte at offset, 0 when it ends before, -1 when the
// read fails.
int hasByteAt(int fd, int64_t offset) {
    unsigned char byte;
    const int64_t got = readAt(fd, offset, &byte, 1);
    return got < 0 ? -1 : (got == 1 ? 1 : 0);
}

// The contract offers reads at offsets and nothing else, so the length is
// found by reading: doubling until past the end, then halving the gap
// (about a hundred one-byte reads for the largest files).
int64_t measure(int fd) {
    int64_t known = 0;  // the file holds at least this many bytes
    int64_t beyond = 4096;
    for (;;) {
        const int r = hasByteAt(fd, beyond - 1);
        if (r < 0) return -1;
        if (r == 0) break;
        known = beyond;
        if (beyond > (int64_t{1} << 61)) return known;
        beyond *= 2;
    }
    // The file's last byte lies in [known, beyond - 1), or it has none there.
    while (beyond - known > 1) {
        const int64_t middle = known + (beyond - known) / 2;
        const int r = hasByteAt(fd, middle - 1);
        if (r < 0) return -1;
        if (r == 1) {
            known = middle;
        } else {
            beyond = middle;
        }
    }
    return known;
}

}  // namespace

FileBytes::FileBytes(int fd) : fd_(fd), length_(measure(fd)) {}

bool FileBytes::read(int64_t offset, void* buffer, std::size_t size) const {
    if (offset < 0 || length_ < 0 || offset > length_ || static_cast<int64_t>(size) > length_ - offset) return false;
    return readAt(fd_, offset, buffer, size) == static_cast<int64_t>(size);
}

int64_t FileBytes::readSome(int64_t offset, unsigned char* buffer, std::size_t size) const {
    std::memset(buffer, 0, size);
    if (offset < 0 || length_ < 0 || offset >= length_) return 0;
    const int64_t there = length_ - offset;
    return readAt(fd_, offset, buffer, there < static_cast<int64_t>(size) ? static_cast<std::size_t>(there) : size);
}

}  // namespace rimbrel::platform::ownaudio
