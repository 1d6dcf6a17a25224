// The AIFF writer shared by the kit export and the per-key export.
//
// openAiffOutput writes 16-bit, 44100 Hz AIFF files (mono unless asked for
// two channels) with the chunks FORM, COMM, APPL, MARK, INST and SSND in that
// order. The comment given to it is the APPL body (its first four characters
// stand where the application signature is), padded with zero bytes to a
// multiple of 4.
//
// openAifcOutput writes the Field's kind of file: AIFC with the chunks FVER,
// COMM (16-bit, 44100 Hz, "sowt"), APPL and SSND, little-endian samples
// interleaved channel by channel.
//
// A file is never written in place: the writer creates a temporary file in
// the target's folder, writes the header for 0 frames, appends the frames,
// patches the three sizes, flushes the file to disk and only then renames it
// over the target. Any failure on the way removes the temporary file and
// leaves whatever was at the target untouched.
//
// All calls belong to the UI thread (or a tool's main thread). No exceptions
// leave them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rimbrel {

// Size of the path buffers of the exports: a path holds at most 511 bytes.
constexpr std::size_t kPathBufferSize = 512;

// Header bytes in front of the sample data for a comment of `commentLength`
// bytes: 100 + L + P, with P the zero bytes that pad L to a multiple of 4.
constexpr uint32_t aiffHeaderSize(std::size_t commentLength) {
    return uint32_t(100 + commentLength + (4 - commentLength % 4) % 4);
}

// The 16-bit value stored for one sample: trunc(x * 32768), saturated to
// -32768..32767 (1.0 and above give 32767, below -1.0 give -32768; NaN gives 0).
inline int16_t aiffSampleValue(float x) {
    float y = x * 32768.0f;
    y = y == y ? y : 0.0f;  // NaN
    y = y < 32767.0f ? y : 32767.0f;
    y = y > -32768.0f ? y : -32768.0f;
    return int16_t(int32_t(y));  // toward zero
}

// Gives the name the extension ".aif", in place, in a buffer of `capacity`
// bytes holding a NUL-terminated name (letters compared without case):
//   ".wav" -> ".aif"; ".aif" stays; ".aifc" loses its last letter; anything
//   else gets ".aif" appended.
// Returns false, leaving the name unchanged, when the appended extension does
// not fit the buffer (or the buffer holds no terminated name).
bool forceAifExtension(char* name, std::size_t capacity);

struct AiffOutput;  // an export file being written

// Starts the file at `path` with the header for 0 frames. On failure prints
// "error: 11 can't write %s: %s" (the two placeholders as they stand) and
// returns null.
AiffOutput* openAiffOutput(const char* path, const char* comment, int channels = 1);

// Starts an AIFC file with little-endian ("sowt") samples at `path`, its
// header for 0 frames, the APPL body `appl` of `applLength` bytes (a zero
// byte pads an odd length). Failures as openAiffOutput.
AiffOutput* openAifcOutput(const char* path, int channels, const char* appl, std::size_t applLength);

// Appends `count` samples converted by aiffSampleValue (interleaved when
// the file has two channels). Returns false once
// anything has failed (the failure is reported when the output is closed).
bool writeAiffFrames(AiffOutput* out, const float* frames, int64_t count);

// Patches the FORM size (+ dataBytes), the COMM frame count (dataBytes / 2
// per channel) and the SSND size (8 + dataBytes), flushes the file to disk and renames it
// over the target. `dataBytes` must equal the bytes appended so far. Returns
// true when the file is in place; on failure prints the writer's error line,
// removes the temporary file and leaves the target as it was. Always
// releases the handle.
bool closeAiffOutput(AiffOutput* out, uint32_t dataBytes);

// Abandons an output: removes its temporary file, releases the handle.
void discardAiffOutput(AiffOutput* out);

}  // namespace rimbrel
