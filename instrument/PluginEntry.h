// Creating the effect for a host: what the exported entry points do.
#pragma once

#include "plugin/vst2/Vst2.h"

namespace rimbrel {

// Asks the host for its version (a host that answers 0 gets nothing), then
// creates the effect and returns its record, or null if that fails.
AEffect* createEffect(audioMasterCallback audioMaster) noexcept;

}  // namespace rimbrel
