// The effect as the host gets it: Tamblet plus its editor, to which every
// parameter change is passed on.
#pragma once

#include "plugin/Tamblet.h"

namespace rimbrel {

class ADEditor;

class TambletEdit : public Tamblet {
public:
    explicit TambletEdit(audioMasterCallback master);
    ~TambletEdit() override;

    // Tamblet's change first, then the editor's (also on the audio thread,
    // with kParamAudition, at every note start).
    void setParameter(VstInt32 index, float value) override;
    bool getEffectName(char* name) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;

protected:
    // The window's key names go with the kit into its saved state and come
    // back with it; the window shows the restored kit.
    KeyNames* savedKeyNames() override;
    void kitRestored() override;

private:
    ADEditor* window_ = nullptr;  // owned by the effect as its editor
};

}  // namespace rimbrel
