// --load-state and --save-state: a plug-in's chunk (its saved state, as a
// host keeps it with a project) read from and written to a file.
#pragma once

#include <string>

#include "tools/rimbrel-host/PluginLoader.h"

namespace rimbrel::host {

// Hands the file's bytes to effSetChunk (as the bank). The effect must be
// open. False, saying why, when the file cannot be read; what the plug-in
// makes of the bytes is its own business (Rimbrel says so on stderr).
bool loadStateFile(Plugin& plugin, const std::string& path, std::string& error);

// Writes what effGetChunk (as the bank) hands over to path. False, saying
// why, when the plug-in hands over nothing or the file cannot be written.
bool saveStateFile(Plugin& plugin, const std::string& path, std::string& error);

}  // namespace rimbrel::host
