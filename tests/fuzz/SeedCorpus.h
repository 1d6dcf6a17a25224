// Seed inputs for the fuzz targets, made from real files: sound files of the
// formats libsndfile writes, kits written by the export, uri-lists as file
// managers send them, and host scripts that play the keys.
#pragma once

#include <string>

namespace rimbrel::fuzz {

// Writes the seeds of target ("loader", "urilist", "kitreader", "midi",
// "ownaudio", "ownflac" or "kitstate") into folder (which must exist). Returns the number of files
// written.
int writeSeeds(const std::string& target, const std::string& folder);

}  // namespace rimbrel::fuzz
