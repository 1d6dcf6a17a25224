// A sound-file decoder of the project's own for WAV and AIFF/AIFC, in plain
// C++ over the platform's readAt (platform/Files.h). Where no general
// decoding library is at hand, a platform tries it first for the formats
// people make kits from and hands everything else to the system's decoder.
//
// It reads WAV (RIFF) with integer PCM of 8 (unsigned), 16, 24 and 32 bits,
// IEEE float of 32 and 64 bits, also as WAVE_FORMAT_EXTENSIBLE; and AIFF or
// AIFC with big-endian PCM of 8 to 32 bits ("NONE", "twos", "in24", "in32"),
// little-endian PCM ("sowt", "42n1", "23ni"), unsigned 8-bit ("raw "), and
// float ("fl32", "FL32", "fl64", "FL64"). Chunks may come in any order.
//
// The decoder keeps the contract of SoundFileDecoder.h as the libsndfile one
// does: frames count what the file actually holds (a header that claims more
// is cut down to the file's end), and a file that ends early gives a short
// read without an error.
#pragma once

#include "platform/SoundFileDecoder.h"

#include <memory>

namespace rimbrel::platform {

// A decoder for the WAV or AIFF file behind fd (positioned anywhere: it reads
// at offsets), or null for any other file, a header it does not accept, or
// no memory. The descriptor stays the caller's, as with openSoundFile.
std::unique_ptr<SoundFileDecoder> openOwnAudioFile(int fd);

}  // namespace rimbrel::platform
