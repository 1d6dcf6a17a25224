// The saved state (kit/KitState.h) of a live kit: taken from the kit and its
// window's key names, and put back into them. The effect hands the first to
// the host as its chunk and restores the second from it when a project
// opens.
//
// Threads: the UI side only (everything here allocates): the host's main
// thread or its editor thread, which may differ. Reading the keys' audio
// holds the kit's keyWriters, so a save never reads a key being replaced;
// calls on one LiveKitState are serialised the same way. Key audio goes in
// through the rewrite protocol (replaceKeysAudio) and the settings through
// their atomics, so the audio thread never waits on a restore.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kit/DropIntake.h"
#include "kit/Kit.h"
#include "kit/KitState.h"

namespace rimbrel {

class LiveKitState {
public:
    // The state of kit, every key with its name from names (null: no key is
    // named). Each key's audio is encoded again only when its generation
    // changed since the last call, so saving a kit that did not change only
    // copies bytes, or nothing at all. The bytes stay as they are until the
    // next call or the object's end. Null, with why set to one line, when
    // the kit holds what a state cannot.
    const std::vector<uint8_t>* save(Kit& kit, const KeyNames* names, std::string& why);

    // Encodes the audio of at most one key whose audio changed since it was
    // last encoded, so that the next save has little left to do. Answers
    // whether it did (false: every key is current, or encoding failed and
    // save will say why).
    bool encodeOneChangedKey(Kit& kit);

    // Puts the state in bytes into kit and names (null: names are not kept):
    // every key's audio, name and settings, then the target. Keys the state
    // does not hold become empty with the default settings. Damaged bytes
    // (or memory running out) leave the kit empty and answer false with why
    // set to one line.
    static bool restore(Kit& kit, KeyNames* names, const uint8_t* bytes, std::size_t size, std::string& why);

    // Lets go of the encoded audio kept between saves.
    void clear() { cache_.clear(); }
    std::size_t heldBytes() const { return cache_.heldBytes(); }

private:
    KitStateCache cache_;
};

}  // namespace rimbrel
