#include "formats/KitOpening.h"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include <nlohmann/json.hpp>

#include "formats/KitFileReader.h"
#include "kit/Diagnostics.h"
#include "kit/ParameterMap.h"

namespace rimbrel {

namespace {

constexpr int64_t kPositionMax = 2147483646;
constexpr uint32_t kMaxDescriptionBytes = 1u << 20;  // far more than any kit's description
constexpr int kMaxChunksExamined = 64;

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

std::string fileStem(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

std::string fileName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ---- settings: the nearest the window offers ----

int32_t pitchFromKit(int64_t v) {
    // Semitones are stored times 512 (negative ones 256 higher): both round
    // half away from zero to the right semitone.
    const double semitones = std::round(double(v) / 512.0);
    return int32_t(std::clamp(semitones, -48.0, 48.0));
}

int32_t playModeFromKit(int64_t v, KitTarget target) {
    if (target == KitTarget::Op1Field) {
        switch (fieldPlayMode(v)) {
            case FieldPlayMode::Gate: return PlayModeGate;
            case FieldPlayMode::OneShot: return PlayModeOneShot;
            case FieldPlayMode::Loop: return PlayModeLoop;
            // The Field's fourth mode has no place in the window: the
            // nearer of one-shot (12288) and loop (28672).
            case FieldPlayMode::Fourth: return v < 20480 ? PlayModeOneShot : PlayModeLoop;
            case FieldPlayMode::Outside: return v < 0 ? PlayModeGate : PlayModeLoop;
        }
    }
    // The original's 8000, 8192 and 16384, and what lies between them.
    if (v < 8096) return PlayModeGate;
    return v < 12288 ? PlayModeOneShot : PlayModeLoop;
}

bool reverseFromKit(int64_t v, KitTarget target) {
    return target == KitTarget::Op1Field ? !fieldPlaysForward(v) : v >= 12288;
}

float volumeFromKit(int64_t v) {
    const double p = std::clamp(double(v) / 16384.0, 0.0, 1.0);
    return param::volumeFromParameter(float(p));
}

// The Field's pan: 0 left, 16384 centre, 32767 right (each side its own scale).
float panFromKit(int64_t v) {
    const double clamped = std::clamp(double(v), 0.0, 32767.0);
    const double p = clamped <= 16384.0 ? clamped / 32768.0 : 0.5 + (clamped - 16384.0) / (2.0 * 16383.0);
    return param::panFromParameter(float(p));
}

KeySettings settingsOf(const KitFile& file, int k) {
    const KitFileDescription& d = file.description;
    KeySettings s;
    if (d.hasPitch) s.pitch = pitchFromKit(d.pitch[k]);
    if (d.hasPlaymode) s.playMode = playModeFromKit(d.playmode[k], file.target);
    if (d.hasReverse) s.reverse = reverseFromKit(d.reverse[k], file.target);
    if (d.hasVolume) s.volume = volumeFromKit(d.volume[k]);
    if (d.hasPan && file.target == KitTarget::Op1Field) s.pan = panFromKit(d.pan[k]);
    return s;
}

// ---- audio ----

float sampleAt(const KitFile& file, const uint8_t* p) {
    const uint16_t u = file.littleEndian ? uint16_t(p[0] | p[1] << 8) : uint16_t(p[0] << 8 | p[1]);
    return float(int16_t(u)) / 32768.0f;
}

// Frames first..last (inside the audio) and one silent frame after them.
bool copySpan(const KitFile& file, const uint8_t* data, int64_t first, int64_t last, KeyAudioBuffers& out) {
    const int64_t limit = file.target == KitTarget::Op1Field ? kMaxFieldKeyFrames : kMaxKeyFrames;
    const int64_t length = std::min(last - first + 2, limit);
    if (!out.allocate(int32_t(length), file.channels)) return false;
    const int channels = file.channels;
    const uint8_t* p = data + file.soundOffset + uint64_t(first) * uint64_t(channels) * 2;
    for (int64_t i = 0; i < length - 1; ++i) {
        out.left[i] = sampleAt(file, p);
        if (channels == 2) out.right[i] = sampleAt(file, p + 2);
        p += channels * 2;
    }
    out.left[length - 1] = 0.0f;
    if (channels == 2) out.right[length - 1] = 0.0f;
    return true;
}

// Why a parsed file cannot be taken apart; empty when it can. Positions
// outside the format's range are no reason: they are cut like any other
// position past the audio.
std::string refusal(const KitFile& file, std::size_t size) {
    const std::size_t tolerated = file.description.positionsOutOfRange ? 1 : 0;
    if (file.errors.size() > tolerated) return file.errors.front();
    if (!file.description.hasStart || !file.description.hasEnd) return "the kit gives no positions";
    if (file.bits != 16 || file.channels < 1 || file.channels > 2)
        return "the kit's audio is not 16-bit mono or stereo";
    const uint64_t frameBytes = uint64_t(file.channels) * 2;
    if (file.soundOffset > size || file.soundBytes > size - file.soundOffset ||
        uint64_t(file.frames) * frameBytes > file.soundBytes)
        return "the kit's audio is cut short";
    return {};
}

}  // namespace

bool isKitFile(const std::string& path) {
    try {
        // Only a plain file: opening a pipe or a device to read would wait.
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) return false;
        std::ifstream in(path, std::ios::binary);
        uint8_t header[12];
        if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return false;
        if (std::memcmp(header, "FORM", 4) != 0 ||
            (std::memcmp(header + 8, "AIFF", 4) != 0 && std::memcmp(header + 8, "AIFC", 4) != 0))
            return false;
        uint64_t at = 12;
        for (int i = 0; i < kMaxChunksExamined; ++i) {
            uint8_t chunk[12];
            in.seekg(std::streamoff(at));
            if (!in.read(reinterpret_cast<char*>(chunk), sizeof chunk)) return false;
            const uint32_t size = be32(chunk + 4);
            if (std::memcmp(chunk, "APPL", 4) == 0 && size >= 4 && std::memcmp(chunk + 8, "op-1", 4) == 0) {
                // A drum kit, or a description too damaged to say: the
                // opening refuses that with its reason. Other kinds ("type")
                // are sounds.
                if (size - 4 > kMaxDescriptionBytes) return true;
                std::string text(size - 4, '\0');
                in.read(text.data(), std::streamsize(text.size()));
                text.resize(std::size_t(in.gcount()));
                while (!text.empty() && (text.back() == '\0' || std::isspace(static_cast<unsigned char>(text.back()))))
                    text.pop_back();
                const nlohmann::json root = nlohmann::json::parse(text, nullptr, false);
                if (!root.is_object()) return true;
                const auto type = root.find("type");
                return type == root.end() || !type->is_string() || type->get<std::string>() == "drum";
            }
            at += 8 + uint64_t(size) + (size & 1);
        }
    } catch (...) {
    }
    return false;
}

OpenedKit takeKitApart(const uint8_t* data, std::size_t size, const std::string& kitName) {
    OpenedKit opened;
    opened.kitName = kitName;
    try {
        const KitFile file = parseKitFile(data, size);
        if (std::string why = refusal(file, size); !why.empty()) {
            opened.error = why;
            return opened;
        }
        opened.target = file.target;
        const double scale = file.positionScaleFrames();
        const int64_t lastFrame = int64_t(file.frames) - 1;
        for (int k = 0; k < kNumKeys; ++k) {
            const int64_t start = std::clamp<int64_t>(file.description.start[k], 0, kPositionMax);
            const int64_t end = std::clamp<int64_t>(file.description.end[k], 0, kPositionMax);
            if (end <= start) continue;  // an unused key
            // The export writes an empty key as a repeat of the key before
            // it: such a key stays empty, so a kit opens with the keys it
            // was made from and exports back to its own length.
            if (k > 0 && file.description.start[k] == file.description.start[k - 1] &&
                file.description.end[k] == file.description.end[k - 1])
                continue;
            const int64_t first = int64_t(positionToFrame(start, scale));
            int64_t last = int64_t(positionToFrame(end, scale));
            if (last > lastFrame) {
                ++opened.keysCut;
                last = lastFrame;
            }
            if (last < first) continue;  // nothing of it lies in the audio
            OpenedKey& key = opened.keys[k];
            if (!copySpan(file, data, first, last, key.audio)) {
                opened = OpenedKit{};
                opened.kitName = kitName;
                opened.error = "out of memory";
                return opened;
            }
            key.settings = settingsOf(file, k);
            if (file.target == KitTarget::Op1Field && file.description.hasPlaymode &&
                fieldPlayMode(file.description.playmode[k]) == FieldPlayMode::Fourth)
                key.fieldPlayMode = int32_t(file.description.playmode[k]);
            key.name = kitName + " #" + std::to_string(k + 1);
            ++opened.keysWithAudio;
        }
        if (opened.keysWithAudio == 0) {
            opened.error = "no key of the kit holds audio";
            return opened;
        }
        opened.opened = true;
    } catch (...) {
        opened = OpenedKit{};
        opened.kitName = kitName;
        opened.error = "out of memory";
    }
    return opened;
}

OpenedKit openKitFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    const KitFile read = readKitFile(path, &bytes);
    OpenedKit opened;
    if (bytes.empty() && !read.errors.empty()) {
        opened.kitName = fileStem(path);
        opened.error = read.errors.front();
    } else {
        opened = takeKitApart(bytes.data(), bytes.size(), fileStem(path));
    }
    if (!opened.opened) {
        std::fprintf(stderr, "[%s] kit %s refused: %s\n", kLogTag, path.c_str(), opened.error.c_str());
    } else if (opened.keysCut > 0) {
        std::fprintf(stderr, "[%s] kit %s: positions of %d key%s reach past the audio, cut to it\n", kLogTag,
                     path.c_str(), opened.keysCut, opened.keysCut == 1 ? "" : "s");
    }
    return opened;
}

void putOpenedKit(Kit& kit, KeyNames& names, OpenedKit& opened, DropObserver* observer) {
    if (observer)
        for (int k = 0; k < kNumKeys; ++k) observer->keyAboutToChange(k);
    KeyAudioBuffers fresh[kNumKeys];
    for (int k = 0; k < kNumKeys; ++k) fresh[k] = std::move(opened.keys[k].audio);
    replaceKeysAudio(kit, (KeyMask(1) << kNumKeys) - 1, fresh, true);
    for (int k = 0; k < kNumKeys; ++k) {
        writeKeySettings(kit, k, opened.keys[k].settings);
        kit.heldFieldPlayMode[k] = {opened.keys[k].fieldPlayMode, opened.keys[k].settings.playMode,
                                    kit.keyGeneration[k]};
        const std::string& name = opened.keys[k].name;
        const std::size_t n = std::min<std::size_t>(name.size(), kMaxPathLength);
        std::memcpy(names[k], name.data(), n);
        names[k][n] = '\0';
    }
    kit.target.store(opened.target, std::memory_order_relaxed);
    if (!observer) return;
    for (int k = 0; k < kNumKeys; ++k) {
        observer->keyLoaded(k);
        if (names[k][0]) observer->keyNamed(k);
    }
}

std::string openedKitSummary(const OpenedKit& opened, const std::string& path) {
    const std::string name = fileName(path);
    if (!opened.opened) return "Kit " + name + " not opened: " + opened.error;
    std::string text = "Opened kit " + name + ": " + std::to_string(opened.keysWithAudio) +
                       (opened.keysWithAudio == 1 ? " key" : " keys");
    if (opened.target == KitTarget::Op1Field) text += ", for the OP-1 Field";
    if (opened.keysCut > 0) text += " (positions past the audio cut)";
    return text;
}

}  // namespace rimbrel
