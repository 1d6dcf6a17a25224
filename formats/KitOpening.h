// Opening a drum-kit file for editing: the kit taken apart into its 24 keys
// again, each with the audio of its span, its settings and a name.
//
// Used by the window (a kit file dropped alone on "Drop Files / Folder
// Here") and by rimbrel-kit (`split KIT.aif`), so both give the same keys.
//
// What a key gets, for key k of a kit file KITNAME.aif:
//  - the frames from its start to its end position (both included), scaled
//    back to frames on the file's own scale (529200 frames for the
//    original's kits, 882000 for the Field's), with the file's channels,
//    followed by one silent frame: the export writes every key but its last
//    frame, so an opened kit exported unchanged gives each key's span back;
//  - nothing when its end lies at or before its start (an unused key), or
//    when its span repeats the previous key's exactly (how the export
//    writes an empty key);
//  - positions past the audio cut to the audio (one diagnostic line for the
//    whole kit); other spans that overlap, repeat or run out of order are each
//    copied as they stand;
//  - its settings, the nearest the window offers: pitch to whole semitones
//    (-48..+48), play mode and direction read the way the kit's instrument
//    reads them, volume 0..16384 as the volume parameter, and the Field's
//    pan; a value of the Field's fourth play mode, which the window cannot
//    show, is also kept as it stands for the key's Field export;
//  - the name "KITNAME #N", N = k + 1.
// The kit's target follows the file (the Field's for a Field kit).
//
// UI thread (or a tool's main thread). No exceptions leave these functions;
// a damaged kit is refused with a reason and changes nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "kit/DropIntake.h"
#include "kit/KeyAudio.h"
#include "kit/Kit.h"
#include "kit/UndoHistory.h"

namespace rimbrel {

struct OpenedKey {
    KeyAudioBuffers audio;       // empty for an unused key
    KeySettings settings;        // defaults for an unused key
    std::string name;            // "KITNAME #N"; empty for an unused key
    int32_t fieldPlayMode = -1;  // a Field play-mode value of its fourth mode, kept for export; else -1
};

struct OpenedKit {
    bool opened = false;
    std::string error;    // why the kit was refused (opened false)
    std::string kitName;  // the file name without its extension
    KitTarget target = KitTarget::Op1;
    OpenedKey keys[kNumKeys];
    int keysWithAudio = 0;
    int keysCut = 0;  // keys whose positions reached past the audio
};

// True when the file at path is an AIFF or AIFC file with the "op-1"
// description of a drum kit (or one too damaged to tell its type): a drop
// of it alone opens the kit. Reads the chunk headers and the description
// only. A sampler patch, a per-key export or any other file answers false.
bool isKitFile(const std::string& path);

// Takes the kit file at path apart. kitName is the file name without its
// extension. Prints one diagnostic line when positions were cut.
OpenedKit openKitFile(const std::string& path);

// The same for a file held in memory (kitName names the keys).
OpenedKit takeKitApart(const uint8_t* data, std::size_t size, const std::string& kitName);

// Puts an opened kit into the kit: all 24 keys in one rewrite (stopped),
// their settings, names and the target. observer->keyAboutToChange runs for
// every key first (undo records them), keyLoaded and keyNamed after; it may
// be null. The kit's audio is moved out of opened.
void putOpenedKit(Kit& kit, KeyNames& names, OpenedKit& opened, DropObserver* observer);

// "Opened kit NAME.aif: 12 keys" (NAME.aif the file name of path), with
// ", for the OP-1 Field" when the target is
// the Field's and a note of cut positions.
std::string openedKitSummary(const OpenedKit& opened, const std::string& path);

}  // namespace rimbrel
