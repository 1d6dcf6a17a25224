// The kit's saved state: writing, reading and the encoded-audio cache.
#include "kit/KitState.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/LosslessAudio.h"

namespace rimbrel {

namespace {

constexpr char kTagKit[4] = {'K', 'I', 'T', 'H'};
constexpr char kTagKey[4] = {'K', 'E', 'Y', ' '};
constexpr std::size_t kPreambleBytes = 12;   // magic, version, size
constexpr std::size_t kRecordHeadBytes = 8;  // tag, payload size
// The most the preamble's size field can count; a full kit of 24 stereo keys
// of 20 s packs into a small part of it.
constexpr uint64_t kMaxStateBytes = UINT32_MAX;

// ---- little-endian bytes ----

void putU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void putBytes(std::vector<uint8_t>& out, const void* bytes, std::size_t size) {
    const uint8_t* b = static_cast<const uint8_t*>(bytes);
    out.insert(out.end(), b, b + size);
}

void patchU32(std::vector<uint8_t>& out, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + std::size_t(i)] = uint8_t(v >> (8 * i));
}

// Reads fields from a span of bytes; every read past its end fails and
// leaves the reader failed, so a chain of reads needs one check at the end.
class ByteReader {
public:
    ByteReader(const uint8_t* bytes, std::size_t size) : bytes_(bytes), size_(size) {}

    bool ok() const { return ok_; }
    std::size_t left() const { return size_ - pos_; }

    const uint8_t* take(std::size_t n) {
        if (!ok_ || n > size_ - pos_) {
            ok_ = false;
            return nullptr;
        }
        const uint8_t* at = bytes_ + pos_;
        pos_ += n;
        return at;
    }
    uint8_t u8() {
        const uint8_t* b = take(1);
        return b ? b[0] : 0;
    }
    uint16_t u16() {
        const uint8_t* b = take(2);
        return b ? uint16_t(b[0] | (b[1] << 8)) : 0;
    }
    uint32_t u32() {
        const uint8_t* b = take(4);
        return b ? uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24 : 0;
    }
    float f32() {
        const uint32_t bits = u32();
        float v;
        std::memcpy(&v, &bits, 4);
        return v;
    }

private:
    const uint8_t* bytes_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

// ---- what a key may hold ----

bool settingsInRange(const KeySettings& s) {
    return s.pitch >= -48 && s.pitch <= 48 && s.playMode >= PlayModeGate && s.playMode <= PlayModeLoop &&
           std::isfinite(s.volume) && s.volume >= 0.0f && s.volume <= 4.0f && std::isfinite(s.pan) &&
           s.pan >= -1.0f && s.pan <= 1.0f;
}

// Why a key cannot be in a state ("" when it can): the same rules for
// writing and reading, so a state written is a state read.
std::string keyProblem(int key, std::string_view name, const KeySettings& settings, int64_t length, int64_t channels) {
    if (!isKeyIndex(key)) return "key index " + std::to_string(key) + " outside 0..23";
    const std::string which = "key " + std::to_string(key) + ": ";
    if (name.size() > kMaxStateNameBytes) return which + "name longer than 511 bytes";
    if (name.find('\0') != std::string_view::npos) return which + "name holds a NUL byte";
    if (!settingsInRange(settings)) return which + "settings out of range";
    if (length < 0 || length > kMaxStateKeyFrames) return which + "audio longer than 20 s (882000 frames)";
    if (length == 0 ? channels != 0 : (channels < 1 || channels > 2))
        return which + std::to_string(channels) + " channels for " + std::to_string(length) + " frames";
    return "";
}

bool isTag(const uint8_t* at, const char (&tag)[4]) { return std::memcmp(at, tag, 4) == 0; }

// Appends one key record around its already encoded audio.
// The settings of a key record, at `at` (kSettingsBytes bytes).
constexpr std::size_t kSettingsBytes = 4 + 4 + 1 + 4 + 4;
void writeSettings(std::vector<uint8_t>& out, std::size_t at, const KeySettings& s) {
    patchU32(out, at, uint32_t(s.pitch));
    patchU32(out, at + 4, uint32_t(s.playMode));
    out[at + 8] = s.reverse ? 1 : 0;
    uint32_t bits;
    std::memcpy(&bits, &s.volume, 4);
    patchU32(out, at + 9, bits);
    std::memcpy(&bits, &s.pan, 4);
    patchU32(out, at + 13, bits);
}

// Appends one key record around its already encoded audio; answers where its
// settings lie.
std::size_t putKeyRecord(std::vector<uint8_t>& out, const KitStateKeySource& k, const std::vector<uint8_t>* audio) {
    putBytes(out, kTagKey, 4);
    const std::size_t sizeAt = out.size();
    putU32(out, 0);
    putU32(out, uint32_t(k.key));
    const std::size_t settingsAt = out.size();
    out.resize(out.size() + kSettingsBytes);
    writeSettings(out, settingsAt, k.settings);
    putU32(out, uint32_t(k.name.size()));
    putBytes(out, k.name.data(), k.name.size());
    putU32(out, uint32_t(k.length));
    putU32(out, uint32_t(k.channels));
    const std::size_t audioSize = audio ? audio->size() : 0;
    putU32(out, uint32_t(audioSize));
    if (audio) putBytes(out, audio->data(), audioSize);
    patchU32(out, sizeAt, uint32_t(out.size() - sizeAt - 4));
    return settingsAt;
}

std::size_t keyRecordBytes(const KitStateKeySource& k, const std::vector<uint8_t>* audio) {
    return kRecordHeadBytes + 4 + kSettingsBytes + 4 + k.name.size() + 4 * 3 + (audio ? audio->size() : 0);
}

// One key record as read, its audio still encoded.
struct KeyRecord {
    KitStateKey key;
    const uint8_t* audio = nullptr;
    std::size_t audioSize = 0;
};

std::string refused(const std::string& reason) { return "kit state refused: " + reason; }

// Reads a key record's fields; the audio stays where it is. "" or the reason.
std::string readKeyRecord(ByteReader& r, KeyRecord& record) {
    KitStateKey& k = record.key;
    const uint32_t index = r.u32();
    k.settings.pitch = int32_t(r.u32());
    k.settings.playMode = int32_t(r.u32());
    const uint8_t reverse = r.u8();
    k.settings.reverse = reverse != 0;
    k.settings.volume = r.f32();
    k.settings.pan = r.f32();
    const uint32_t nameSize = r.u32();
    if (!r.ok()) return "sizes do not add up";
    k.key = index < uint32_t(kNumKeys) ? int(index) : -1;
    // The name's size is checked before anything is copied.
    if (nameSize > kMaxStateNameBytes) {
        if (!isKeyIndex(k.key)) return "key index " + std::to_string(index) + " outside 0..23";
        return "key " + std::to_string(k.key) + ": name longer than 511 bytes";
    }
    const uint8_t* name = r.take(nameSize);
    const uint32_t length = r.u32();
    const uint32_t channels = r.u32();
    const uint32_t audioSize = r.u32();
    record.audio = r.take(audioSize);
    if (!r.ok()) return "sizes do not add up";
    if (!isKeyIndex(k.key)) return "key index " + std::to_string(index) + " outside 0..23";
    if (reverse > 1) return "key " + std::to_string(k.key) + ": settings out of range";
    const std::string_view nameView(reinterpret_cast<const char*>(name), nameSize);
    const std::string problem = keyProblem(k.key, nameView, k.settings, int64_t(length), int64_t(channels));
    if (!problem.empty()) return problem;
    if ((length == 0) != (audioSize == 0)) return "key " + std::to_string(k.key) + ": audio does not match its length";
    k.name.assign(nameView);
    k.length = int32_t(length);
    k.channels = int(channels);
    record.audioSize = audioSize;
    return "";
}

// Decodes a record's audio into its key: exactly length frames of channels.
std::string decodeKeyAudio(KeyRecord& record) {
    KitStateKey& k = record.key;
    if (k.length == 0) return "";
    std::vector<std::vector<float>> channels;
    const platform::LosslessAudioLimits limits{k.channels, k.length};
    const std::string which = "key " + std::to_string(k.key) + ": ";
    if (!platform::decodeLosslessAudio(record.audio, record.audioSize, limits, channels))
        return which + "audio cannot be decoded";
    if (channels.size() != std::size_t(k.channels) || channels[0].size() != std::size_t(k.length))
        return which + "audio does not match its length";
    k.left = std::move(channels[0]);
    if (k.channels == 2) k.right = std::move(channels[1]);
    return "";
}

}  // namespace

// ---- the cache ----

bool KitStateCache::holdsAudioFor(const KitStateKeySource& source) const {
    if (!isKeyIndex(source.key)) return false;
    const Entry& e = entries_[std::size_t(source.key)];
    return e.filled && e.generation == source.generation && e.length == source.length &&
           e.channels == source.channels;
}

const std::vector<uint8_t>* KitStateCache::encodedAudio(const KitStateKeySource& source) {
    if (!isKeyIndex(source.key)) return nullptr;
    Entry& e = entries_[std::size_t(source.key)];
    if (holdsAudioFor(source)) return &e.bytes;
    e.filled = false;
    e.bytes.clear();
    if (source.length > 0) {
        const float* channels[2] = {source.left, source.right};
        if (!platform::encodeLosslessAudio(channels, source.channels, source.length, e.bytes)) {
            e.bytes = std::vector<uint8_t>();
            return nullptr;
        }
        e.bytes.shrink_to_fit();
    }
    e.filled = true;
    e.generation = source.generation;
    e.length = source.length;
    e.channels = source.channels;
    return &e.bytes;
}

void KitStateCache::clear() {
    for (Entry& e : entries_) e = Entry();
    state_ = std::vector<uint8_t>();
    placed_.clear();
    haveState_ = false;
}

std::size_t KitStateCache::heldBytes() const {
    std::size_t n = state_.capacity();
    for (const Entry& e : entries_) n += e.bytes.capacity();
    return n;
}

const std::vector<uint8_t>* KitStateCache::assemble(KitTarget target, const KitStateKeySource* keys, std::size_t count,
                                                    std::string& why) {
    why.clear();
    try {
        if (target != KitTarget::Op1 && target != KitTarget::Op1Field) {
            why = "kit state not written: unknown kit target";
        } else if (haveState_ && samePlacement(keys, count)) {
            rewriteSettings(target, keys, count);
            return &state_;
        } else if (writeState(target, keys, count, why)) {
            return &state_;
        }
    } catch (const std::bad_alloc&) {
        why = "kit state not written: out of memory";
    }
    state_ = std::vector<uint8_t>();
    placed_.clear();
    haveState_ = false;
    return nullptr;
}

// The last state holds exactly these keys, in this order, with these names
// and this audio; only settings or the target may differ. Settings are
// checked here too, as writeState would.
bool KitStateCache::samePlacement(const KitStateKeySource* keys, std::size_t count) const {
    if (placed_.size() != count) return false;
    for (std::size_t i = 0; i < count; ++i) {
        const KitStateKeySource& k = keys[i];
        const Placed& p = placed_[i];
        if (p.key != k.key || p.length != k.length || p.channels != k.channels || p.generation != k.generation ||
            p.name != k.name || !settingsInRange(k.settings))
            return false;
    }
    return true;
}

void KitStateCache::rewriteSettings(KitTarget target, const KitStateKeySource* keys, std::size_t count) {
    patchU32(state_, kPreambleBytes + kRecordHeadBytes, uint32_t(target));
    for (std::size_t i = 0; i < count; ++i) writeSettings(state_, placed_[i].settingsAt, keys[i].settings);
}

bool KitStateCache::writeState(KitTarget target, const KitStateKeySource* keys, std::size_t count, std::string& why) {
    // Every key checked and its audio found first, so the size is known.
    std::vector<const std::vector<uint8_t>*> audio(count, nullptr);
    KeyMask seen = 0;
    uint64_t total = kPreambleBytes + kRecordHeadBytes + 4;
    for (std::size_t i = 0; i < count; ++i) {
        const KitStateKeySource& k = keys[i];
        std::string problem = keyProblem(k.key, k.name, k.settings, k.length, k.channels);
        if (problem.empty() && (seen & keyBit(k.key))) problem = "key " + std::to_string(k.key) + " twice";
        if (problem.empty() && k.length > 0 && (k.left == nullptr || (k.channels == 2 && k.right == nullptr)))
            problem = "key " + std::to_string(k.key) + ": audio missing";
        if (problem.empty() && !(audio[i] = encodedAudio(k)))
            problem = "key " + std::to_string(k.key) + ": audio cannot be encoded";
        if (!problem.empty()) {
            why = "kit state not written: " + problem;
            return false;
        }
        seen |= keyBit(k.key);
        total += keyRecordBytes(k, audio[i]);
    }
    if (total > kMaxStateBytes) {
        why = "kit state not written: too large";
        return false;
    }
    haveState_ = false;
    state_.clear();
    placed_.clear();
    state_.reserve(std::size_t(total));
    placed_.reserve(count);
    putBytes(state_, kKitStateMagic, 4);
    putU16(state_, kKitStateMajor);
    putU16(state_, kKitStateMinor);
    putU32(state_, uint32_t(total - kPreambleBytes));
    putBytes(state_, kTagKit, 4);
    putU32(state_, 4);
    putU32(state_, uint32_t(target));
    for (std::size_t i = 0; i < count; ++i) {
        const KitStateKeySource& k = keys[i];
        const std::size_t settingsAt = putKeyRecord(state_, k, audio[i]);
        placed_.push_back({k.key, std::string(k.name), k.length, k.channels, k.generation, settingsAt});
    }
    haveState_ = true;
    return true;
}

// ---- writing ----

std::vector<uint8_t> encodeKitState(const KitStateData& data) {
    std::vector<KitStateKeySource> sources;
    sources.reserve(data.keys.size());
    for (const KitStateKey& k : data.keys) {
        // The channels' sizes must say what length and channels say.
        const std::size_t frames = std::size_t(std::max(k.length, 0));
        if (k.left.size() != (k.channels >= 1 ? frames : 0) || k.right.size() != (k.channels == 2 ? frames : 0))
            return {};
        KitStateKeySource s;
        s.key = k.key;
        s.name = k.name;
        s.settings = k.settings;
        s.length = k.length;
        s.channels = k.channels;
        s.left = k.left.data();
        s.right = k.right.data();
        sources.push_back(s);
    }
    KitStateCache cache;
    std::string why;
    const std::vector<uint8_t>* state = cache.assemble(data.target, sources.data(), sources.size(), why);
    return state ? *state : std::vector<uint8_t>();
}

// ---- reading ----

namespace {

// The records after the preamble: every field checked before any audio is
// decoded.
bool readRecords(const uint8_t* bytes, std::size_t size, KitStateData& data, std::string& why) {
    auto refuse = [&why](const std::string& reason) {
        why = refused(reason);
        return false;
    };
    bool haveKit = false;
    std::vector<KeyRecord> records;
    KeyMask seen = 0;
    ByteReader r(bytes, size);
    while (r.left() > 0) {
        const uint8_t* tag = r.take(4);
        const uint32_t payloadSize = r.u32();
        const uint8_t* payload = r.take(payloadSize);
        if (!r.ok()) return refuse("sizes do not add up");
        ByteReader p(payload, payloadSize);
        if (isTag(tag, kTagKit)) {
            if (haveKit) return refuse("two kit headers");
            const uint32_t target = p.u32();
            if (!p.ok()) return refuse("sizes do not add up");
            if (target > uint32_t(KitTarget::Op1Field)) return refuse("unknown kit target " + std::to_string(target));
            data.target = KitTarget(target);
            haveKit = true;
        } else if (isTag(tag, kTagKey)) {
            KeyRecord record;
            const std::string problem = readKeyRecord(p, record);
            if (!problem.empty()) return refuse(problem);
            if (seen & keyBit(record.key.key)) return refuse("key " + std::to_string(record.key.key) + " twice");
            seen |= keyBit(record.key.key);
            records.push_back(std::move(record));
        }
        // Any other record, and the rest of a known one, is a newer version's.
    }
    if (!haveKit) return refuse("no kit header");

    for (KeyRecord& record : records) {
        const std::string problem = decodeKeyAudio(record);
        if (!problem.empty()) return refuse(problem);
        data.keys.push_back(std::move(record.key));
    }
    return true;
}

}  // namespace

bool decodeKitState(const uint8_t* bytes, std::size_t size, KitStateData& out, std::string& why) {
    out = KitStateData();
    why.clear();
    auto refuse = [&why](const std::string& reason) {
        why = refused(reason);
        return false;
    };
    if (bytes == nullptr || size < 4 || std::memcmp(bytes, kKitStateMagic, 4) != 0) return refuse("not a kit state");
    ByteReader preamble(bytes, size);
    preamble.take(4);
    const uint16_t major = preamble.u16();
    const uint16_t minor = preamble.u16();
    const uint32_t declared = preamble.u32();
    if (!preamble.ok()) return refuse("sizes do not add up");
    if (major != kKitStateMajor) {
        const std::string version = std::to_string(major) + "." + std::to_string(minor);
        return refuse(major > kKitStateMajor ? "made by a newer version (" + version + ")"
                                             : "unknown version " + version);
    }
    if (declared != size - kPreambleBytes) return refuse("sizes do not add up");

    try {
        KitStateData data;
        if (!readRecords(bytes + kPreambleBytes, size - kPreambleBytes, data, why)) return false;
        out = std::move(data);
        return true;
    } catch (const std::bad_alloc&) {
        return refuse("out of memory");
    }
}

}  // namespace rimbrel
