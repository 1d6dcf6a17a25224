// The drop intake: which keys the files and folders dropped on the window
// fill, and in what order. The window's drop handler calls handleDrop with
// the dropped paths and the target key, and its hover handler calls
// hoverKeys; the control-specific parts (the drop button's highlight, label
// redraws) stay in the window.
//
// Rules:
//  - One item that is a folder: folder intake. Keys are filled from key 0,
//    whatever the target, with the folder's files in listing order
//    (FolderLister.h); subfolders are passed over; at most 512 entries after
//    the folder's own two are examined, and at most 24 files taken.
//  - One item that is a file: it goes to the target key if accepted.
//  - Several items: accepted items fill keys from the target key on, in the
//    order given, one key each, until key 23 has been filled; folders among
//    them are refused like any other unreadable file.
//  - Acceptance is isLoadableFile (SoundFileProbe.h). A refused item uses no key and
//    leaves every stored path alone. An accepted path longer than 511 bytes
//    does not fit a stored path: it is refused with one diagnostic line.
//  - Whatever the filled keys held is replaced; keys past the last filled one
//    keep their contents. A file the loader refuses after it was accepted
//    still uses its key, which keeps its old audio and name.
// Paths are used exactly as given (no separator conversion).
#pragma once

#include "kit/KitObservers.h"
#include "kit/Kit.h"
#include "kit/Loader.h"

#include <functional>
#include <string>
#include <vector>

namespace rimbrel {

// The window's stored key paths (keyNames): zero-terminated, empty when the
// first byte is 0.
using KeyNames = char[kNumKeys][kKeyNameSize];

constexpr int kMaxFolderEntriesExamined = 512;

// Target key of a drop from the tag of the receiving control: the name label
// tags 51..74 give keys 0..23; the drop button (197) and any other tag key 0.
int dropTargetKey(int tag);

struct KeyAssignment {
    int key;
    std::string path;
    bool operator==(const KeyAssignment&) const = default;
};

// Walks a drop of items (paths in the order the drag container yields them)
// on targetKey and calls take(key, path) for each accepted file, in key
// order. Each call completes before the next item is examined, so take may
// load the file. A targetKey outside 0..23 counts as 0.
using TakeFile = std::function<void(int key, const std::string& path)>;
void walkDrop(const std::vector<std::string>& items, int targetKey, const TakeFile& take);

// The assignments a drop of items on targetKey would make, in order.
std::vector<KeyAssignment> planDrop(const std::vector<std::string>& items, int targetKey);

// Fills one key as the drop does: loads path (loadKeyFile) and, when the load
// succeeds, stores path in names[key] and calls observer->keyNamed(key). A
// failed load keeps the key's audio and its old name. observer may be null.
// True when the key took the file.
bool assignKey(Kit& kit, KeyNames& names, int key, const char* path, DropObserver* observer);

// assignKey for every entry of a plan; returns the keys that took their file.
KeyMask applyDropPlan(Kit& kit, KeyNames& names, const std::vector<KeyAssignment>& plan,
                      DropObserver* observer);

// The whole drop: writes the "HandleDragDrop begin" line, then examines,
// loads and names one item after the other (walkDrop + assignKey). Returns
// the keys that took their file (hasName / updateNameLabel already reported
// through observer); a refused load still uses its key. filled, when given,
// is called with each key and the path it was given, once its load has run.
KeyMask handleDrop(Kit& kit, KeyNames& names, const std::vector<std::string>& items, int targetKey,
                   DropObserver* observer, const TakeFile& filled = {});

// The keys a drag of items hovering over the name label of firstKey would
// fill: accepted items from firstKey on, while below 24; for one folder, the
// keys its files fill from key 0. Returns 0 when firstKey is outside 0..23.
KeyMask hoverKeys(const std::vector<std::string>& items, int firstKey);

}  // namespace rimbrel
