#include "plugin/TambletEdit.h"

#include "plugin/AEffEditor.h"

namespace rimbrel {

TambletEdit::TambletEdit(audioMasterCallback master) : Tamblet(master) {
    setUniqueID(kUniqueId);
    // EDITOR: the window's editor (ADEditor) is created here, with this
    // effect; its base registers it through setEditor(), which sets the
    // has-editor flag before the host first sees the record:
    //     new ADEditor(this);
    // Until the editor exists, the flag stays clear and every editor request
    // answers 0.
}

TambletEdit::~TambletEdit() = default;

void TambletEdit::setParameter(VstInt32 index, float value) {
    Tamblet::setParameter(index, value);
    if (editor) editor->setParameter(index, value);
}

bool TambletEdit::getEffectName(char* name) { return Tamblet::getEffectName(name); }
bool TambletEdit::getProductString(char* text) { return Tamblet::getProductString(text); }
VstInt32 TambletEdit::getVendorVersion() { return 1005; }

}  // namespace rimbrel
