// Loading a VST 2.4 plug-in from a shared object and talking to it as a host.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "plugin/vst2/Vst2.h"

namespace rimbrel::host {

// What the host tells its plug-ins when they ask. One host per process.
struct HostState {
    double sampleRate = 44100.0;
    VstInt32 blockSize = 512;
    VstInt32 processLevel = kVstProcessLevelUser;
    // Answers audioMasterSizeWindow (width, height); unset: the request fails.
    std::function<bool(int, int)> sizeWindow;
    // Called for audioMasterIdle and audioMasterUpdateDisplay, if set.
    std::function<void()> idle;
};
HostState& hostState();

// The host callback handed to every plug-in this program loads.
VstIntPtr hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                       void* ptr, float opt);

class Plugin {
public:
    // Opens the shared object, finds VSTPluginMain (or main), creates the
    // effect and checks its record. On failure returns null and says why.
    static std::unique_ptr<Plugin> load(const std::string& path, std::string& error);
    ~Plugin();  // closes the effect (effClose) if still open, unloads the object
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    AEffect* effect() const { return effect_; }
    const std::string& path() const { return path_; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) const;
    // A request that writes a text into ptr; returns the text and the answer.
    std::string text(VstInt32 opcode, VstInt32 index = 0, VstIntPtr* answer = nullptr) const;
    VstIntPtr canDo(const char* what) const;

    // effClose: the record is gone afterwards.
    void close();

private:
    Plugin() = default;
    void* handle_ = nullptr;
    AEffect* effect_ = nullptr;
    std::string path_;
};

std::string fourCharacters(VstInt32 id);

}  // namespace rimbrel::host
