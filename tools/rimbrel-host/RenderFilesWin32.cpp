#include "tools/rimbrel-host/RenderFiles.h"

#include "platform/Files.h"
#include "platform/SoundFileDecoder.h"
#include "platform/win32/WideText.h"

#include <cstdio>
#include <cstring>

namespace rimbrel::host {

namespace {

void putLe(std::FILE* f, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) std::fputc(int((v >> (8 * i)) & 0xFF), f);
}

// A canonical WAVE_FORMAT_IEEE_FLOAT file: RIFF, fmt, fact, data. The sizes
// are written once the frames are in.
class FloatWav final : public OutputWav {
public:
    FloatWav(std::FILE* file, std::string path, int sampleRate)
        : file_(file), path_(std::move(path)), sampleRate_(sampleRate) {
        writeHeader();
    }
    ~FloatWav() override {
        if (file_) std::fclose(file_);
    }
    bool write(const float* interleaved, int64_t frames, std::string& error) override {
        // The bytes are little-endian floats, as the machine's are.
        if (std::fwrite(interleaved, sizeof(float) * 2, size_t(frames), file_) == size_t(frames)) {
            frames_ += frames;
            return true;
        }
        error = path_ + ": write error";
        return false;
    }
    bool finish(std::string& error) override {
        std::fseek(file_, 0, SEEK_SET);
        writeHeader();
        const bool ok = std::ferror(file_) == 0;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (ok && closed) return true;
        error = path_ + ": write error";
        return false;
    }

private:
    void writeHeader() {
        const uint32_t dataBytes = uint32_t(frames_ * 8);
        std::fwrite("RIFF", 1, 4, file_);
        putLe(file_, 4 + 26 + 12 + 8 + dataBytes, 4);
        std::fwrite("WAVEfmt ", 1, 8, file_);
        putLe(file_, 18, 4);
        putLe(file_, 3, 2);  // IEEE float
        putLe(file_, 2, 2);
        putLe(file_, uint32_t(sampleRate_), 4);
        putLe(file_, uint32_t(sampleRate_) * 8, 4);
        putLe(file_, 8, 2);
        putLe(file_, 32, 2);
        putLe(file_, 0, 2);
        std::fwrite("fact", 1, 4, file_);
        putLe(file_, 4, 4);
        putLe(file_, uint32_t(frames_), 4);
        std::fwrite("data", 1, 4, file_);
        putLe(file_, dataBytes, 4);
    }

    std::FILE* file_;
    std::string path_;
    int sampleRate_;
    int64_t frames_ = 0;
};

}  // namespace

bool readInputSound(const std::string& path, InputSound& sound, std::string& error) {
    const int fd = platform::openForReading(path.c_str());
    if (fd < 0) {
        error = path + ": cannot open the file";
        return false;
    }
    bool ok = false;
    if (auto decoder = platform::openSoundFile(fd)) {
        const platform::SoundFileFacts& facts = decoder->facts();
        sound.channels = facts.channels;
        sound.sampleRate = facts.sampleRate;
        sound.interleaved.resize(size_t(facts.frames) * size_t(facts.channels));
        sound.frames = decoder->readFrames(sound.interleaved.data(), facts.frames);
        ok = !decoder->failed();
        if (!ok) error = path + ": decoding failed";
    } else {
        error = path + ": not a sound file this program reads";
    }
    platform::closeFile(fd);
    return ok;
}

std::unique_ptr<OutputWav> OutputWav::create(const std::string& path, int sampleRate, std::string& error) {
    std::FILE* file = _wfopen(win32::widen(path).c_str(), L"wb");
    if (!file) {
        error = path + ": cannot create the file";
        return nullptr;
    }
    return std::make_unique<FloatWav>(file, path, sampleRate);
}

}  // namespace rimbrel::host
