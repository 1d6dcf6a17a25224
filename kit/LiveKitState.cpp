#include "kit/LiveKitState.h"

#include <cstring>
#include <new>
#include <string_view>
#include <utility>

#include "kit/KeyAudio.h"
#include "kit/UndoHistory.h"

namespace rimbrel {

const std::vector<uint8_t>* LiveKitState::save(const Kit& kit, const KeyNames* names, std::string& why) {
    KitStateKeySource sources[kNumKeys];
    for (int k = 0; k < kNumKeys; ++k) {
        KitStateKeySource& s = sources[k];
        s.key = k;
        if (names) s.name = std::string_view((*names)[k], strnlen((*names)[k], kKeyNameSize));
        s.settings = readKeySettings(kit, k);
        s.length = kit.keyLength[k];
        s.left = kit.keySamples[k];
        s.right = kit.keyRight[k];
        s.channels = s.length > 0 && s.left ? kit.keyChannels(k) : 0;
        if (!s.left) s.length = 0;
        s.generation = kit.keyGeneration[k];
    }
    return cache_.assemble(kit.target.load(std::memory_order_relaxed), sources, kNumKeys, why);
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
