// What each kit target allows, and the keys' frames as a target plays them.
#pragma once

#include <cstdint>

#include "kit/Kit.h"

namespace rimbrel {

// The longest key the target plays and exports.
constexpr int32_t targetKeyLimit(KitTarget target) {
    return target == KitTarget::Op1Field ? kMaxFieldKeyFrames : kMaxKeyFrames;
}

// The most a kit of the target may total for export.
constexpr int32_t targetKitLimit(KitTarget target) {
    return target == KitTarget::Op1Field ? kMaxFieldKitFrames : kMaxKitFrames;
}

// The keys' lengths under `target`, added up. A key counts at most 882000
// frames, so 24 of them fit an int32.
inline int32_t kitPlayFrames(const Kit& kit, KitTarget target) {
    int32_t total = 0;
    for (int k = 0; k < kNumKeys; ++k) total += targetKeyLength(kit.keyLength[k], target);
    return total;
}

}  // namespace rimbrel
