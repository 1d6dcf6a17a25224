#include "instrument/TambletEdit.h"

#include <new>

#include "editor/ADEditor.h"
#include "plugin/AEffEditor.h"

namespace rimbrel {

TambletEdit::TambletEdit(audioMasterCallback master) : Tamblet(master) {
    setUniqueID(kUniqueId);
    // The window's editor: its base registers it through setEditor(), which
    // sets the has-editor flag before the host first sees the record. The
    // effect owns it from then on and deletes it when destroyed.
    window_ = new (std::nothrow) ADEditor(this);
}

TambletEdit::~TambletEdit() = default;

void TambletEdit::setParameter(VstInt32 index, float value) {
    Tamblet::setParameter(index, value);
    if (editor) editor->setParameter(index, value);
}

KeyNames* TambletEdit::savedKeyNames() { return window_ ? &window_->keyNames : nullptr; }

void TambletEdit::kitRestored() {
    if (window_) window_->kitReplaced();
}

bool TambletEdit::getEffectName(char* name) { return Tamblet::getEffectName(name); }
bool TambletEdit::getProductString(char* text) { return Tamblet::getProductString(text); }
VstInt32 TambletEdit::getVendorVersion() { return 1005; }

}  // namespace rimbrel
