// rimbrel-host: a small VST 2.4 host for checking a plug-in without a DAW.
//
//   rimbrel-host info PLUGIN
//   rimbrel-host render PLUGIN -o out.wav [--rate 44100] [--block 512]
//                [--input in.wav | --frames N] [--note FRAME:NOTE[:LENGTH]]...
//                [--midi file.txt]
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "tools/rimbrel-host/Info.h"
#include "tools/rimbrel-host/PluginLoader.h"
#include "tools/rimbrel-host/Render.h"

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
                 "        through the plug-in and writes a 2-channel 32-bit float WAV\n");
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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "info") return runInfo(args);
    if (command == "render") return runRender(args);
    if (command == "-h" || command == "--help" || command == "help") {
        usage(stdout);
        return 0;
    }
    usage(stderr);
    return 2;
}
