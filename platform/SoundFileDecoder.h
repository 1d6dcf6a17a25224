// Sound-file decoding: the header facts of a sound file and its frames as
// floats. The loader and the sound-file probe decode only through this; on
// Linux libsndfile does the work (platform/sndfile/).
#pragma once

#include <cstdint>
#include <memory>

namespace rimbrel::platform {

// What the file's header says.
struct SoundFileFacts {
    int channels = 0;
    int sampleRate = 0;
    // Frames per channel as the decoder counts them (some decoders size a
    // file from what it actually holds); may exceed what a key takes.
    int64_t frames = 0;
    // The decoder knows the file's format: it is not taken as headerless
    // (raw) sample data.
    bool recognisedHeader = false;
};

// One open sound file. Destroying it closes it (the descriptor stays open).
class SoundFileDecoder {
public:
    virtual ~SoundFileDecoder() = default;

    virtual const SoundFileFacts& facts() const = 0;

    // Reads up to frames frames from the current position into interleaved
    // (frames * channels floats): integer formats at full scale -1..+1, float
    // formats as stored (they may exceed it). Returns the frames read; fewer
    // than asked means the file ended or decoding failed, and failed() tells
    // which.
    virtual int64_t readFrames(float* interleaved, int64_t frames) = 0;

    // True when the last read stopped on a decoding error.
    virtual bool failed() const = 0;
};

// Opens the sound file behind fd (from openForReading, Files.h; positioned at
// its start) for decoding from its first frame. The descriptor stays the
// caller's: the decoder never closes it, and must be destroyed before it is
// closed. Returns null when the decoder cannot read the file (or has no
// memory for it).
std::unique_ptr<SoundFileDecoder> openSoundFile(int fd);

}  // namespace rimbrel::platform
