// Files: what a platform provides to open sound files, list a dropped folder
// and replace a written file safely. The loader, the sound-file probe, the
// folder lister and the AIFF writer reach the file system only through these.
//
// Descriptors are plain C runtime descriptors (what open() gives on Linux and
// _open() on Windows): the loader prints their numbers, and the sound-file
// decoder reads from them (SoundFileDecoder.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace rimbrel::platform {

// ---- File access ----

// Opens a regular file (symbolic links followed) for reading. Never blocks:
// FIFOs, sockets, devices and folders are refused. Returns -1 on failure.
int openForReading(const char* path);

// Reads up to size bytes at offset without moving the descriptor's position.
// Returns the byte count read, or -1.
int64_t readAt(int fd, int64_t offset, void* buffer, std::size_t size);

void closeFile(int fd);

// ---- Folders ----

struct FolderEntry {
    std::string name;
    bool isDirectory = false;
};

// Reads the entries of the folder at path into entries (cleared first), in
// the platform's own order, without the folder's own two entries ("." and
// ".."), and at most maxEntries of them. Symbolic links are followed: a link
// to a folder counts as a folder, a broken link as a file. Returns false,
// with entries empty, when path is not a folder that can be read.
// Sorting and the two own entries are the folder lister's (kit/FolderLister.h).
bool readFolder(const char* path, std::vector<FolderEntry>& entries, std::size_t maxEntries);

// ---- Paths ----
// Paths are UTF-8 everywhere in the program. A std::filesystem::path made from
// a plain std::string takes the bytes in the system's narrow encoding, which
// on Windows is not UTF-8: paths cross to and from std::filesystem only
// through these two.

inline std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string utf8FromPath(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

// ---- Replacing a file ----
// A written file replaces its target in two steps: flushAndSyncFile on the
// finished temporary file, then replaceFile over the target.

// Creates the file at path for writing (binary) only if nothing is there
// yet, as fopen's "wbx" does. Returns null when it cannot; errno is EEXIST
// when something by that name exists.
std::FILE* createNewFile(const std::filesystem::path& path);

// Flushes the stream's buffer and asks the system to write the file's data to
// the storage device. Returns false when either step fails.
bool flushAndSyncFile(std::FILE* file);

// Moves the file at from over the file at to, replacing it when it exists, in
// one step: to is either the old file or the new one, never missing or half
// written. Callers keep from in to's folder (the AIFF writer creates its
// temporary file beside the target). Returns false, with both left as they
// were, when the move fails.
bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace rimbrel::platform
