// `rimbrel-host render`: runs MIDI notes and an input file (or silence)
// through a plug-in block by block and writes what it outputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/rimbrel-host/PluginLoader.h"

namespace rimbrel::host {

// One MIDI message at an absolute frame of the rendering.
struct TimedMidi {
    int64_t frame = 0;
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
};

struct RenderOptions {
    std::string outputPath;
    std::string inputPath;  // empty: silent input
    double sampleRate = 44100.0;
    bool sampleRateGiven = false;
    int blockSize = 512;
    int64_t frames = -1;  // -1: the input's length, or the notes plus one second
    std::vector<TimedMidi> events;
    std::string loadStatePath;  // handed to effSetChunk before the run
    std::string saveStatePath;  // effGetChunk written here after the run
};

// "FRAME:NOTE[:LENGTH]": a note-on on channel 1 (velocity 100) and, with a
// length, the note-off LENGTH frames later.
bool parseNoteSpec(const std::string& text, std::vector<TimedMidi>& events, std::string& error);

// A text file of lines "frame status data1 data2" (numbers in decimal or
// 0x hexadecimal); '#' starts a comment.
bool readMidiText(const std::string& path, std::vector<TimedMidi>& events, std::string& error);

// Renders and writes a two-channel 32-bit float WAV. Returns false and says
// why on failure.
bool render(Plugin& plugin, RenderOptions options, std::string& error);

}  // namespace rimbrel::host
