#include "binding/AEffGUIEditor.h"

#include "platform/Windows.h"
#include "gui/Timer.h"
#include "plugin/AudioEffectX.h"

namespace rimbrel::gui {

AEffGUIEditor::AEffGUIEditor(rimbrel::AudioEffect* effect) : rimbrel::AEffEditor(effect) {}

AEffGUIEditor::~AEffGUIEditor() = default;

bool AEffGUIEditor::getRect(ERect** rectOut) {
    if (!rectOut) return false;
    *rectOut = &rect;
    return true;
}

bool AEffGUIEditor::open(void* parentWindow, void* hostDisplay) {
    systemWindow_ = parentWindow;
    hostDisplay_ = hostDisplay;
    return false;
}

void AEffGUIEditor::close() {
    systemWindow_ = nullptr;
    hostDisplay_ = nullptr;
}

void AEffGUIEditor::hostIdle() {
    runPlatformPump();
    idle();
}

bool AEffGUIEditor::onKeyDown(VstKeyCode& keyCode) {
    if (!frame) return false;
    CKeyCode key;
    key.character = keyCode.character;
    key.virt = keyCode.virt;
    key.modifier = keyCode.modifier;
    return frame->onKeyDown(key) > 0;
}

bool AEffGUIEditor::onKeyUp(VstKeyCode& keyCode) {
    if (!frame) return false;
    CKeyCode key;
    key.character = keyCode.character;
    key.virt = keyCode.virt;
    key.modifier = keyCode.modifier;
    return frame->onKeyUp(key) > 0;
}

void AEffGUIEditor::doIdleStuff() {
    if (inIdle_) return;
    const uint64_t now = CTimerService::now();
    if (lastIdle_ != 0 && now - lastIdle_ < 50) return;
    inIdle_ = true;
    lastIdle_ = now;
    if (frame) frame->idle();
    if (effect_) effect_->masterIdle();
    inIdle_ = false;
}

bool AEffGUIEditor::requestHostResize(int32_t width, int32_t height) {
    auto* effectX = dynamic_cast<rimbrel::AudioEffectX*>(effect_);
    if (!effectX) return false;
    char sizeWindow[] = "sizeWindow";
    if (!effectX->canHostDo(sizeWindow)) return false;
    return effectX->sizeWindow(width, height);
}

}  // namespace rimbrel::gui
