// The plug-in's exported entry points. Both do the same.
#include "plugin/PluginEntry.h"

#define RIMBREL_EXPORT extern "C" __attribute__((visibility("default")))

RIMBREL_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
    return rimbrel::createEffect(audioMaster);
}

// Older hosts look for "main". A C++ function of that name would be taken for
// the program's main, so it is declared under another name with the symbol
// name given explicitly.
RIMBREL_EXPORT AEffect* rimbrelLegacyMain(audioMasterCallback audioMaster) __asm__("main");
AEffect* rimbrelLegacyMain(audioMasterCallback audioMaster) {
    return rimbrel::createEffect(audioMaster);
}
