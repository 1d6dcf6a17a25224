// Reading a sound file's header: bytes at offsets of an open descriptor
// (through readAt), the file's length, and the byte orders of its fields.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rimbrel::platform::ownaudio {

class FileBytes {
public:
    // Measures the file; length() is -1 when it cannot be read at all.
    explicit FileBytes(int fd);

    int fd() const { return fd_; }
    int64_t length() const { return length_; }

    // Reads exactly size bytes at offset; false when the file has fewer
    // there or the read fails.
    bool read(int64_t offset, void* buffer, std::size_t size) const;

    // Reads up to size bytes at offset and fills the rest of buffer with
    // zeros; returns the bytes the file had there (-1 when the read fails).
    int64_t readSome(int64_t offset, unsigned char* buffer, std::size_t size) const;

private:
    int fd_;
    int64_t length_;
};

inline uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
inline uint16_t be16(const unsigned char* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t be32(const unsigned char* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

}  // namespace rimbrel::platform::ownaudio
