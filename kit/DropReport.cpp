#include "kit/DropReport.h"

#include "kit/FolderLister.h"
#include "kit/SoundFileProbe.h"
#include "kit/SoundFileNames.h"
#include "platform/Files.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace rimbrel {

namespace {

std::string joinPath(const std::string& folder, const std::string& name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

bool isFolder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(platform::pathFromUtf8(path), ec);
}

bool isTaken(const std::vector<KeyAssignment>& plan, const std::string& path) {
    return std::any_of(plan.begin(), plan.end(), [&](const KeyAssignment& a) { return a.path == path; });
}

// The reason for a file the intake did not take: why it was refused, or, when
// nothing is wrong with it, that the keys were already full.
SkipReason refusedFile(const std::string& path) {
    SkipReason reason;
    return whyNotTaken(path, reason) ? reason : SkipReason::BeyondLastKey;
}

}  // namespace

const char* skipReasonText(SkipReason reason) {
    switch (reason) {
        case SkipReason::Missing: return "no such file or folder";
        case SkipReason::Folder: return "a folder (a folder is read only when given alone)";
        case SkipReason::Subfolder: return "a folder inside the folder (not searched)";
        case SkipReason::NotAFile: return "not a file";
        case SkipReason::Unreadable: return "cannot be read";
        case SkipReason::NotSoundFile: return "not a sound file";
        case SkipReason::PathTooLong: return "path longer than 511 bytes";
        case SkipReason::BeyondLastKey: return "beyond the 24th key";
        case SkipReason::NotExamined: return "entries past the first 512 of a folder are not examined";
    }
    return "skipped";
}

bool whyNotTaken(const std::string& path, SkipReason& reason) {
    namespace fs = std::filesystem;
    if (path.empty() || std::memchr(path.data(), '\0', path.size()) != nullptr) {
        reason = SkipReason::Missing;
        return true;
    }
    std::error_code ec;
    const fs::file_status st = fs::status(platform::pathFromUtf8(path), ec);  // links followed
    if (st.type() == fs::file_type::not_found) {
        reason = SkipReason::Missing;
        return true;
    }
    if (ec) {
        reason = SkipReason::Unreadable;
        return true;
    }
    if (st.type() == fs::file_type::directory) {
        reason = SkipReason::Folder;
        return true;
    }
    if (st.type() != fs::file_type::regular) {
        reason = SkipReason::NotAFile;
        return true;
    }
    if (!isLoadableFile(path.c_str())) {
        // A file named like a sound file that the loader cannot decode is
        // spoilt or unreadable, not some other kind of file.
        const std::size_t slash = path.find_last_of('/');
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        const int fd = platform::openForReading(path.c_str());
        const bool opens = fd >= 0;
        platform::closeFile(fd);
        reason = (!opens || hasSoundFileExtension(name)) ? SkipReason::Unreadable : SkipReason::NotSoundFile;
        return true;
    }
    if (path.size() > static_cast<std::size_t>(kMaxPathLength)) {
        reason = SkipReason::PathTooLong;
        return true;
    }
    return false;
}

std::vector<SkippedItem> skippedItems(const std::vector<std::string>& items,
                                      const std::vector<KeyAssignment>& plan) {
    std::vector<SkippedItem> skipped;
    if (items.size() == 1 && isFolder(items[0])) {
        const std::string& folder = items[0];
        std::vector<FolderEntry> entries;
        if (!listFolder(folder.c_str(), entries) || entries.size() < 2) return skipped;
        const std::size_t examined = std::min<std::size_t>(entries.size(), 2 + kMaxFolderEntriesExamined);
        for (std::size_t i = 2; i < examined; ++i) {
            const std::string path = joinPath(folder, entries[i].name);
            if (entries[i].isDirectory)
                skipped.push_back({path, SkipReason::Subfolder});
            else if (!isTaken(plan, path))
                skipped.push_back({path, refusedFile(path)});
        }
        if (examined < entries.size()) skipped.push_back({folder, SkipReason::NotExamined});
        return skipped;
    }
    // Several items: the plan takes them in the order given, so walking both
    // together tells each item's fate, even for an item given twice.
    std::size_t next = 0;
    for (const std::string& item : items) {
        if (next < plan.size() && plan[next].path == item) {
            ++next;
            continue;
        }
        SkipReason reason;
        skipped.push_back({item, whyNotTaken(item, reason) ? reason : SkipReason::BeyondLastKey});
    }
    return skipped;
}

}  // namespace rimbrel
