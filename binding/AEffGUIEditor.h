// The binding between the effect's editor slot and the toolkit: it owns the
// window rectangle and the frame while the window is open, pumps the platform
// on the host's idle call, and asks the host for idle time and window sizes.
#pragma once

#include <cstdint>
#include <functional>

#include "gui/Frame.h"
#include "plugin/AEffEditor.h"

namespace rimbrel::gui {

class AEffGUIEditor : public rimbrel::AEffEditor, public VSTGUIEditorInterface {
public:
    explicit AEffGUIEditor(rimbrel::AudioEffect* effect);
    ~AEffGUIEditor() override;

    bool getRect(ERect** rect) override;
    // Stores the parent window and the host's display; a derived editor then
    // builds its frame in getSystemWindow() and returns true.
    bool open(void* parentWindow, void* hostDisplay) override;
    // A derived editor releases its frame first, then calls this.
    void close() override;
    bool isOpen() const override { return frame != nullptr; }

    // effEditIdle: runs the platform pump (window-system events, due timers,
    // finished dialogs, redraws), then the editor's own idle().
    void hostIdle() override;

    bool onKeyDown(VstKeyCode& keyCode) override;
    bool onKeyUp(VstKeyCode& keyCode) override;

    // The toolkit's editor idle: at most every 50 ms it lets the frame redraw
    // what is marked and gives the host an idle call. Not re-entered.
    void doIdleStuff() override;

    // Asks the host to resize its window to the new size; answers whether
    // the host did (otherwise the platform resizes the parent itself).
    bool requestHostResize(int32_t width, int32_t height);

    CFrame* getFrame() const { return frame; }
    void* getSystemWindow() const { return systemWindow_; }
    void* getHostDisplay() const { return hostDisplay_; }

protected:
    ERect rect{0, 0, 0, 0};
    CFrame* frame = nullptr;

private:
    void* hostDisplay_ = nullptr;
    uint64_t lastIdle_ = 0;
    bool inIdle_ = false;
};

}  // namespace rimbrel::gui
