// Helpers for the kit tests: a temporary folder, sound files written with
// libsndfile, reference decodes and stderr capture.
#pragma once

#include "tests/KeyAudioSupport.h"
#include "kit/Kit.h"
#include "kit/KitObservers.h"

#include <sndfile.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace rimbrel::test {

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Writes interleaved samples with libsndfile; format is a full SF_FORMAT_*
// value. Float files keep values beyond +/-1.0.
void writeSound(const std::string& path, int format, int channels, int rate, const std::vector<float>& samples);

// A signal of frames x channels with distinct, exactly representable values
// (multiples of 1/256) that cover both signs.
std::vector<float> ramp(int64_t frames, int channels, int seed = 0);

// Writes a mono 16-bit WAV of frames with ramp() contents.
void writeWav(const std::string& path, int64_t frames, int channels = 1, int seed = 0);

void writeText(const std::string& path, const std::string& text);

struct Decoded {
    int channels = 0;
    int64_t frames = 0;
    std::vector<float> samples;  // interleaved
};
// What libsndfile alone yields for the file (normalised floats).
Decoded decode(const std::string& path);
// Channel c of a decode, as a mono decode of its own.
Decoded channelOf(const Decoded& d, int c);

// The key a load of a file decoding to d must produce (layout built here from
// the rules, independent of the loader): returns the expected length and fills
// expected (kMaxKeyFrames floats).
int32_t expectedKey(const Decoded& d, std::vector<float>& expected);

std::unique_ptr<Kit> makeKit();

// Fills key k with a recognisable pattern and a length, as if loaded before.
void fillKey(Kit& kit, int k, float value, int32_t length);

// Records what the loader and intake tell the window.
struct RecordingObserver : DropObserver {
    std::vector<std::string> events;
    bool editorOpen = true;
    std::vector<bool> openWhenLoaded;
    void loadStarted() override {
        editorOpen = false;
        events.push_back("closed");
    }
    void loadEnded() override {
        editorOpen = true;
        events.push_back("open");
    }
    void keyLoaded(int k) override {
        openWhenLoaded.push_back(editorOpen);
        events.push_back("loaded " + std::to_string(k));
    }
    void keyNamed(int k) override { events.push_back("named " + std::to_string(k)); }
};

// The descriptor number the next open() will return (the lowest free one).
int nextDescriptor();

// The diagnostics of a successful load of path into key k with descriptor fd.
std::string successLines(const std::string& path, int fd, int k);

}  // namespace rimbrel::test
