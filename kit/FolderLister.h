// The folder lister the drop intake uses for a dropped folder.
//
// A listing yields the folder's own two entries first (".", then ".."), then
// its other entries sorted by name in natural order: runs of digits compare
// as numbers ("2 snare" before "10 hat"), the rest case-insensitively (ASCII
// letters folded; ties in plain byte order), each with its name and whether
// it is a folder. Symbolic links are followed: a link to a folder
// counts as a folder, a broken link as a file.
//
// Sorting needs every name, so the whole folder is read when the listing
// starts, up to kMaxListedEntries entries (in the platform's own order);
// entries beyond that are left out, which keeps a listing bounded.
//
// The platform reads the folder (platform::readFolder); the order and the
// two own entries are the same on every platform, so they live here.
#pragma once

#include "platform/Files.h"

#include <cstddef>
#include <string>
#include <vector>

namespace rimbrel {

constexpr std::size_t kMaxListedEntries = 100000;

using platform::FolderEntry;

// Lists the folder at path into entries (cleared first). Returns false, with
// entries empty, when path is not a folder that can be listed.
bool listFolder(const char* path, std::vector<FolderEntry>& entries,
                std::size_t maxEntries = kMaxListedEntries);

// The listing order of two names (true when a comes first).
bool folderNameLess(const std::string& a, const std::string& b);

}  // namespace rimbrel
