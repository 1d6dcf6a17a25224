#pragma once
// Drum sounds of Rimbrel's own, synthesised from sine sweeps and filtered
// noise, so that the demo and the tests have a real kit to work with and no
// sample of anyone else's is needed. Everything is deterministic: the same
// program always writes the same files.
#include <cstdint>
#include <string>
#include <vector>

namespace rimbrel::drums {

constexpr int kSampleRate = 44100;

struct DrumSound {
    std::string name;           // file name without extension, e.g. "01-kick"
    std::vector<float> frames;  // mono, faded to silence at the end
};

// The loudest any sound peaks (about -3 dBFS). Each sound has its own level
// below that, balanced like a mixed kit, so the groove played through the
// plug-in stays clear of clipping where several keys sound at once.
constexpr float kLoudestPeak = 0.7f;

// The whole set, in the order of the keys they are meant for (key 0 first):
// kick, snare, closed hat, open hat, clap, low tom, high tom, rim, cowbell.
std::vector<DrumSound> makeDrumKit();

// One step of a pattern: a note-on at `frame` and its note-off `length`
// frames later, for MIDI note `note`.
struct PatternHit {
    int64_t frame;
    int note;
    int64_t length;
};

// A two-bar groove at `bpm` over the keys of makeDrumKit() (MIDI notes 53
// upwards), starting at frame `start`.
std::vector<PatternHit> makeGroove(int64_t start, double bpm);

// The groove as `frame status note velocity` lines, as rimbrel-host reads them.
std::string grooveAsText(const std::vector<PatternHit>& hits);

}  // namespace rimbrel::drums
