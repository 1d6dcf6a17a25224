// The render command's files: the input read whole as float frames, the
// output written as a 2-channel 32-bit float WAV. libsndfile on Linux; on
// Windows the platform's decoders and a WAV writer of the tool's own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace rimbrel::host {

struct InputSound {
    std::vector<float> interleaved;
    int channels = 0;
    int sampleRate = 0;
    int64_t frames = 0;
};

// Reads the sound file at path; false with error set when it cannot.
bool readInputSound(const std::string& path, InputSound& sound, std::string& error);

class OutputWav {
public:
    // Creates the file (2 channels of 32-bit floats); null with error set.
    static std::unique_ptr<OutputWav> create(const std::string& path, int sampleRate, std::string& error);
    virtual ~OutputWav() = default;
    // Appends frames interleaved frames; false with error set on failure.
    virtual bool write(const float* interleaved, int64_t frames, std::string& error) = 0;
    // Finishes the file (its header's sizes); false with error set.
    virtual bool finish(std::string& error) = 0;
};

}  // namespace rimbrel::host
