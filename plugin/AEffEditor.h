// The base of the plug-in's editor as the effect sees it. The effect owns the
// editor for its whole life; the host opens and closes its window any number
// of times in between.
//
// Threads: getRect, open, close, hostIdle, onKeyDown and onKeyUp come from
// the editor requests, all on the UI thread: whichever thread the host makes
// them from, which need not be its main thread (Ardour has an editor thread
// of its own). setParameter comes from any thread.
#pragma once

#include "plugin/vst2/Vst2.h"

namespace rimbrel {

class AudioEffect;

class AEffEditor {
public:
    // Registers the editor with the effect (which sets the has-editor flag and
    // from then on owns the editor).
    explicit AEffEditor(AudioEffect* effect);
    // Runs while the effect is being destroyed: must not call back into it.
    virtual ~AEffEditor() = default;
    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    // The window's rectangle; the pointer stays valid while the editor lives.
    virtual bool getRect(ERect** rect) {
        if (rect) *rect = nullptr;
        return false;
    }
    // Builds the window inside the host's parent window. On Linux the parent
    // is an X11 Window id and hostDisplay the host's own Display*.
    virtual bool open(void* parentWindow, void* hostDisplay) {
        systemWindow_ = parentWindow;
        return false;
    }
    virtual void close() { systemWindow_ = nullptr; }
    virtual bool isOpen() const { return systemWindow_ != nullptr; }
    // The host's idle request (effEditIdle), on the thread that runs the
    // editor. A toolkit binding pumps its window system here, then calls idle().
    virtual void hostIdle() { idle(); }
    // The editor's own idle work.
    virtual void idle() {}
    virtual bool onKeyDown(VstKeyCode& keyCode) { return false; }
    virtual bool onKeyUp(VstKeyCode& keyCode) { return false; }
    // Every parameter change of the effect, from whichever thread made it
    // (the audio thread included, with index 2 at every note start).
    virtual void setParameter(int index, float value) {}

    AudioEffect* getEffect() const { return effect_; }

protected:
    AudioEffect* effect_;
    void* systemWindow_ = nullptr;
};

}  // namespace rimbrel
