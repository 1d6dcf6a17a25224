// The kit's saved state: the bytes a host keeps with its project so that the
// kit comes back when the project is opened again, on this machine or another.
// For every key it holds the name (the full path the user dropped), the
// settings, and the audio itself, packed without loss (platform/LosslessAudio.h);
// and the kit target.
//
// The bytes (integers little-endian):
//   "RbKs"  u16 major  u16 minor  u32 size of everything after this field
//   then records, each   tag (4 bytes)  u32 payload size  payload
//     "KITH"  the kit: u32 target (0 OP-1, 1 Field)            exactly once
//     "KEY "  one key: u32 index, i32 pitch, i32 play mode, u8 reverse,
//             f32 volume, f32 pan, u32 name size + name (UTF-8, no NUL),
//             u32 frames, u32 channels (0 without audio, 1 or 2),
//             u32 audio size + the encoded audio              at most once a key
// A reader skips records with tags it does not know and whatever a record
// holds past the fields it knows: a newer minor version adds only such
// things. A newer major version is refused.
//
// Threads: UI thread (everything here allocates). Nothing here touches a Kit:
// the caller copies what it needs in or out under the kit's own protocol.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kit/Kit.h"
#include "kit/UndoHistory.h"

namespace rimbrel {

constexpr char kKitStateMagic[4] = {'R', 'b', 'K', 's'};
constexpr uint16_t kKitStateMajor = 1;
constexpr uint16_t kKitStateMinor = 0;
// The longest audio and name a key of a state may hold: a Field key, and
// what the window keeps of a path.
constexpr int32_t kMaxStateKeyFrames = kMaxFieldKeyFrames;
constexpr std::size_t kMaxStateNameBytes = kKeyNameSize - 1;

// One key as a state holds it.
struct KitStateKey {
    int key = 0;       // 0..23
    std::string name;  // the full path, as the window stores it
    KeySettings settings;
    int32_t length = 0;        // frames per channel; 0: no audio
    int channels = 0;          // 0 without audio, else 1 or 2
    std::vector<float> left;   // length frames: the left channel, or the only one
    std::vector<float> right;  // length frames of a stereo key; empty otherwise
    bool operator==(const KitStateKey&) const = default;
};

// A whole kit as a state holds it: keys in any order, each index at most once;
// a key missing here is an empty key with the default settings.
struct KitStateData {
    KitTarget target = KitTarget::Op1;
    std::vector<KitStateKey> keys;
    bool operator==(const KitStateData&) const = default;
};

// The state of data, or nothing (an empty vector) when data holds what a state
// cannot (a key index, name, length or setting out of range, audio that does
// not match its length and channels) or the audio cannot be encoded.
std::vector<uint8_t> encodeKitState(const KitStateData& data);

// Reads a state into out. Returns false, with out empty (no keys, target
// OP-1) and why set to one line ("kit state refused: ..."), when the bytes
// are not a state this version can read whole. Never reads outside the bytes
// and never allocates more than a full kit of 24 stereo keys of 20 s.
bool decodeKitState(const uint8_t* bytes, std::size_t size, KitStateData& out, std::string& why);

// ---- Assembling a state for a kit that mostly stays as it was ----

// One key seen where it lies (nothing copied), with the caller's generation
// number for its audio: the caller gives a new number whenever the key's
// audio changes, and the same number while it does not.
struct KitStateKeySource {
    int key = 0;
    std::string_view name;
    KeySettings settings;
    int32_t length = 0;
    int channels = 0;
    const float* left = nullptr;
    const float* right = nullptr;  // stereo keys only
    uint64_t generation = 0;
};

// Each key's encoded audio, kept for the generation it was made for, and
// the last state assembled from it. A state of a kit whose audio did not
// change only copies bytes; one of a kit where nothing but settings or the
// target changed is the last state with those fields rewritten in place.
class KitStateCache {
public:
    // The state of target and keys (in the order given), each key's audio
    // from the cache. The bytes belong to the cache and stay as they are until
    // the next call (what a host is handed for a chunk). Null, with why set to
    // one line, when a key holds what a state cannot or its audio cannot be
    // encoded.
    const std::vector<uint8_t>* assemble(KitTarget target, const KitStateKeySource* keys, std::size_t count,
                                         std::string& why);

    // The encoded audio of source: the bytes kept for its key when they were
    // made for the same generation, length and channels, else encoded now and
    // kept. Null when the audio cannot be encoded.
    const std::vector<uint8_t>* encodedAudio(const KitStateKeySource& source);
    // True when encodedAudio(source) would only hand back kept bytes.
    bool holdsAudioFor(const KitStateKeySource& source) const;

    void clear();
    // Bytes held: every key's encoded audio and the last state.
    std::size_t heldBytes() const;

private:
    struct Entry {
        bool filled = false;
        uint64_t generation = 0;
        int32_t length = 0;
        int channels = 0;
        std::vector<uint8_t> bytes;
    };
    // Where a key's record lies in the last state, and what made it.
    struct Placed {
        int key = 0;
        std::string name;
        int32_t length = 0;
        int channels = 0;
        uint64_t generation = 0;
        std::size_t settingsAt = 0;
    };
    bool samePlacement(const KitStateKeySource* keys, std::size_t count) const;
    void rewriteSettings(KitTarget target, const KitStateKeySource* keys, std::size_t count);
    bool writeState(KitTarget target, const KitStateKeySource* keys, std::size_t count, std::string& why);

    std::array<Entry, kNumKeys> entries_;
    std::vector<uint8_t> state_;
    std::vector<Placed> placed_;
    bool haveState_ = false;
};

}  // namespace rimbrel
