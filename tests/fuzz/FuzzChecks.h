// The checks behind the fuzz targets. Each takes one input, runs it through
// the real code the way a user or a host would reach it, and verifies what
// must hold afterwards. The libFuzzer entries and the replay test call the
// very same functions, so an input that once broke something stays covered
// by the ordinary test suites.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rimbrel::fuzz {

// Each returns "" when everything held, or a description of what did not.
// Crashes, out-of-bounds accesses and undefined behaviour are left to the
// sanitizers (and to the guard pages of the loader check).

// The bytes as a sound file dropped on a key: the acceptance test, then the
// loader on that file (through its path), on a kit whose other storage is
// write-protected.
std::string checkLoaderInput(const uint8_t* data, std::size_t size);

// The bytes as the text/uri-list data of a drop.
std::string checkUriListInput(const uint8_t* data, std::size_t size);

// The bytes as a kit file: the reader in memory and through a path, the frame
// decoder, and the inspect command of the kit tool.
std::string checkKitReaderInput(const uint8_t* data, std::size_t size);

// The bytes as a script of host calls on an effect created through the
// plug-in's entry: event lists, blocks, parameters, suspend/resume, rates.
std::string checkMidiInput(const uint8_t* data, std::size_t size);

// The bytes as a sound file for the own WAV and AIFF decoder: refused, or
// described within the file and read to its last counted frame.
std::string checkOwnAudioInput(const uint8_t* data, std::size_t size);

// The bytes as a FLAC stream for the own decoder: refused with nothing
// decoded, or 1 or 2 channels on the 24-bit grid, which the own encoder writes
// again so that both decoders read them back the same.
std::string checkOwnFlacInput(const uint8_t* data, std::size_t size);

// The bytes as a kit state a host hands back: refused with its one line and
// nothing read, or read within the kit's limits, and then written and read
// again to the same kit.
std::string checkKitStateInput(const uint8_t* data, std::size_t size);

// A folder for files written by the checks: in RAM where the system has
// /dev/shm, one per process, removed at exit.
const std::string& scratchFolder();

}  // namespace rimbrel::fuzz
