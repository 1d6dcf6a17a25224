#include "kit/LiveKitState.h"

#include <cstring>
#include <mutex>
#include <new>
#include <string_view>
#include <utility>

#include "kit/KeyAudio.h"
#include "kit/UndoHistory.h"

namespace rimbrel {

namespace {

// Key k where it lies, without its name.
KitStateKeySource keySource(const Kit& kit, int k) {
    KitStateKeySource s;
    s.key = k;
    s.settings = readKeySettings(kit, k);
    s.left = kit.keySamples[k];
    s.right = kit.keyRight[k];
    s.length = s.left ? kit.keyLength[k] : 0;
    s.channels = s.length > 0 ? kit.keyChannels(k) : 0;
    s.generation = kit.keyGeneration[k];
    return s;
}

}  // namespace

const std::vector<uint8_t>* LiveKitState::save(Kit& kit, const KeyNames* names, std::string& why) {
    const std::lock_guard<std::mutex> reading(kit.keyWriters);
    KitStateKeySource sources[kNumKeys];
    for (int k = 0; k < kNumKeys; ++k) {
        sources[k] = keySource(kit, k);
        if (names) sources[k].name = std::string_view((*names)[k], strnlen((*names)[k], kKeyNameSize));
    }
    return cache_.assemble(kit.target.load(std::memory_order_relaxed), sources, kNumKeys, why);
}

bool LiveKitState::encodeOneChangedKey(Kit& kit) {
    const std::lock_guard<std::mutex> reading(kit.keyWriters);
    for (int k = 0; k < kNumKeys; ++k) {
        const KitStateKeySource source = keySource(kit, k);
        if (cache_.holdsAudioFor(source)) continue;
        try {
            return cache_.encodedAudio(source) != nullptr;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    return false;
}

namespace {

// The state's keys as buffers ready for the kit, indexed by key. False when
// memory runs out.
bool takeBuffers(KitStateData& data, KeyAudioBuffers (&fresh)[kNumKeys]) {
    for (KitStateKey& key : data.keys) {
        if (key.length == 0) continue;
        const float* right = key.channels == 2 ? key.right.data() : nullptr;
        if (!fresh[key.key].assign(key.left.data(), right, key.length)) return false;
        // Let go of each decoded copy as soon as it is in its buffer.
        key.left = std::vector<float>();
        key.right = std::vector<float>();
    }
    return true;
}

}  // namespace

bool LiveKitState::restore(Kit& kit, KeyNames* names, const uint8_t* bytes, std::size_t size, std::string& why) {
    KitStateData data;
    KeyAudioBuffers fresh[kNumKeys];
    bool ok = false;
    try {
        ok = decodeKitState(bytes, size, data, why) && takeBuffers(data, fresh);
        if (!ok && why.empty()) why = "kit state refused: out of memory";
    } catch (const std::bad_alloc&) {
        why = "kit state refused: out of memory";
    }
    if (!ok) {
        // An empty kit rather than part of one.
        data = KitStateData();
        for (KeyAudioBuffers& f : fresh) f = KeyAudioBuffers();
    }

    KeySettings settings[kNumKeys];
    if (names) std::memset(*names, 0, sizeof(KeyNames));
    for (const KitStateKey& key : data.keys) {
        settings[key.key] = key.settings;
        if (names) std::memcpy((*names)[key.key], key.name.data(), key.name.size());
    }
    // Every key at once, each stopped and back at its start: what sounded
    // belonged to the kit that was.
    replaceKeysAudio(kit, (KeyMask(1) << kNumKeys) - 1, fresh, true);
    for (int k = 0; k < kNumKeys; ++k) writeKeySettings(kit, k, settings[k]);
    kit.target.store(data.target, std::memory_order_relaxed);
    return ok;
}

}  // namespace rimbrel
