#include "formats/KitExport.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "formats/AiffWriter.h"
#include "kit/Diagnostics.h"
#include "kit/KeyAudio.h"
#include "kit/ParameterMap.h"

namespace rimbrel {

const char* const kIndividualFileComment = "exported from Rimbrel (https://github.com/rimbrel/rimbrel)";

namespace {

void reportPathTooLong() {
    std::fprintf(stderr, "[%s] \n export refused: the file name is too long\n", kLogTag);
}

void reportOutOfMemory() { std::fprintf(stderr, "[%s] \n export refused: out of memory\n", kLogTag); }

void reportKitTooLong(int64_t frames) {
    std::fprintf(stderr, "[%s] \n export refused: the keys total %lld frames, more than %d\n", kLogTag,
                 static_cast<long long>(frames), kMaxKitFrames);
}

bool isNamed(const char* name) {
    if (!name) return false;
    const unsigned char c = static_cast<unsigned char>(name[0]);
    return c >= 1 && c <= 127;
}

// The key's length as the exports use it: 0..529200, and 0 without audio.
int32_t usableLength(const KitExportInput& in, int k) {
    if (!in.frames[k]) return 0;
    const int32_t n = in.length[k];
    if (n < 0) return 0;
    return n > kMaxKeyFrames ? kMaxKeyFrames : n;
}

// Copies the path into a buffer of kPathBufferSize bytes and gives it the
// ".aif" extension. False when it does not fit.
bool preparePath(const char* path, char (&buffer)[kPathBufferSize]) {
    if (!path) return false;
    const std::size_t n = std::strlen(path);
    if (n >= kPathBufferSize) return false;
    std::memcpy(buffer, path, n + 1);
    return forceAifExtension(buffer, kPathBufferSize);
}

void appendInt(std::string& s, int64_t v) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(v));
    s += digits;
}

}  // namespace

KitExportInput::KitExportInput() {
    for (int k = 0; k < kNumKeys; ++k) {
        pitch[k] = param::kDefaultPitch;
        playMode[k] = param::kDefaultPlayMode;
        reverse[k] = param::kDefaultReverse;
        volume[k] = param::kDefaultVolume;
    }
}

KitExportInput kitExportInput(const Kit& kit, const char* const* keyNames) {
    KitExportInput in;
    // One block for the mixes of all stereo keys.
    std::size_t mixFrames = 0;
    for (int k = 0; k < kNumKeys; ++k)
        if (kit.keySamples[k] && kit.keyRight[k]) mixFrames += std::size_t(targetKeyLength(kit.keyLength[k], KitTarget::Op1));
    std::shared_ptr<std::vector<float>> mixes;
    if (mixFrames > 0) {
        try {
            mixes = std::make_shared<std::vector<float>>(mixFrames);
        } catch (const std::bad_alloc&) {
            mixes.reset();
        }
    }
    std::size_t mixAt = 0;
    for (int k = 0; k < kNumKeys; ++k) {
        const int32_t length = kit.keySamples[k] ? targetKeyLength(kit.keyLength[k], KitTarget::Op1) : 0;
        in.frames[k] = kit.keySamples[k];
        in.length[k] = length;
        if (kit.keySamples[k] && kit.keyRight[k]) {
            if (mixes) {
                float* mix = mixes->data() + mixAt;
                mixKeyToMono(kit, k, mix, length);
                mixAt += std::size_t(length);
                in.frames[k] = mix;
            } else {
                in.frames[k] = nullptr;
                in.length[k] = 0;
                in.mixesMissing = true;
            }
        }
        in.pitch[k] = param::pitchToParameter(kit.keyPitch[k].load(std::memory_order_relaxed));
        in.playMode[k] = param::playModeToParameter(kit.keyPlayMode[k].load(std::memory_order_relaxed));
        in.reverse[k] = param::reverseToParameter(kit.keyReverse[k].load(std::memory_order_relaxed));
        in.volume[k] = param::volumeToParameter(kit.keyVolume[k].load(std::memory_order_relaxed));
        in.keyName[k] = keyNames ? keyNames[k] : nullptr;
    }
    in.mixes = std::move(mixes);
    return in;
}

KitLayout kitLayout(const int32_t length[kNumKeys], int32_t maxKeyFrames) {
    KitLayout layout{};
    int32_t total = 0;
    for (int k = 0; k < kNumKeys; ++k) {
        KeyLayout& key = layout.key[k];
        const int32_t n = length[k] < 0 ? 0 : (length[k] > maxKeyFrames ? maxKeyFrames : length[k]);
        key.contributedFrames = n > 0 ? n - 1 : 0;
        key.startFrame = total;
        total += key.contributedFrames;
        key.endFrame = total - 1 < 0 ? 0 : total - 1;
        key.sourceKey = k;
        if (n < 1) {
            if (k == 0) {
                key.startFrame = 0;
                key.endFrame = 128;
                key.sourceKey = 1;
            } else {
                key.startFrame = layout.key[k - 1].startFrame;
                key.endFrame = layout.key[k - 1].endFrame;
                key.sourceKey = k - 1;
            }
        }
    }
    layout.totalFrames = total;
    return layout;
}

int32_t positionValue(int64_t frame) {
    const double v = std::floor(double(frame) / 529200.0 * 2147483646.0);
    if (v <= 0.0) return 0;
    if (v >= 2147483646.0) return kPositionFullScale;
    return int32_t(v);
}

int32_t pitchValue(float p) {
    int64_t value = int64_t(param::pitchFromParameter(p)) * 512;
    if (value < -255) value += 256;
    if (value > 2147483647) value = 2147483647;
    if (value < -2147483647) value = -2147483647;
    return int32_t(value);
}

int32_t playModeValue(float p) {
    const int32_t n = param::playModeFromParameter(p);
    if (n == 0) return 8000;
    if (n == 1) return 8192;
    if (n >= 2) return 16384;
    return 8192;  // below 0: not reachable from the parameter range; one-shot
}

int32_t reverseValue(float p) { return param::reverseFromParameter(p) ? 16384 : 8192; }

int32_t volumeValue(float p) { return truncToInt(double(float(p * 16384.0f)) + 0.5); }

std::string kitDescription(const KitExportInput& in, const KitLayout& layout, bool printDiagnostics) {
    std::string s;
    s.reserve(1536);
    s += "op-1{#drum_version#:1,#type#:#drum#,#name#:#user#,#octave#:0,#pitch#:[";
    for (int k = 0; k < kNumKeys; ++k) {
        if (k) s += ',';
        appendInt(s, pitchValue(in.pitch[layout.key[k].sourceKey]));
    }
    s += "],#start#:[";
    for (int k = 0; k < kNumKeys; ++k) {
        if (k) s += ',';
        const int32_t v = positionValue(layout.key[k].startFrame);
        appendInt(s, v);
        if (printDiagnostics)
            std::fprintf(stderr, "[%s] \n set starts[i] (%i) to %i\n", kLogTag, layout.key[k].startFrame, v);
    }
    s += "],#end#:[";
    for (int k = 0; k < kNumKeys; ++k) {
        if (k) s += ',';
        const int32_t v = positionValue(layout.key[k].endFrame);
        appendInt(s, v);
        if (printDiagnostics)
            std::fprintf(stderr, "[%s] \n set ends[i] (%i) to %i\n", kLogTag, layout.key[k].endFrame, v);
    }
    s += "],#playmode#:[";
    for (int k = 0; k < kNumKeys; ++k) {
        if (k) s += ',';
        appendInt(s, playModeValue(in.playMode[layout.key[k].sourceKey]));
    }
    s += "],#reverse#:[";
    for (int k = 0; k < kNumKeys; ++k) {
        if (k) s += ',';
        appendInt(s, reverseValue(in.reverse[layout.key[k].sourceKey]));
    }
    s += "],#volume#:[";
    for (int k = 0; k < kNumKeys; ++k) {
        if (k) s += ',';
        appendInt(s, volumeValue(in.volume[layout.key[k].sourceKey]));
    }
    s += "],#dyna_env#:[0,8192,0,8192,0,0,0,0],#fx_active#:false,#fx_type#:#delay#,"
         "#fx_params#:[8000,8000,8000,8000,8000,8000,8000,8000],#lfo_active#:false,"
         "#lfo_type#:#tremolo#,#lfo_params#:[16000,16000,16000,16000,0,0,0,0]}";
    for (char& c : s)
        if (c == '#') c = '"';
    s.append(s.size() % 4, ' ');
    return s;
}

bool anyNamedKeyWithAudio(const int32_t length[kNumKeys], const char* const keyName[kNumKeys], int64_t& total) {
    bool any = false;
    total = 0;
    for (int k = 0; k < kNumKeys; ++k) {
        total += length[k];
        if (length[k] > 0 && isNamed(keyName[k])) any = true;
    }
    return any;
}

ExportResult exportKit(const char* path, const KitExportInput& in) {
    char name[kPathBufferSize];
    if (!preparePath(path, name)) {
        reportPathTooLong();
        return ExportResult::Refused;
    }

    int32_t length[kNumKeys];
    for (int k = 0; k < kNumKeys; ++k) length[k] = usableLength(in, k);
    int64_t total = 0;
    if (!anyNamedKeyWithAudio(length, in.keyName, total)) return ExportResult::NothingToExport;
    // A longer kit would be cut short while its positions point past the
    // audio: it is refused, whoever asks, and no file is touched.
    if (total > kMaxKitFrames) {
        reportKitTooLong(total);
        return ExportResult::TooLong;
    }

    const KitLayout layout = kitLayout(length);
    std::string description;
    try {
        description = kitDescription(in, layout, true);
    } catch (...) {
        reportOutOfMemory();
        return ExportResult::Refused;
    }

    AiffOutput* out = openAiffOutput(name, description.c_str());
    if (!out) return ExportResult::Failed;

    // The keys' frames go to the file straight from the kit, in key order,
    // each without its last frame (the kit fits its limit: checked above).
    const int32_t limit = layout.totalFrames < kMaxKitFrames ? layout.totalFrames : kMaxKitFrames;
    int32_t placed = 0;
    for (int k = 0; k < kNumKeys && placed < limit; ++k) {
        const int32_t want = layout.key[k].contributedFrames;
        const int32_t n = want < limit - placed ? want : limit - placed;
        if (n <= 0) continue;
        writeAiffFrames(out, in.frames[layout.key[k].sourceKey], n);
        placed += n;
    }
    std::fprintf(stderr, "\n k %i frames %i bps %i, outdef %i", placed, limit, 2, 2 * placed);
    return closeAiffOutput(out, uint32_t(placed) * 2) ? ExportResult::Written : ExportResult::Failed;
}

namespace {

// The prepared path of a per-key export, if <stem>_NN.<ext> fits too.
bool prepareIndividualBase(const char* path, char (&base)[kPathBufferSize]) {
    if (!preparePath(path, base)) return false;
    // <stem>.<ext> becomes <stem>_NN.<ext>: three more characters.
    const std::size_t n = std::strlen(base);
    return n >= 4 && n + 3 < kPathBufferSize;
}

// <stem>_NN.<ext> of key k, NN = k + 1, from a prepared base path.
void individualName(const char (&base)[kPathBufferSize], int k, char (&name)[kPathBufferSize]) {
    const std::size_t n = std::strlen(base);
    std::memcpy(name, base, n - 4);
    name[n - 4] = '_';
    name[n - 3] = char('0' + (k + 1) / 10);
    name[n - 2] = char('0' + (k + 1) % 10);
    std::memcpy(name + n - 1, base + n - 4, 5);  // ".ext" and the terminator
}

}  // namespace

std::string kitExportPath(const char* path) {
    char name[kPathBufferSize];
    return preparePath(path, name) ? std::string(name) : std::string();
}

std::string individualExportPath(const char* path, int k) {
    char base[kPathBufferSize];
    if (!isKeyIndex(k) || !prepareIndividualBase(path, base)) return std::string();
    char name[kPathBufferSize];
    individualName(base, k, name);
    return name;
}

std::vector<IndividualExportFile> individualExportFiles(const char* path, const KitExportInput& in) {
    std::vector<IndividualExportFile> files;
    char base[kPathBufferSize];
    if (!prepareIndividualBase(path, base)) return files;
    for (int k = 0; k < kNumKeys; ++k) {
        if (usableLength(in, k) < 2) continue;
        char name[kPathBufferSize];
        individualName(base, k, name);
        files.push_back({k, name});
    }
    return files;
}

ExportResult exportIndividualFiles(const char* path, const KitExportInput& in, int* filesWritten) {
    if (filesWritten) *filesWritten = 0;
    char base[kPathBufferSize];
    if (!prepareIndividualBase(path, base)) {
        reportPathTooLong();
        return ExportResult::Refused;
    }

    int written = 0;
    bool anyFailed = false;
    bool anyKey = false;
    for (int k = 0; k < kNumKeys; ++k) {
        const int32_t len = usableLength(in, k);
        if (len < 2) continue;
        anyKey = true;
        char name[kPathBufferSize];
        individualName(base, k, name);

        AiffOutput* out = openAiffOutput(name, kIndividualFileComment);
        if (!out) {
            anyFailed = true;
            continue;
        }
        writeAiffFrames(out, in.frames[k], len);
        if (closeAiffOutput(out, uint32_t(len) * 2))
            ++written;
        else
            anyFailed = true;
    }
    if (filesWritten) *filesWritten = written;
    if (!anyKey) return ExportResult::NothingToExport;
    return anyFailed ? ExportResult::Failed : ExportResult::Written;
}

}  // namespace rimbrel
