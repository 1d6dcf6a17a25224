#include "editor/DropSummary.h"

#include <algorithm>
#include <string_view>

#include "kit/DropReport.h"
#include "kit/Kit.h"
#include "kit/Loader.h"
#include "platform/Files.h"

namespace rimbrel {

namespace {

// Names listed in one part of a summary; the rest are counted.
constexpr std::size_t kMaxListedNames = 4;

std::string baseName(std::string path) {
    const std::string_view separators = platform::kPathSeparators;
    while (path.size() > 1 && separators.find(path.back()) != std::string_view::npos) path.pop_back();
    const std::size_t slash = path.find_last_of(platform::kPathSeparators);
    return slash == std::string::npos ? path : path.substr(slash + 1);
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

DropReport describeDrop(const std::vector<std::string>& items, const std::vector<KeyAssignment>& filled,
                        const KeyLoadReports& loads) {
    DropReport report;
    for (const KeyAssignment& assignment : filled) {
        const LoadReport& load = loads[static_cast<std::size_t>(assignment.key)];
        if (load.loaded)
            report.loaded.push_back(
                {assignment.key, assignment.path, load.cut, load.resampled ? load.sourceRate : 0});
        else
            report.skipped.push_back({assignment.path, skipReasonText(SkipReason::Unreadable)});
    }
    // What the intake passed over, in its order, with the reasons
    // rimbrel-kit gives too. Folders inside a dropped folder are ordinary
    // and not worth a place on the one line.
    for (const SkippedItem& item : skippedItems(items, filled)) {
        if (item.reason == SkipReason::BeyondLastKey)
            ++report.beyondLastKey;
        else if (item.reason != SkipReason::Subfolder)
            report.skipped.push_back({item.path, skipReasonText(item.reason)});
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
