// The sample loader: turns one sound file into the contents of one key.
//
// Runs on the UI thread. The file is decoded into buffers of the key's own
// size first; only then is the key marked busy (the kit's rewrite protocol)
// while its buffers and length are exchanged, so the audio thread never hears
// a key half-written. On any failure the key keeps its audio and length.
//
// A key keeps the file's channels: a mono file gives a mono key, a stereo
// file a stereo one (the original target plays and exports its mix, (right +
// left) * 0.5 in single precision). Resulting key for a file of F frames
// (4 <= F <= the target's limit): length F; positions 0 and 1 silent;
// positions 2 .. F-4 hold the file's frames 0 .. F-6 (clamped to -1..+1);
// F-3 .. F-1 silent. The limit is the kit's target's when the file loads:
// 529200 frames for the OP-1 (a longer file counts as 529199 frames),
// 882000 for the Field (a longer file counts as 881999). A file of 5 frames
// or fewer gives max(F, 1) frames of silence.
//
// A file at another rate (1000 .. 768000 Hz, see RateConverter.h) is first
// converted to 44100 Hz: F is then its length at 44100 Hz, and the rules
// above apply to the converted frames (each channel clamped, converted on its
// own and clamped again after it). Only what the cut keeps is decoded.
// Files at 44100 Hz, or at rates no recording has, are taken frame for frame.
//
// Files that hold fewer frames than their header claims: the sound-file
// decoder (platform/SoundFileDecoder.h; libsndfile on Linux) sizes most of
// them (WAV, AIFF...) from what they actually hold, and the key gets that.
// Where it still delivers fewer frames without an error, the key keeps
// the length the header gives and the missing frames are silence; where it
// reports a decoding error (a FLAC file cut short), the load fails with
// "failure reading file" and the key is kept. A header claiming billions of
// frames never costs more than the target's limit of memory.
#pragma once

#include "kit/Kit.h"
#include "kit/KitObservers.h"

#include <vector>

namespace rimbrel {

// Size of a stored key path buffer (keyNames entry), terminator included.
constexpr int kKeyNameSize = 512;
constexpr int kMaxPathLength = kKeyNameSize - 1;

// Loads the file at path into key k. An absent or empty path, or a key index
// outside 0..23, does nothing; a path longer than kMaxPathLength bytes is
// refused with one diagnostic line. When the path cannot be opened, looks for
// the file's base name in the default folder "c:/Sablewick/" (relative to the
// working folder) and loads that instead if it exists. observer may be null.
// Returns what the load did (loaded false when nothing was loaded).
LoadReport loadKeyFile(Kit& kit, const char* path, int k, LoadObserver* observer);

// The loader proper, without the fallback: opens, decodes, writes key k and
// reports through observer (may be null). Writes the load's diagnostic lines;
// a file it refuses (no sound the decoder reads, more than two channels, a
// read error) gets a line that says why. Key k changes only when it loads.
LoadReport DoXPlatLoadStuff(Kit& kit, const char* path, int k, LoadObserver* observer);

// A key's audio held outside the kit, with the file's channels.
struct DecodedKeyAudio {
    std::vector<float> channel[2];  // left (or the only channel), right; length frames each
    int channels = 0;               // 1 or 2; 0 when nothing was decoded
    int32_t length = 0;
};

// Decodes the file at path exactly as the loader fills a key (the same code),
// cutting at maxFrames (at least 6) instead of the target's limit. No
// fallback folder, no diagnostic lines, no kit involved; report.loaded tells
// whether out holds the audio.
LoadReport decodeKeyAudio(const char* path, int32_t maxFrames, DecodedKeyAudio& out);

}  // namespace rimbrel
