#include "tools/rimbrel-host/RenderFiles.h"

#include <sndfile.h>

namespace rimbrel::host {

namespace {

class SndfileWav final : public OutputWav {
public:
    SndfileWav(SNDFILE* file, std::string path) : file_(file), path_(std::move(path)) {}
    ~SndfileWav() override {
        if (file_) sf_close(file_);
    }
    bool write(const float* interleaved, int64_t frames, std::string& error) override {
        if (sf_writef_float(file_, interleaved, frames) == frames) return true;
        error = path_ + ": " + sf_strerror(file_);
        return false;
    }
    bool finish(std::string& error) override {
        const int closed = sf_close(file_);
        file_ = nullptr;
        if (closed == 0) return true;
        error = path_ + ": " + sf_error_number(closed);
        return false;
    }

private:
    SNDFILE* file_;
    std::string path_;
};

}  // namespace

bool readInputSound(const std::string& path, InputSound& sound, std::string& error) {
    SF_INFO info{};
    SNDFILE* in = sf_open(path.c_str(), SFM_READ, &info);
    if (!in) {
        error = path + ": " + sf_strerror(nullptr);
        return false;
    }
    sound.channels = info.channels;
    sound.sampleRate = info.samplerate;
    sound.interleaved.resize(size_t(info.frames) * size_t(info.channels));
    sound.frames = sf_readf_float(in, sound.interleaved.data(), info.frames);
    sf_close(in);
    return true;
}

std::unique_ptr<OutputWav> OutputWav::create(const std::string& path, int sampleRate, std::string& error) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* out = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!out) {
        error = path + ": " + sf_strerror(nullptr);
        return nullptr;
    }
    return std::make_unique<SndfileWav>(out, path);
}

}  // namespace rimbrel::host
