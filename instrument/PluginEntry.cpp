#include "instrument/PluginEntry.h"

#include "instrument/TambletEdit.h"

namespace rimbrel {

AEffect* createEffect(audioMasterCallback audioMaster) noexcept {
    if (!audioMaster) return nullptr;
    try {
        if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
        TambletEdit* effect = new TambletEdit(audioMaster);  // null when out of memory
        return effect ? effect->getAeffect() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace rimbrel
