// The few file operations the loader and the acceptance test need, kept
// behind one small interface so that another platform can supply its own.
// Descriptors are plain C runtime descriptors, as libsndfile's sf_open_fd
// takes them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rimbrel::platform {

// Opens a regular file (symbolic links followed) for reading. Never blocks:
// FIFOs, sockets, devices and folders are refused. Returns -1 on failure.
int openForReading(const char* path);

// Reads up to size bytes at offset without moving the descriptor's position.
// Returns the byte count read, or -1.
int64_t readAt(int fd, int64_t offset, void* buffer, std::size_t size);

void closeFile(int fd);

}  // namespace rimbrel::platform
