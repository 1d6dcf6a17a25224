// What a drop (or a rimbrel-kit build) left out, and why: the items the drop
// intake passed over, each with the reason a user can act on.
#pragma once

#include "kit/DropIntake.h"

#include <cstddef>
#include <string>
#include <vector>

namespace rimbrel {

enum class SkipReason {
    Missing,        // no such file or folder
    Folder,         // a folder among several items: only a folder given alone is read
    Subfolder,      // a folder inside the dropped folder: not searched
    NotAFile,       // a FIFO, device or socket
    Unreadable,     // cannot be opened, or named like a sound file but not decodable
    NotSoundFile,   // a readable file that is no sound file
    PathTooLong,    // longer than a key's stored path holds
    BeyondLastKey,  // the 24 keys were filled before it
    NotExamined,    // past the entries a folder drop examines
};

struct SkippedItem {
    std::string path;
    SkipReason reason;
};

// The user's words for a reason ("not a sound file", "beyond the 24th key"...).
const char* skipReasonText(SkipReason reason);

// Why the intake would not take the file or folder at path as one item of a
// drop of several; false when it would take it.
bool whyNotTaken(const std::string& path, SkipReason& reason);

// The items of a drop that plan (planDrop of the same items and target key)
// does not take, in the order the intake meets them. For a folder dropped
// alone these are its entries (joined to the folder's path); entries past the
// examined ones are one item, the folder itself, with reason NotExamined.
std::vector<SkippedItem> skippedItems(const std::vector<std::string>& items,
                                      const std::vector<KeyAssignment>& plan);

}  // namespace rimbrel
