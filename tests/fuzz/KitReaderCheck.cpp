// The kit-file reader check: the reader on the bytes in memory and through a
// file, the frame decoder, the kit taken apart into keys, and
// `rimbrel-kit inspect` on that file.
#include "tests/fuzz/FuzzChecks.h"

#include "formats/KitFileReader.h"
#include "formats/KitOpening.h"
#include "tools/rimbrel-kit/KitTool.h"

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace rimbrel::fuzz {

namespace {

// The tool's report goes nowhere while it runs.
class SilencedStdout {
public:
    SilencedStdout() {
        std::fflush(stdout);
        saved_ = ::dup(1);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            ::dup2(null, 1);
            ::close(null);
        }
    }
    ~SilencedStdout() {
        std::fflush(stdout);
        if (saved_ >= 0) {
            ::dup2(saved_, 1);
            ::close(saved_);
        }
    }
    SilencedStdout(const SilencedStdout&) = delete;
    SilencedStdout& operator=(const SilencedStdout&) = delete;

private:
    int saved_;
};

bool sameResult(const KitFile& a, const KitFile& b) {
    return a.errors == b.errors && a.warnings == b.warnings && a.chunks.size() == b.chunks.size() &&
           a.hasCommon == b.hasCommon && a.hasSound == b.hasSound && a.frames == b.frames &&
           a.soundOffset == b.soundOffset && a.soundBytes == b.soundBytes &&
           a.description.text == b.description.text;
}

}  // namespace

std::string checkKitReaderInput(const uint8_t* data, std::size_t size) {
    // An exact copy on the heap: a read past its end is an ASan report.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size > 0 ? size : 1]);
    if (size > 0) std::memcpy(copy.get(), data, size);

    const KitFile file = parseKitFile(copy.get(), size);
    if (file.valid() && !(file.hasCommon && file.hasSound && file.description.present && file.description.parsed))
        return "a file without COMM, SSND or description counts as valid";
    for (const KitFileChunk& c : file.chunks)
        if (c.offset + 8 > size) return "a chunk listed past the end of the file";
    if (file.hasSound && file.soundOffset + file.soundBytes > size) return "the sound data lies past the end of the file";
    if (file.description.present && file.description.text.size() > size) return "a description longer than the file";

    std::vector<float> mono;
    if (decodeKitFileFrames(file, copy.get(), size, mono)) {
        if (mono.size() != file.frames) return "decoded frame count differs from COMM";
        for (float v : mono)
            if (!std::isfinite(v) || v < -1.0f || v > 1.0f) return "a decoded frame outside -1..+1";
    }

    // Each key's frames: inside the audio, or none at all.
    for (int k = 0; k < 24; ++k) {
        std::vector<float> left, right;
        if (!decodeKitFileKey(file, copy.get(), size, k, left, right)) {
            if (!left.empty() || !right.empty()) return "a key that cannot be read left frames behind";
            continue;
        }
        if (left.empty() || left.size() > file.frames) return "a key's frames do not fit the audio";
        if (right.size() != (file.channels == 2 ? left.size() : 0)) return "a key's channels differ in length";
        for (const std::vector<float>* channel : {&left, &right})
            for (float v : *channel)
                if (!std::isfinite(v) || v < -1.0f || v > 1.0f) return "a key's frame outside -1..+1";
    }
    // The kit taken apart: keys of the file's channels, each no longer than
    // the audio and its silent frame, every frame inside -1..+1.
    const OpenedKit opened = takeKitApart(copy.get(), size, "fuzz");
    if (opened.opened != (opened.keysWithAudio > 0)) return "an opened kit without keys, or keys of a refused one";
    if (!opened.opened && opened.error.empty()) return "a kit refused without a reason";
    for (const OpenedKey& key : opened.keys) {
        const KeyAudioBuffers& a = key.audio;
        if (!a.length) continue;
        if (a.length < 2 || uint64_t(a.length) > uint64_t(file.frames) + 1) return "an opened key outside the audio";
        if (a.channels() != file.channels) return "an opened key with other channels than the kit";
        for (int32_t i = 0; i < a.length; ++i)
            if (!(a.left[i] >= -1.0f && a.left[i] <= 1.0f) || (a.right && !(a.right[i] >= -1.0f && a.right[i] <= 1.0f)))
                return "an opened key's frame outside -1..+1";
    }

    if (file.valid() && file.description.stereo && file.channels != 2)
        return "a stereo description over audio of another channel count counts as valid";
    if (file.valid() && double(file.frames) > file.positionScaleFrames())
        return "audio longer than its kind of kit holds counts as valid";

    // The same bytes through a file.
    const std::string path = scratchFolder() + "/kit.aif";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    std::vector<uint8_t> bytes;
    const KitFile fromPath = readKitFile(path, &bytes);
    if (bytes.size() != size || (size > 0 && std::memcmp(bytes.data(), data, size) != 0))
        return "the reader's copy of the file differs from the file";
    if (!sameResult(file, fromPath)) return "the file read through its path parses differently";

    // What a user runs: rimbrel-kit inspect FILE.
    const char* argv[] = {"rimbrel-kit", "inspect", path.c_str(), nullptr};
    int status;
    {
        SilencedStdout quiet;
        status = runKitTool(3, argv);
    }
    if (status != (file.valid() ? kExitOk : kExitFailed))
        return "inspect exited with " + std::to_string(status) + (file.valid() ? " on a valid kit" : " on an invalid kit");
    return "";
}

}  // namespace rimbrel::fuzz
