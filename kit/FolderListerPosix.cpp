// Folder listing over opendir/readdir.
#if !defined(_WIN32)

#include "kit/FolderLister.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace rimbrel {

namespace {

bool entryIsDirectory(int dirFd, const struct dirent* e) {
#ifdef _DIRENT_HAVE_D_TYPE
    if (e->d_type == DT_DIR) return true;
    if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) return false;
#endif
    // A link (followed) or a file system that does not give the type.
    struct stat st;
    if (::fstatat(dirFd, e->d_name, &st, 0) != 0) return false;  // broken link
    return S_ISDIR(st.st_mode);
}

}  // namespace

bool listFolder(const char* path, std::vector<FolderEntry>& entries, std::size_t maxEntries) {
    entries.clear();
    if (path == nullptr || path[0] == '\0') return false;
    DIR* dir = ::opendir(path);
    if (dir == nullptr) return false;
    const int dirFd = ::dirfd(dir);

    std::vector<FolderEntry> found;
    while (found.size() < maxEntries) {
        const struct dirent* e = ::readdir(dir);
        if (e == nullptr) break;
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        found.push_back(FolderEntry{e->d_name, entryIsDirectory(dirFd, e)});
    }
    ::closedir(dir);

    std::sort(found.begin(), found.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return folderNameLess(a.name, b.name); });
    entries.reserve(found.size() + 2);
    entries.push_back(FolderEntry{".", true});
    entries.push_back(FolderEntry{"..", true});
    for (FolderEntry& f : found) entries.push_back(std::move(f));
    return true;
}

}  // namespace rimbrel

#endif
