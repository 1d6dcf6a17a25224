// Folder reading over opendir/readdir.
#include "platform/Files.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace rimbrel::platform {

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

bool readFolder(const char* path, std::vector<FolderEntry>& entries, std::size_t maxEntries) {
    entries.clear();
    if (path == nullptr || path[0] == '\0') return false;
    DIR* dir = ::opendir(path);
    if (dir == nullptr) return false;
    const int dirFd = ::dirfd(dir);

    while (entries.size() < maxEntries) {
        const struct dirent* e = ::readdir(dir);
        if (e == nullptr) break;
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        entries.push_back(FolderEntry{e->d_name, entryIsDirectory(dirFd, e)});
    }
    ::closedir(dir);
    return true;
}

}  // namespace rimbrel::platform
