// rimbrel-host: a small VST 2.4 host for checking a plug-in without a DAW.
//
//   rimbrel-host info PLUGIN
//   rimbrel-host render PLUGIN -o out.wav [--rate 44100] [--block 512]
//                [--input in.wav | --frames N] [--note FRAME:NOTE[:LENGTH]]...
//                [--midi file.txt]
//   rimbrel-host editor PLUGIN [--seconds N] [--screenshot FILE.png] [--record FILE.wav]
//                [--note FRAME:NOTE[:LEN]]... [--midi FILE] [--rate HZ] [--block FRAMES]
//                [--drop PATH... (--on-key K | --on-drop-button | --on-host-area)]...
//                [--click X,Y[,mods]]... [--embed-later]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "tools/rimbrel-host/Info.h"
#include "tools/rimbrel-host/PluginLoader.h"
#include "tools/rimbrel-host/Render.h"
#include "tools/rimbrel-host/EditorHost.h"

#if defined(_WIN32)
#include "platform/win32/CommandLine.h"
#endif

namespace {

using namespace rimbrel::host;

void usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: rimbrel-host info PLUGIN\n"
                 "       rimbrel-host render PLUGIN -o OUT.wav [--rate HZ] [--block FRAMES]\n"
                 "                    [--input IN.wav | --frames N]\n"
                 "                    [--note FRAME:NOTE[:LENGTH]]... [--midi FILE.txt]\n"
                 "\n"
                 "info    prints the plug-in's identity and its answers to read-only requests\n"
                 "render  sends notes (channel 1, velocity 100) or the MIDI lines of FILE.txt\n"
                 "        (\"frame status data1 data2\", # comments) and the input (or silence)\n"
                 "        through the plug-in and writes a 2-channel 32-bit float WAV\n"
                 "\n"
                 "       rimbrel-host editor PLUGIN [--seconds N] [--screenshot FILE.png]\n"
                 "                    [--screenshot-at MS] [--record FILE.wav] [--rate HZ] [--block FRAMES]\n"
                 "                    [--note FRAME:NOTE[:LENGTH]]... [--midi FILE.txt]\n"
                 "                    [--drop PATH... [--on-key K | --on-drop-button | --on-host-area]]...\n"
                 "                    [--click X,Y[,shift][,ctrl][,alt]]... [--after MS] [--deepest]\n"
                 "                    [--ui-thread] [--embed-later]\n"
                 "\n"
                 "editor  opens the plug-in's editor in a window of its own, idles it every 20 ms\n"
                 "        while an audio thread processes blocks in real time (notes scheduled from\n"
                 "        its start, output recorded with --record); ends after --seconds, when\n"
                 "        the window is closed, or on SIGINT or SIGTERM. Clicks and drops run in\n"
                 "        the order given, from --after MS (500) on, 200 ms apart; a drop is an\n"
                 "        XDND drag of the files onto key K's name label or the drop button (the\n"
                 "        default), answered on stdout with \"drop accepted\" or \"drop refused\".\n"
                 "        --deepest aims drops at the deepest drop-aware window (as Qt does)\n"
                 "        instead of the top-level;\n"
                 "        --ui-thread runs the editor on a thread other than the main one.\n"
                 "        --embed-later behaves like hosts that embed the editor afterwards: its\n"
                 "        parent window is created on the root, given to the editor, and only then\n"
                 "        reparented into the host's window, which has a strip of its own above\n"
                 "        the editor and takes part in drags itself, refusing every drop on it\n"
                 "        (\"host area: drag entered\", \"host area: drop refused\" on stdout);\n"
                 "        --on-host-area aims a drop at that strip\n");
}

int fail(const std::string& message) {
    std::fprintf(stderr, "rimbrel-host: %s\n", message.c_str());
    return 1;
}

std::unique_ptr<Plugin> loadPlugin(const std::string& path) {
    std::string error;
    auto plugin = Plugin::load(path, error);
    if (!plugin) fail(error);
    return plugin;
}

bool parseCount(const char* text, long long low, long long high, long long& value) {
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return end && *end == 0 && end != text && value >= low && value <= high;
}

int runInfo(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        usage(stderr);
        return 2;
    }
    auto plugin = loadPlugin(args[0]);
    if (!plugin) return 1;
    printInfo(*plugin, std::cout);
    plugin->close();
    return 0;
}

int runRender(const std::vector<std::string>& args) {
    if (args.empty()) {
        usage(stderr);
        return 2;
    }
    RenderOptions options;
    std::string error;
    bool framesGiven = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (!hasValue) return fail("missing value after " + a);
        const std::string& v = args[++i];
        long long n = 0;
        if (a == "-o" || a == "--output") {
            options.outputPath = v;
        } else if (a == "--rate") {
            if (!parseCount(v.c_str(), 1, 1000000, n)) return fail("bad --rate " + v);
            options.sampleRate = double(n);
            options.sampleRateGiven = true;
        } else if (a == "--block") {
            if (!parseCount(v.c_str(), 1, 1 << 20, n)) return fail("bad --block " + v);
            options.blockSize = int(n);
        } else if (a == "--frames") {
            if (!parseCount(v.c_str(), 0, 1LL << 40, n)) return fail("bad --frames " + v);
            options.frames = n;
            framesGiven = true;
        } else if (a == "--input") {
            options.inputPath = v;
        } else if (a == "--note") {
            if (!parseNoteSpec(v, options.events, error)) return fail(error);
        } else if (a == "--midi") {
            if (!readMidiText(v, options.events, error)) return fail(error);
        } else {
            usage(stderr);
            return 2;
        }
    }
    if (options.outputPath.empty()) return fail("render needs -o OUT.wav");
    if (framesGiven && !options.inputPath.empty())
        return fail("--input and --frames exclude each other");
    auto plugin = loadPlugin(args[0]);
    if (!plugin) return 1;
    if (!render(*plugin, options, error)) return fail(error);
    plugin->close();
    return 0;
}

int runEditorCommand(const std::vector<std::string>& args) {
    if (args.empty()) {
        usage(stderr);
        return 2;
    }
    EditorOptions options;
    options.pluginPath = args[0];
    std::string error;
    // The drop that --on-key and --on-drop-button apply to (an index: the
    // list grows).
    long lastDrop = -1;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--on-drop-button" || a == "--on-host-area" || a == "--deepest" || a == "--ui-thread" ||
            a == "--embed-later") {
            if (a == "--deepest") {
                options.dropToDeepestWindow = true;
            } else if (a == "--ui-thread") {
                options.uiThread = true;
            } else if (a == "--embed-later") {
                options.embedLater = true;
            } else {
                if (lastDrop < 0) return fail(a + " needs a --drop before it");
                options.actions[size_t(lastDrop)].key = -1;
                options.actions[size_t(lastDrop)].onHostArea = a == "--on-host-area";
            }
            continue;
        }
        if (a == "--drop") {
            EditorAction drop;
            drop.kind = EditorAction::Drop;
            // A file manager always names files by absolute paths; so does the drop.
            while (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0)
                drop.paths.push_back(std::filesystem::absolute(args[++i]).string());
            if (drop.paths.empty()) return fail("--drop needs at least one path");
            options.actions.push_back(drop);
            lastDrop = long(options.actions.size()) - 1;
            continue;
        }
        if (i + 1 >= args.size()) return fail("missing value after " + a);
        const std::string& v = args[++i];
        long long n = 0;
        if (a == "--seconds") {
            char* end = nullptr;
            options.seconds = std::strtod(v.c_str(), &end);
            if (!end || *end || options.seconds < 0) return fail("bad --seconds " + v);
        } else if (a == "--screenshot") {
            options.screenshotPath = v;
        } else if (a == "--screenshot-at") {
            if (!parseCount(v.c_str(), 0, 1 << 30, n)) return fail("bad --screenshot-at " + v);
            options.screenshotAtMs = int(n);
        } else if (a == "--record") {
            options.recordPath = v;
        } else if (a == "--rate") {
            if (!parseCount(v.c_str(), 1, 1000000, n)) return fail("bad --rate " + v);
            options.sampleRate = double(n);
        } else if (a == "--block") {
            if (!parseCount(v.c_str(), 1, 1 << 16, n)) return fail("bad --block " + v);
            options.blockSize = int(n);
        } else if (a == "--note") {
            if (!parseNoteSpec(v, options.events, error)) return fail(error);
        } else if (a == "--midi") {
            if (!readMidiText(v, options.events, error)) return fail(error);
        } else if (a == "--on-key") {
            if (lastDrop < 0) return fail("--on-key needs a --drop before it");
            if (!parseCount(v.c_str(), 0, 23, n)) return fail("bad --on-key " + v + " (0..23)");
            options.actions[size_t(lastDrop)].key = int(n);
            options.actions[size_t(lastDrop)].onHostArea = false;
        } else if (a == "--click") {
            EditorAction click;
            if (!parseClickSpec(v, click, error)) return fail(error);
            options.actions.push_back(click);
            lastDrop = -1;
        } else if (a == "--after") {
            if (!parseCount(v.c_str(), 0, 1 << 30, n)) return fail("bad --after " + v);
            options.actionsAfterMs = int(n);
        } else {
            usage(stderr);
            return 2;
        }
    }
    if (!options.embedLater)
        for (const EditorAction& action : options.actions)
            if (action.onHostArea) return fail("--on-host-area needs --embed-later (the host's strip)");
    const int code = runEditor(options, error);
    if (!error.empty()) fail(error);
    return code;
}

int runHost(int argc, char** argv) {
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "info") return runInfo(args);
    if (command == "render") return runRender(args);
    if (command == "editor") return runEditorCommand(args);
    if (command == "-h" || command == "--help" || command == "help") {
        usage(stdout);
        return 0;
    }
    usage(stderr);
    return 2;
}

// fontconfig keeps its configuration and pattern caches for the life of the
// process; a plug-in that draws text fills them. They are not leaks of the
// host or of the plug-in, so the host's leak check (in sanitizer builds)
// ignores them.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

}  // namespace

#if defined(_WIN32)
// File names on the command line arrive in UTF-8, as everywhere in the program.
int main() { return rimbrel::win32::runWithUtf8Arguments(runHost); }
#else
int main(int argc, char** argv) { return runHost(argc, argv); }
#endif
