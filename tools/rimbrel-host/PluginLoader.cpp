#include "tools/rimbrel-host/PluginLoader.h"

#include "tools/rimbrel-host/SharedLibrary.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace rimbrel::host {

using PluginEntry = AEffect* (*)(audioMasterCallback);

HostState& hostState() {
    static HostState state;
    return state;
}

static bool hostCanDo(const char* what) {
    static const char* const kCanDo[] = {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo",
                                         "supplyIdle", "sizeWindow", "startStopProcess"};
    if (!what) return false;
    for (const char* s : kCanDo) {
        if (std::strcmp(what, s) != 0) continue;
        if (std::strcmp(s, "sizeWindow") == 0) return bool(hostState().sizeWindow);
        return true;
    }
    return false;
}

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                       float) {
    HostState& host = hostState();
    switch (opcode) {
        case audioMasterVersion: return kVstVersion;
        case audioMasterCurrentId: return 0;
        case audioMasterIdle:
            if (host.idle) host.idle();
            return 0;
        case audioMasterWantMidi: return 1;
        case audioMasterGetTime: return 0;  // no transport
        case audioMasterSizeWindow:
            return host.sizeWindow && host.sizeWindow(index, int(value)) ? 1 : 0;
        case audioMasterGetSampleRate: return VstIntPtr(host.sampleRate);
        case audioMasterGetBlockSize: return host.blockSize;
        case audioMasterGetCurrentProcessLevel: return host.processLevel;
        case audioMasterGetAutomationState: return 1;  // off
        case audioMasterGetVendorString:
            if (ptr) std::snprintf(static_cast<char*>(ptr), kVstMaxVendorStrLen, "%s", "Rimbrel");
            return ptr ? 1 : 0;
        case audioMasterGetProductString:
            if (ptr)
                std::snprintf(static_cast<char*>(ptr), kVstMaxProductStrLen, "%s", "rimbrel-host");
            return ptr ? 1 : 0;
        case audioMasterGetVendorVersion: return 1000;
        case audioMasterCanDo: return hostCanDo(static_cast<const char*>(ptr)) ? 1 : 0;
        case audioMasterGetLanguage: return 1;  // English
        case audioMasterUpdateDisplay:
            if (host.idle) host.idle();
            return 1;
        case audioMasterBeginEdit:
        case audioMasterEndEdit:
        case audioMasterAutomate:
        case audioMasterIOChanged:
            return 0;
        default: return 0;
    }
}

std::unique_ptr<Plugin> Plugin::load(const std::string& path, std::string& error) {
    void* handle = openSharedLibrary(path, error);
    if (!handle) return nullptr;
    auto entry = reinterpret_cast<PluginEntry>(findSymbol(handle, "VSTPluginMain"));
    if (!entry) entry = reinterpret_cast<PluginEntry>(findSymbol(handle, "main"));
    if (!entry) {
        error = path + ": neither VSTPluginMain nor main is exported";
        closeSharedLibrary(handle);
        return nullptr;
    }
    AEffect* effect = entry(hostCallback);
    if (!effect) {
        error = path + ": the plug-in created no effect";
        closeSharedLibrary(handle);
        return nullptr;
    }
    if (effect->magic != kEffectMagic) {
        error = path + ": the plug-in's record has no VST magic";
        closeSharedLibrary(handle);
        return nullptr;
    }
    std::unique_ptr<Plugin> plugin(new Plugin());
    plugin->handle_ = handle;
    plugin->effect_ = effect;
    plugin->path_ = path;
    return plugin;
}

Plugin::~Plugin() {
    close();
    if (handle_) closeSharedLibrary(handle_);
}

VstIntPtr Plugin::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                           float opt) const {
    if (!effect_ || !effect_->dispatcher) return 0;
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string Plugin::text(VstInt32 opcode, VstInt32 index, VstIntPtr* answer) const {
    // Generous room: plug-ins do not all keep to the published lengths.
    std::vector<char> buffer(512, 0);
    const VstIntPtr result = dispatch(opcode, index, 0, buffer.data());
    if (answer) *answer = result;
    buffer.back() = 0;
    return buffer.data();
}

VstIntPtr Plugin::canDo(const char* what) const {
    std::vector<char> copy(what, what + std::strlen(what) + 1);
    return dispatch(effCanDo, 0, 0, copy.data());
}

void Plugin::close() {
    if (!effect_) return;
    dispatch(effClose);
    effect_ = nullptr;
}

std::string fourCharacters(VstInt32 id) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((uint32_t(id) >> shift) & 0xFF);
        s += (c >= 32 && c < 127) ? c : '.';
    }
    return s;
}

}  // namespace rimbrel::host
