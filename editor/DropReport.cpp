#include "editor/DropReport.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "kit/FileAccess.h"
#include "kit/FolderLister.h"
#include "kit/Kit.h"
#include "kit/Loader.h"

namespace rimbrel {

namespace {

// Names listed in one part of a summary; the rest are counted.
constexpr std::size_t kMaxListedNames = 4;

const char* const kSoundExtensions[] = {"wav", "wave", "aif", "aiff", "aifc", "flac", "ogg", "oga", "opus",
                                        "mp3", "caf", "w64", "au", "snd", "rf64", "voc", "sd2", "mat"};

std::string baseName(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool hasSoundExtension(const std::string& path) {
    const std::string name = baseName(path);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) return false;
    std::string extension = name.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::find(std::begin(kSoundExtensions), std::end(kSoundExtensions), extension) !=
           std::end(kSoundExtensions);
}

std::string plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "a.wav, b.wav and 3 more" from the names picked out of `items`.
template <typename Item, typename Describe>
std::string listOf(const std::vector<Item>& items, Describe describe) {
    std::string list;
    const std::size_t shown = std::min(items.size(), kMaxListedNames);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) list += ", ";
        list += describe(items[i]);
    }
    if (items.size() > shown) list += " and " + std::to_string(items.size() - shown) + " more";
    return list;
}

}  // namespace

std::string keyNoteName(int k) {
    static const char* const names[12] = {"F", "F#", "G", "G#", "A", "A#", "B", "C", "C#", "D", "D#", "E"};
    if (!isKeyIndex(k)) return "?";
    const int note = 53 + k;
    return std::string(names[k % 12]) + std::to_string(note / 12 - 1);
}

std::string skipReason(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return "not a file";
    if (path.size() > static_cast<std::size_t>(kMaxPathLength)) return "path too long";
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return "not found";
    if (S_ISDIR(info.st_mode)) return "a folder";
    if (!S_ISREG(info.st_mode)) return "not a sound file";
    const int fd = platform::openForReading(path.c_str());
    if (fd < 0) return "cannot be read";
    platform::closeFile(fd);
    // A file that claims to be sound by its name but is not is damaged
    // rather than something else altogether.
    return hasSoundExtension(path) ? "cannot be read" : "not a sound file";
}

DropReport describeDrop(const std::vector<std::string>& items, const std::vector<KeyAssignment>& filled,
                        const KeyLoadReports& loads) {
    // What the intake looked at, in its order: a lone folder's files, or
    // the items themselves.
    std::vector<std::string> candidates;
    std::vector<FolderEntry> entries;
    if (items.size() == 1 && items[0].find('\0') == std::string::npos && listFolder(items[0].c_str(), entries) &&
        !entries.empty() && entries[0].isDirectory) {
        std::string folder = items[0];
        if (folder.empty() || folder.back() != '/') folder += '/';
        const std::size_t end = std::min<std::size_t>(entries.size(), 2 + kMaxFolderEntriesExamined);
        for (std::size_t i = 2; i < end; ++i)
            if (!entries[i].isDirectory) candidates.push_back(folder + entries[i].name);
    } else {
        candidates = items;
    }

    DropReport report;
    std::size_t next = 0;  // the next entry of filled to meet
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const std::string& path = candidates[i];
        if (next < filled.size() && filled[next].path == path) {
            const int key = filled[next].key;
            const LoadReport& load = loads[static_cast<std::size_t>(key)];
            if (load.loaded)
                report.loaded.push_back({key, path, load.cut, load.resampled ? load.sourceRate : 0});
            else
                report.skipped.push_back({path, "cannot be read"});
            // The intake stops once the last key is filled.
            if (++next == filled.size() && key == kNumKeys - 1) {
                report.beyondLastKey = static_cast<int>(candidates.size() - i - 1);
                break;
            }
        } else {
            report.skipped.push_back({path, skipReason(path)});
        }
    }
    return report;
}

std::string dropSummary(const DropReport& report) {
    std::vector<std::string> parts;
    if (report.anyLoaded()) {
        int first = report.loaded.front().key;
        int last = first;
        for (const DropReport::Loaded& item : report.loaded) {
            first = std::min(first, item.key);
            last = std::max(last, item.key);
        }
        std::string range = keyNoteName(first);
        if (last != first) range += ".." + keyNoteName(last);
        parts.push_back(plural(report.loaded.size(), "file", "files") + " loaded on " + range);
    } else {
        parts.emplace_back("Nothing loaded");
    }

    std::vector<DropReport::Loaded> cut;
    std::vector<DropReport::Loaded> resampled;
    for (const DropReport::Loaded& item : report.loaded) {
        if (item.cut) cut.push_back(item);
        if (item.resampledFrom > 0) resampled.push_back(item);
    }
    if (!resampled.empty())
        parts.push_back("resampled to 44100 Hz: " + listOf(resampled, [](const DropReport::Loaded& item) {
                            return baseName(item.path) + " (from " + std::to_string(item.resampledFrom) + " Hz)";
                        }));
    if (!cut.empty())
        parts.push_back("cut to 12 seconds: " +
                        listOf(cut, [](const DropReport::Loaded& item) { return baseName(item.path); }));
    if (!report.skipped.empty())
        parts.push_back("skipped: " + listOf(report.skipped, [](const DropReport::Skipped& item) {
                            return baseName(item.path) + " (" + item.reason + ")";
                        }));
    if (report.beyondLastKey > 0)
        parts.push_back(plural(static_cast<std::size_t>(report.beyondLastKey), "file", "files") +
                        " left out beyond E5");

    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty()) text += "; ";
        text += part;
    }
    return text;
}

}  // namespace rimbrel
