#include "tools/rimbrel-host/Info.h"

#include <cstdio>
#include <string>

namespace rimbrel::host {

namespace {

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

std::string flagNames(VstInt32 flags) {
    static const struct {
        VstInt32 bit;
        const char* name;
    } kFlags[] = {{effFlagsHasEditor, "HasEditor"},
                  {effFlagsCanReplacing, "CanReplacing"},
                  {effFlagsProgramChunks, "ProgramChunks"},
                  {effFlagsIsSynth, "IsSynth"},
                  {effFlagsNoSoundInStop, "NoSoundInStop"},
                  {effFlagsCanDoubleReplacing, "CanDoubleReplacing"}};
    std::string names;
    VstInt32 rest = flags;
    for (const auto& f : kFlags) {
        if (!(flags & f.bit)) continue;
        if (!names.empty()) names += ' ';
        names += f.name;
        rest &= ~f.bit;
    }
    if (rest) {
        char other[32];
        std::snprintf(other, sizeof other, "0x%x", unsigned(rest));
        if (!names.empty()) names += ' ';
        names += other;
    }
    return names;
}

const char* categoryName(VstIntPtr category) {
    switch (category) {
        case kPlugCategEffect: return "effect";
        case kPlugCategSynth: return "instrument";
        case kPlugCategAnalysis: return "analysis";
        case kPlugCategMastering: return "mastering";
        case kPlugCategSpacializer: return "spatialiser";
        case kPlugCategRoomFx: return "room";
        case kPlugSurroundFx: return "surround";
        case kPlugCategRestoration: return "restoration";
        case kPlugCategOfflineProcess: return "offline";
        case kPlugCategShell: return "shell";
        case kPlugCategGenerator: return "generator";
        default: return "unknown";
    }
}

}  // namespace

void printInfo(const Plugin& plugin, std::ostream& out) {
    const AEffect* e = plugin.effect();
    char hex[16];
    out << "plugin: " << plugin.path() << "\n";
    out << "magic: " << fourCharacters(e->magic) << "\n";
    std::snprintf(hex, sizeof hex, "0x%08x", uint32_t(e->uniqueID));
    out << "uniqueID: " << fourCharacters(e->uniqueID) << " (" << hex << ")\n";
    out << "version: " << e->version << "\n";
    std::snprintf(hex, sizeof hex, "0x%x", uint32_t(e->flags));
    out << "flags: " << hex << " " << flagNames(e->flags) << "\n";
    out << "numPrograms: " << e->numPrograms << "\n";
    out << "numParams: " << e->numParams << "\n";
    out << "numInputs: " << e->numInputs << "\n";
    out << "numOutputs: " << e->numOutputs << "\n";
    out << "initialDelay: " << e->initialDelay << "\n";
    out << "ioRatio: " << e->ioRatio << "\n";

    plugin.dispatch(effOpen);
    VstIntPtr answer = 0;
    std::string text = plugin.text(effGetEffectName, 0, &answer);
    out << "effectName: " << quoted(text) << " (" << answer << ")\n";
    text = plugin.text(effGetVendorString, 0, &answer);
    out << "vendorString: " << quoted(text) << " (" << answer << ")\n";
    text = plugin.text(effGetProductString, 0, &answer);
    out << "productString: " << quoted(text) << " (" << answer << ")\n";
    out << "vendorVersion: " << plugin.dispatch(effGetVendorVersion) << "\n";
    out << "vstVersion: " << plugin.dispatch(effGetVstVersion) << "\n";
    const VstIntPtr category = plugin.dispatch(effGetPlugCategory);
    out << "category: " << category << " (" << categoryName(category) << ")\n";
    out << "midiInputChannels: " << plugin.dispatch(effGetNumMidiInputChannels) << "\n";
    out << "midiOutputChannels: " << plugin.dispatch(effGetNumMidiOutputChannels) << "\n";
    static const char* const kCanDo[] = {
        "sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo", "receiveVstEvents",
        "receiveVstMidiEvent", "receiveVstTimeInfo", "offline", "plugAsChannelInsert",
        "plugAsSend", "mixDryWet", "noRealTime", "multipass",
        "metapass", "1in1out", "1in2out", "2in1out",
        "2in2out", "midiProgramNames", "bypass"};
    for (const char* what : kCanDo) out << "canDo " << what << ": " << plugin.canDo(what) << "\n";
    out << "program: " << plugin.dispatch(effGetProgram) << "\n";
    out << "programName: " << quoted(plugin.text(effGetProgramName)) << "\n";
    text = plugin.text(effGetProgramNameIndexed, 0, &answer);
    out << "programNameIndexed 0: " << quoted(text) << " (" << answer << ")\n";
    out << "numProgramCategories: " << plugin.dispatch(effGetNumProgramCategories) << "\n";
    if (e->numParams > 0) {
        out << "parameter 0 name: " << quoted(plugin.text(effGetParamName, 0)) << "\n";
        out << "parameter 0 label: " << quoted(plugin.text(effGetParamLabel, 0)) << "\n";
        out << "parameter 0 display: " << quoted(plugin.text(effGetParamDisplay, 0)) << "\n";
        out << "parameter 0 value: " << (e->getParameter ? e->getParameter(const_cast<AEffect*>(e), 0) : 0.0f)
            << "\n";
        out << "parameter 0 automatable: " << plugin.dispatch(effCanBeAutomated, 0) << "\n";
    }
    out << "tailSize: " << plugin.dispatch(effGetTailSize) << "\n";
    out << "currentMidiProgram: " << plugin.dispatch(effGetCurrentMidiProgram) << "\n";
    out << "keysRequired: " << plugin.dispatch(effKeysRequired) << "\n";
    ERect* rect = nullptr;
    const VstIntPtr hasRect = plugin.dispatch(effEditGetRect, 0, 0, &rect);
    if (hasRect && rect)
        out << "editorRect: " << rect->right - rect->left << "x" << rect->bottom - rect->top
            << "\n";
    else
        out << "editorRect: none\n";
}

}  // namespace rimbrel::host
