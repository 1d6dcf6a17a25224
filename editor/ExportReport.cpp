#include "editor/ExportReport.h"

#include <algorithm>
#include <cstdio>

#include "platform/Files.h"

namespace rimbrel {

const char* const kReplaceCaption = "Replace existing files?";

namespace {

std::string seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", s);
    return text;
}

// "12 s" for the original's kit limit, "20 s" for the Field's.
std::string limitSeconds(int32_t limitFrames) {
    return std::to_string(static_cast<int>(limitFrames / kFramesPerSecond)) + " s";
}

std::string count(int n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

}  // namespace

std::string fileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of(platform::kPathSeparators);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

double kitExportSeconds(const KitExportInput& in) {
    int32_t length[kNumKeys];
    for (int k = 0; k < kNumKeys; ++k)
        length[k] = in.frames[k] ? std::clamp<int32_t>(in.length[k], 0, kMaxKeyFrames) : 0;
    const int32_t frames = std::min(kitLayout(length).totalFrames, kMaxKitFrames);
    return double(frames) / kFramesPerSecond;
}

double individualExportSeconds(const KitExportInput& in) {
    int64_t frames = 0;
    for (int k = 0; k < kNumKeys; ++k) {
        const int32_t n = in.frames[k] ? std::clamp<int32_t>(in.length[k], 0, kMaxKeyFrames) : 0;
        if (n >= 2) frames += n;
    }
    return double(frames) / kFramesPerSecond;
}

double fieldKitExportSeconds(const FieldKitInput& in) {
    int32_t length[kNumKeys];
    for (int k = 0; k < kNumKeys; ++k)
        length[k] = in.audio[k].channel[0] ? std::clamp<int32_t>(in.audio[k].length, 0, kFieldMaxKeyFrames) : 0;
    const int32_t frames = std::min(kitLayout(length, kFieldMaxKeyFrames).totalFrames, kFieldMaxKitFrames);
    return double(frames) / kFramesPerSecond;
}

double fieldIndividualExportSeconds(const FieldKitInput& in) {
    int64_t frames = 0;
    for (int k = 0; k < kNumKeys; ++k) {
        const int32_t n =
            in.audio[k].channel[0] ? std::clamp<int32_t>(in.audio[k].length, 0, kFieldMaxKeyFrames) : 0;
        if (n >= 2) frames += n;
    }
    return double(frames) / kFramesPerSecond;
}

std::string kitExportMessage(ExportResult result, const std::string& file, int keys, double s, int32_t limitFrames) {
    switch (result) {
        case ExportResult::Written:
            return "Kit exported to " + fileNameOf(file) + ": " + seconds(s) + ", " + count(keys, "key", "keys");
        case ExportResult::NothingToExport: return emptyKitMessage();
        case ExportResult::Refused:
            return file.empty() ? "Not exported: the path is too long" : "Not exported: out of memory";
        case ExportResult::TooLong: return "Not exported: the kit lasts more than " + limitSeconds(limitFrames);
        case ExportResult::Failed: break;
    }
    return "Export failed: " + fileNameOf(file) + " could not be written";
}

std::string individualExportMessage(ExportResult result, const std::vector<IndividualExportFile>& files,
                                    int written, double s) {
    std::string names;
    if (!files.empty()) {
        names = fileNameOf(files.front().path);
        if (files.size() > 1) names += " .. " + fileNameOf(files.back().path);
    }
    switch (result) {
        case ExportResult::Written:
            return "Exported " + count(written, "file", "files") + " (" + names + "): " + seconds(s);
        case ExportResult::NothingToExport: return emptyKitMessage();
        case ExportResult::Refused:
            return files.empty() ? "Not exported: the path is too long" : "Not exported: out of memory";
        case ExportResult::TooLong:  // the per-key export has no total limit
        case ExportResult::Failed: break;
    }
    return "Export failed: " + std::to_string(written) + " of " + count(static_cast<int>(files.size()), "file", "files") +
           " written (" + names + ")";
}

std::string emptyKitMessage() { return "Nothing to export: drop sounds on the keys first"; }

std::string kitTooLongMessage(int32_t totalFrames, int32_t limitFrames) {
    return "Not exported: the kit lasts " + seconds(double(totalFrames) / kFramesPerSecond) + ", " +
           limitSeconds(limitFrames) + " at most (Ctrl-click a name to erase its key)";
}

std::string replaceQuestion(int existing, const std::string& first) {
    if (existing == 1) return fileNameOf(first) + " already exists. Replace it?";
    return std::to_string(existing) + " of the files already exist, the first " + fileNameOf(first) +
           ". Replace them all?";
}

}  // namespace rimbrel
