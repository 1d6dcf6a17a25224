// What the status line says about an export, and the question asked before
// a per-key export replaces files that exist.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/FieldKitWriter.h"
#include "formats/KitExport.h"

namespace rimbrel {

// Seconds of audio a kit export writes: the keys laid end to end, at most
// 12 seconds.
double kitExportSeconds(const KitExportInput& in);
// Seconds of audio the per-key files hold together.
double individualExportSeconds(const KitExportInput& in);
// The same for the Field's exports: keys of up to 20 s, a kit of 20 s at most.
double fieldKitExportSeconds(const FieldKitInput& in);
double fieldIndividualExportSeconds(const FieldKitInput& in);

// The status line after exportKit (or exportFieldKit, whose kit holds
// limitFrames at most) answered `result` for the file `file`.
std::string kitExportMessage(ExportResult result, const std::string& file, int keys, double seconds,
                             int32_t limitFrames = kMaxKitFrames);
// The status line after exportIndividualFiles answered `result`, having put
// `written` of `files` in place.
std::string individualExportMessage(ExportResult result, const std::vector<IndividualExportFile>& files,
                                    int written, double seconds);
// Why the export button did nothing: the kit is empty, or too long.
std::string emptyKitMessage();
std::string kitTooLongMessage(int32_t totalFrames, int32_t limitFrames = kMaxKitFrames);

// The question before replacing `existing` files, the first of them `first`.
extern const char* const kReplaceCaption;
std::string replaceQuestion(int existing, const std::string& first);

// The final part of a path, the file's name.
std::string fileNameOf(const std::string& path);

}  // namespace rimbrel
