#include "formats/FieldKitWriter.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include <nlohmann/json.hpp>

#include "formats/AiffWriter.h"
#include "kit/ParameterMap.h"
#include "kit/Diagnostics.h"

namespace rimbrel {

namespace {

constexpr int64_t kInterleaveFrames = 8192;  // frames interleaved per write

// The key's length as the Field exports use it: 0..882000, 0 without audio.
int32_t usableLength(const FieldKitInput& in, int k) {
    if (!in.audio[k].channel[0]) return 0;
    const int32_t n = in.audio[k].length;
    if (n < 0) return 0;
    return n > kFieldMaxKeyFrames ? kFieldMaxKeyFrames : n;
}

void appendInt(std::string& s, int64_t v) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(v));
    s += digits;
}

// "#key#:[v0,...,v23]," with the value of each key's source key.
template <typename Value>
void appendKeyArray(std::string& s, const char* key, const KitLayout& layout, Value value) {
    s += '"';
    s += key;
    s += "\":[";
    for (int k = 0; k < kNumKeys; ++k) {
        if (k) s += ',';
        appendInt(s, value(layout.key[k]));
    }
    s += "],";
}

double secondsSince1970() {
    using namespace std::chrono;
    const auto tenths = duration_cast<duration<int64_t, std::deci>>(system_clock::now().time_since_epoch());
    return double(tenths.count()) / 10.0;
}

void reportFieldKitTooLong(int64_t frames) {
    std::fprintf(stderr, "[%s] \n export refused: the keys total %lld frames, more than %d\n", kLogTag,
                 static_cast<long long>(frames), kFieldMaxKitFrames);
}

// Writes frames [from, from + count) of a key to the output as interleaved
// left/right pairs, a mono key on both sides.
bool writeStereoFrames(AiffOutput* out, const FieldKeyAudio& audio, int64_t from, int64_t count, float* scratch) {
    const float* left = audio.channel[0];
    const float* right = audio.channel[1] ? audio.channel[1] : left;
    for (int64_t done = 0; done < count;) {
        const int64_t n = count - done < kInterleaveFrames ? count - done : kInterleaveFrames;
        for (int64_t i = 0; i < n; ++i) {
            scratch[2 * i] = left[from + done + i];
            scratch[2 * i + 1] = right[from + done + i];
        }
        if (!writeAiffFrames(out, scratch, 2 * n)) return false;
        done += n;
    }
    return true;
}

}  // namespace

FieldKitInput::FieldKitInput() {
    for (int k = 0; k < kNumKeys; ++k) {
        pitch[k] = 0.5f;
        playMode[k] = 0.5f;
        reverse[k] = 0.0f;
        volume[k] = 0.5f;
        pan[k] = 0.5f;
        rawPlayMode[k] = -1;
    }
}

FieldKitInput fieldKitInput(const Kit& kit, const char* const* keyNames) {
    FieldKitInput in;
    for (int k = 0; k < kNumKeys; ++k) {
        const float* left = kit.keySamples[k];
        const float* right = kit.keyRight[k];
        in.audio[k].channel[0] = left;
        in.audio[k].channel[1] = right;
        in.audio[k].length = targetKeyLength(kit.keyLength[k], KitTarget::Op1Field);
        in.pitch[k] = param::pitchToParameter(kit.keyPitch[k].load(std::memory_order_relaxed));
        in.playMode[k] = param::playModeToParameter(kit.keyPlayMode[k].load(std::memory_order_relaxed));
        in.reverse[k] = param::reverseToParameter(kit.keyReverse[k].load(std::memory_order_relaxed));
        in.volume[k] = param::volumeToParameter(kit.keyVolume[k].load(std::memory_order_relaxed));
        in.pan[k] = param::panToParameter(kit.keyPan[k].load(std::memory_order_relaxed));
        in.rawPlayMode[k] = kit.fieldPlayModeHeld(k);
        in.keyName[k] = keyNames ? keyNames[k] : nullptr;
    }
    return in;
}

int32_t fieldPositionValue(int64_t frame) {
    const double v = std::floor(double(frame) / double(kFieldMaxKitFrames) * 2147483646.0);
    if (v <= 0.0) return 0;
    if (v >= 2147483646.0) return kPositionFullScale;
    return int32_t(v);
}

int32_t fieldPlayModeValue(float p) {
    const int32_t n = truncToInt(double(float(p * 2.0f)) + 0.5);
    if (n <= 0) return 4096;
    if (n == 1) return 12288;
    return 28672;
}

int32_t fieldReverseValue(float p) { return truncToInt(double(p) + 0.5) == 0 ? 12000 : 24576; }

int32_t fieldPanValue(float p) {
    if (!(p == p)) return 16384;
    if (p <= 0.0f) return 0;
    if (p >= 1.0f) return 32767;
    // Each side on its own scale, so that 0.5 is the Field's centre exactly.
    if (p <= 0.5f) return int32_t(std::lround(double(p) * 32768.0));
    return 16384 + int32_t(std::lround((double(p) - 0.5) * 2.0 * 16383.0));
}

std::string fieldKitDescription(const FieldKitInput& in, const KitLayout& layout) {
    std::string s;
    s.reserve(kFieldDescriptionBytes + 4);
    s += "op-1{";
    s += "\"attack\":[0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0],";
    s += "\"drum_version\":2,";
    s += "\"dyna_env\":[0,8192,0,0,0,0,0,0],";
    appendKeyArray(s, "end", layout, [](const KeyLayout& key) { return fieldPositionValue(key.endFrame); });
    s += "\"fx_active\":false,";
    s += "\"fx_params\":[8000,8000,8000,8000,8000,8000,8000,8000],";
    s += "\"fx_type\":\"delay\",";
    s += "\"lfo_active\":false,";
    s += "\"lfo_params\":[16000,0,0,16000,0,0,0,0],";
    s += "\"lfo_type\":\"tremolo\",";
    char mtime[48];
    const double seconds = in.mtime >= 0.0 && std::isfinite(in.mtime) ? in.mtime : secondsSince1970();
    std::snprintf(mtime, sizeof mtime, "\"mtime\":%.1f,", seconds);
    s += mtime;
    s += "\"name\":";
    s += nlohmann::json(in.name).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    s += ",\"octave\":0,";
    appendKeyArray(s, "pan", layout, [&](const KeyLayout& key) { return fieldPanValue(in.pan[key.sourceKey]); });
    s += "\"pan_ab\":[false,false,false,false,false,false,false,false,false,false,false,false,"
         "false,false,false,false,false,false,false,false,false,false,false,false],";
    appendKeyArray(s, "pitch", layout, [&](const KeyLayout& key) { return pitchValue(in.pitch[key.sourceKey]); });
    appendKeyArray(s, "playmode", layout,
                   [&](const KeyLayout& key) {
                       const int32_t raw = in.rawPlayMode[key.sourceKey];
                       return raw >= 0 ? raw : fieldPlayModeValue(in.playMode[key.sourceKey]);
                   });
    appendKeyArray(s, "reverse", layout,
                   [&](const KeyLayout& key) { return fieldReverseValue(in.reverse[key.sourceKey]); });
    appendKeyArray(s, "start", layout, [](const KeyLayout& key) { return fieldPositionValue(key.startFrame); });
    s += "\"stereo\":true,";
    s += "\"type\":\"drum\",";
    appendKeyArray(s, "volume", layout, [&](const KeyLayout& key) { return volumeValue(in.volume[key.sourceKey]); });
    s.back() = '}';
    // The JSON and its line feed must fit the 4096 bytes after "op-1".
    if (s.size() - 4 + 1 > kFieldDescriptionBytes) return std::string();
    s += '\n';
    s.append(kFieldDescriptionBytes + 4 - s.size(), ' ');
    return s;
}

ExportResult exportFieldKit(const char* path, const FieldKitInput& in) {
    const std::string name = kitExportPath(path);
    if (name.empty()) {
        std::fprintf(stderr, "[%s] \n export refused: the file name is too long\n", kLogTag);
        return ExportResult::Refused;
    }

    int32_t length[kNumKeys];
    for (int k = 0; k < kNumKeys; ++k) length[k] = usableLength(in, k);
    int64_t total = 0;
    if (!anyNamedKeyWithAudio(length, in.keyName, total)) return ExportResult::NothingToExport;
    if (total > kFieldMaxKitFrames) {
        reportFieldKitTooLong(total);
        return ExportResult::TooLong;
    }

    const KitLayout layout = kitLayout(length, kFieldMaxKeyFrames);
    std::string description;
    std::unique_ptr<float[]> scratch(new (std::nothrow) float[2 * kInterleaveFrames]);
    try {
        description = fieldKitDescription(in, layout);
    } catch (...) {
        scratch.reset();
    }
    if (!scratch || description.empty()) {
        std::fprintf(stderr, "[%s] \n export refused: %s\n", kLogTag,
                     scratch ? "the kit's name is too long" : "out of memory");
        return ExportResult::Refused;
    }

    AiffOutput* out = openAifcOutput(name.c_str(), 2, description.data(), description.size());
    if (!out) return ExportResult::Failed;
    // Each key without its last frame, in key order, as in the original kit.
    int64_t placed = 0;
    bool ok = true;
    for (int k = 0; k < kNumKeys && ok; ++k) {
        const int32_t n = layout.key[k].contributedFrames;
        if (n <= 0) continue;
        ok = writeStereoFrames(out, in.audio[layout.key[k].sourceKey], 0, n, scratch.get());
        placed += n;
    }
    if (!ok) {
        closeAiffOutput(out, 0);  // reports the failure, removes the temporary file
        return ExportResult::Failed;
    }
    return closeAiffOutput(out, uint32_t(placed * 4)) ? ExportResult::Written : ExportResult::Failed;
}

ExportResult exportFieldIndividualFiles(const char* path, const FieldKitInput& in, int* filesWritten) {
    if (filesWritten) *filesWritten = 0;
    if (individualExportPath(path, 0).empty()) {
        std::fprintf(stderr, "[%s] \n export refused: the file name is too long\n", kLogTag);
        return ExportResult::Refused;
    }
    std::unique_ptr<float[]> scratch(new (std::nothrow) float[2 * kInterleaveFrames]);
    if (!scratch) {
        std::fprintf(stderr, "[%s] \n export refused: out of memory\n", kLogTag);
        return ExportResult::Refused;
    }

    int written = 0;
    bool anyFailed = false;
    bool anyKey = false;
    for (int k = 0; k < kNumKeys; ++k) {
        const int32_t len = usableLength(in, k);
        if (len < 2) continue;
        anyKey = true;
        const std::string name = individualExportPath(path, k);
        AiffOutput* out = openAiffOutput(name.c_str(), kIndividualFileComment, 2);
        if (!out) {
            anyFailed = true;
            continue;
        }
        // A failed write marks the output failed: closing then reports it and
        // removes the temporary file.
        writeStereoFrames(out, in.audio[k], 0, len, scratch.get());
        if (closeAiffOutput(out, uint32_t(len) * 4))
            ++written;
        else
            anyFailed = true;
    }
    if (filesWritten) *filesWritten = written;
    if (!anyKey) return ExportResult::NothingToExport;
    return anyFailed ? ExportResult::Failed : ExportResult::Written;
}

}  // namespace rimbrel
