// The plug-in's exported entry points on Windows (Rimbrel.def names them).
// Both do the same.
#include "instrument/PluginEntry.h"

#include "editor/ADEditor.h"

#if defined(RIMBREL_WIN32_WINDOW)
#include "platform/win32/Win32Platform.h"
#endif

namespace {

#if !defined(RIMBREL_WIN32_WINDOW)
// A build without the Win32 window platform has no editor window: the host
// is told there is none, and a request to open one is refused.
AEffectDispatcherProc effectDispatcher = nullptr;

VstIntPtr dispatchWithoutWindow(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
    if (opcode == effEditOpen || opcode == effEditGetRect || opcode == effEditIdle) {
        if (opcode == effEditGetRect && ptr) *static_cast<ERect**>(ptr) = nullptr;
        return 0;
    }
    return effectDispatcher(effect, opcode, index, value, ptr, opt);
}
#endif

AEffect* createForHost(audioMasterCallback audioMaster) {
#if defined(RIMBREL_WIN32_WINDOW)
    rimbrel::ADEditor::setPlatformInstaller([] { rimbrel::gui::win32::install(); });
    return rimbrel::createEffect(audioMaster);
#else
    AEffect* effect = rimbrel::createEffect(audioMaster);
    if (effect) {
        effectDispatcher = effect->dispatcher;
        effect->dispatcher = dispatchWithoutWindow;
        effect->flags &= ~effFlagsHasEditor;
    }
    return effect;
#endif
}

}  // namespace

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
    return createForHost(audioMaster);
}

// Older hosts look for "main". A C++ function of that name would be taken for
// the program's main, so it is declared under another name with the symbol
// name given explicitly.
extern "C" AEffect* rimbrelLegacyMain(audioMasterCallback audioMaster) __asm__("main");
AEffect* rimbrelLegacyMain(audioMasterCallback audioMaster) { return createForHost(audioMaster); }
