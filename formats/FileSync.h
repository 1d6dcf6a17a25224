// Pushes a written file's data to the storage device before it is renamed
// into place. The only platform-specific piece of the formats library.
#pragma once

#include <cstdio>

namespace rimbrel {

// Flushes the stream's buffer and asks the system to write the file's data to
// disk. Returns false when either step fails.
bool flushAndSyncFile(std::FILE* file);

}  // namespace rimbrel
