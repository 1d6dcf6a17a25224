// The plug-in's exported entry points. Both do the same.
#include "instrument/PluginEntry.h"

#include "editor/ADEditor.h"
#include "platform/x11/X11Platform.h"

#define RIMBREL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
AEffect* createForHost(audioMasterCallback audioMaster) {
    // The window opens in an X11 parent: the editor installs the X11 frame
    // factory when it builds its window.
    rimbrel::ADEditor::setPlatformInstaller([] { rimbrel::gui::x11::install(); });
    return rimbrel::createEffect(audioMaster);
}
}  // namespace

RIMBREL_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
    return createForHost(audioMaster);
}

// Older hosts look for "main". A C++ function of that name would be taken for
// the program's main, so it is declared under another name with the symbol
// name given explicitly.
RIMBREL_EXPORT AEffect* rimbrelLegacyMain(audioMasterCallback audioMaster) __asm__("main");
AEffect* rimbrelLegacyMain(audioMasterCallback audioMaster) {
    return createForHost(audioMaster);
}
