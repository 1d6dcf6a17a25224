// What one drop did, item by item, and the status line's summary of it:
//   "3 files loaded on F3..G3; skipped: notes.txt (not a sound file),
//    garbage.wav (cannot be read)"
#pragma once

#include <array>
#include <string>
#include <vector>

#include "kit/DropIntake.h"

namespace rimbrel {

struct DropReport {
    struct Loaded {
        int key;
        std::string path;
        bool cut = false;       // longer than 12 seconds: cut
        int resampledFrom = 0;  // the file's rate when it was resampled, else 0
    };
    struct Skipped {
        std::string path;
        std::string reason;  // "not a sound file", "cannot be read", ...
    };
    std::vector<Loaded> loaded;
    std::vector<Skipped> skipped;
    int beyondLastKey = 0;  // files left out once E5 was filled

    bool anyLoaded() const { return !loaded.empty(); }
};

// The note a key plays, as the window names it: key 0 "F3" ... key 23 "E5".
std::string keyNoteName(int k);

// What the loader reported for each key during one drop.
using KeyLoadReports = std::array<LoadReport, kNumKeys>;

// The report of a drop of `items` that filled the keys in `filled` (in
// order, as the intake gave them), with what each key's load did.
DropReport describeDrop(const std::vector<std::string>& items, const std::vector<KeyAssignment>& filled,
                        const KeyLoadReports& loads);

// The status line's text for a drop.
std::string dropSummary(const DropReport& report);

}  // namespace rimbrel
