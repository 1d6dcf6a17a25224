#include "kit/DropIntake.h"

#include "kit/Diagnostics.h"
#include "kit/FolderLister.h"
#include "kit/SoundFileProbe.h"

#include <cstdio>
#include <cstring>

namespace rimbrel {

namespace {

constexpr int kTagFirstNameLabel = 51;

bool fitsKeyName(const std::string& path) { return path.size() <= static_cast<std::size_t>(kMaxPathLength); }

// The acceptance test plus the stored-path limit, without a word: what a
// hover shows.
bool acceptQuietly(const std::string& path) {
    return std::memchr(path.data(), '\0', path.size()) == nullptr && fitsKeyName(path) &&
           isLoadableFile(path.c_str());
}

// The acceptance test plus the stored-path limit. Reports a path that would
// be taken but cannot be stored.
bool acceptForDrop(const std::string& path) {
    if (std::memchr(path.data(), '\0', path.size()) != nullptr) return false;
    if (!isLoadableFile(path.c_str())) return false;
    if (!fitsKeyName(path)) {
        std::fprintf(stderr, "[%s] path too long: %s\n", kLogTag, path.c_str());
        return false;
    }
    return true;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

// The item is one folder that can be listed: its listing in entries.
bool isFolderDrop(const std::vector<std::string>& items, std::vector<FolderEntry>& entries) {
    if (items.size() != 1) return false;
    const std::string& item = items[0];
    return std::memchr(item.data(), '\0', item.size()) == nullptr && listFolder(item.c_str(), entries) &&
           !entries.empty() && entries[0].isDirectory;
}

void folderIntake(const std::string& folder, const std::vector<FolderEntry>& entries, const TakeFile& take,
                  bool (*accept)(const std::string&) = acceptForDrop) {
    int k = 0;
    // entries[0] is the folder's own entry, entries[1] its parent: passed over.
    if (entries.size() < 2) return;
    const std::size_t end = std::min<std::size_t>(entries.size(), 2 + kMaxFolderEntriesExamined);
    for (std::size_t i = 2; i < end && k < kNumKeys; ++i) {
        const FolderEntry& entry = entries[i];
        if (entry.isDirectory) continue;
        const std::string candidate = joinPath(folder, entry.name);
        if (!accept(candidate)) continue;
        take(k, candidate);
        ++k;
    }
}

}  // namespace

int dropTargetKey(int tag) {
    const int k = tag - kTagFirstNameLabel;
    return isKeyIndex(k) ? k : 0;
}

void walkDrop(const std::vector<std::string>& items, int targetKey, const TakeFile& take) {
    if (!isKeyIndex(targetKey)) targetKey = 0;
    if (items.empty()) return;

    if (items.size() == 1) {
        std::vector<FolderEntry> entries;
        if (isFolderDrop(items, entries)) {
            folderIntake(items[0], entries, take);
            return;
        }
        if (acceptForDrop(items[0])) take(targetKey, items[0]);
        return;
    }

    int k = targetKey;
    for (const std::string& item : items) {
        if (!acceptForDrop(item)) continue;
        take(k, item);
        if (++k >= kNumKeys) break;
    }
}

std::vector<KeyAssignment> planDrop(const std::vector<std::string>& items, int targetKey) {
    std::vector<KeyAssignment> plan;
    walkDrop(items, targetKey, [&plan](int key, const std::string& path) { plan.push_back({key, path}); });
    return plan;
}

bool assignKey(Kit& kit, KeyNames& names, int key, const char* path, DropObserver* observer) {
    if (!isKeyIndex(key) || path == nullptr) return false;
    const std::size_t length = strnlen(path, kKeyNameSize);
    if (length > static_cast<std::size_t>(kMaxPathLength)) {
        std::fprintf(stderr, "[%s] path too long: %s\n", kLogTag, path);
        return false;
    }
    if (observer) observer->keyAboutToChange(key);
    // The name follows the audio: a file the loader refuses leaves the key
    // with the name of the sound it still holds.
    if (!loadKeyFile(kit, path, key, observer).loaded) return false;
    std::memcpy(names[key], path, length);
    names[key][length] = '\0';
    if (observer) observer->keyNamed(key);
    return true;
}

KeyMask applyDropPlan(Kit& kit, KeyNames& names, const std::vector<KeyAssignment>& plan,
                      DropObserver* observer) {
    KeyMask named = 0;
    for (const KeyAssignment& a : plan) {
        if (!isKeyIndex(a.key) || !fitsKeyName(a.path)) continue;
        if (assignKey(kit, names, a.key, a.path.c_str(), observer)) named |= keyBit(a.key);
    }
    return named;
}

KeyMask handleDrop(Kit& kit, KeyNames& names, const std::vector<std::string>& items, int targetKey,
                   DropObserver* observer, const TakeFile& filled) {
    std::fprintf(stderr, "[%s] \n HandleDragDrop begin !\n", kLogTag);
    KeyMask named = 0;
    walkDrop(items, targetKey, [&](int key, const std::string& path) {
        if (assignKey(kit, names, key, path.c_str(), observer)) named |= keyBit(key);
        if (filled) filled(key, path);
    });
    return named;
}

KeyMask hoverKeys(const std::vector<std::string>& items, int firstKey) {
    if (!isKeyIndex(firstKey)) return 0;
    KeyMask keys = 0;
    std::vector<FolderEntry> entries;
    if (isFolderDrop(items, entries)) {
        folderIntake(
            items[0], entries, [&keys](int key, const std::string&) { keys |= keyBit(key); },
            acceptQuietly);
        return keys;
    }
    int i = firstKey;
    for (const std::string& item : items) {
        if (i >= kNumKeys) break;
        if (std::memchr(item.data(), '\0', item.size()) != nullptr || !fitsKeyName(item)) continue;
        if (!isLoadableFile(item.c_str())) continue;
        keys |= keyBit(i);
        ++i;
    }
    return keys;
}

}  // namespace rimbrel
