#include "tools/rimbrel-kit/KitTool.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "formats/AiffWriter.h"
#include "formats/FieldKitWriter.h"
#include "formats/KitExport.h"
#include "formats/KitFileReader.h"
#include "formats/KitOpening.h"
#include "kit/ParameterMap.h"
#include "kit/DropIntake.h"
#include "kit/DropReport.h"
#include "kit/Kit.h"
#include "kit/Loader.h"
#include "platform/Files.h"

namespace rimbrel {

namespace {

const char* const kUsage =
    "Usage:\n"
    "  rimbrel-kit inspect KIT.aif\n"
    "      Print the kit's keys (start, end, pitch, play mode, direction, volume)\n"
    "      and check the file's structure.\n"
    "  rimbrel-kit build [FILES... | FOLDER] -o KIT.aif [--target op1|field] [settings]\n"
    "      Fill the keys from key 0 as a drop on the first key would, and write\n"
    "      one Op-1 drum-kit file (at most 12 s of audio in all; for the OP-1 Field\n"
    "      a stereo kit of at most 20 s).\n"
    "  rimbrel-kit split [FILES... | FOLDER] -o NAME.aif [--target op1|field]\n"
    "      Fill the keys the same way and write one file per key: NAME_01.aif ...\n"
    "      (stereo files for the OP-1 Field)\n"
    "  rimbrel-kit split KIT.aif -o NAME.aif [--target op1|field]\n"
    "      Take a drum-kit file apart into its keys, as the plug-in's window opens\n"
    "      it, and write one file per key (the kit's own target unless given)\n"
    "\n"
    "Settings (build; KEY is 0..23 or a note name F3..E5: key 0 = F3 = MIDI note 53,\n"
    "key 1 = F#3 or Gb3, ... key 23 = E5):\n"
    "  --pitch KEY=SEMITONES   -48..48\n"
    "  --mode KEY=MODE         gate, oneshot or loop\n"
    "  --reverse KEY           play the key backwards\n"
    "  --volume KEY=GAIN_DB    gain in dB, at most +12; -inf for silence\n"
    "  --pan KEY=PAN           -100 (left) .. 100 (right), 0 centre; OP-1 Field kits only\n"
    "\n"
    "Options:\n"
    "  -o, --output PATH       the file to write (.aif is added or put in place of .wav)\n"
    "  -t, --target TARGET     op1 (the original OP-1, the default) or field (the OP-1 Field)\n"
    "  -v, --verbose           show the loader's and the export's diagnostic lines\n"
    "  -h, --help              show this help\n"
    "      --version           show the version\n"
    "\n"
    "Exit status: 0 done, 1 the work failed or the kit file is invalid, 2 wrong usage.\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "rimbrel-kit: %s\n\n%s", message.c_str(), kUsage);
    return kExitUsage;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "rimbrel-kit: %s\n", message.c_str());
    return kExitFailed;
}

// Keeps the library's diagnostic lines off the terminal unless asked for.
class QuietStderr {
public:
    explicit QuietStderr(bool quiet) {
        if (!quiet) return;
        std::fflush(stderr);
#if defined(_WIN32)
        saved_ = _dup(2);
        const int devnull = _open("NUL", _O_WRONLY);
        if (saved_ >= 0 && devnull >= 0) _dup2(devnull, 2);
        if (devnull >= 0) _close(devnull);
#else
        saved_ = dup(2);
        const int devnull = open("/dev/null", O_WRONLY);
        if (saved_ >= 0 && devnull >= 0) dup2(devnull, 2);
        if (devnull >= 0) close(devnull);
#endif
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (saved_ < 0) return;
#if defined(_WIN32)
        _dup2(saved_, 2);
        _close(saved_);
#else
        dup2(saved_, 2);
        close(saved_);
#endif
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

std::string noteName(int key) {
    static const char* const names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    const int note = kFirstKeyNote + key;
    return std::string(names[note % 12]) + std::to_string(note / 12 - 1);
}

bool parseInt(const std::string& text, long lo, long hi, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != 0 || v < lo || v > hi) return false;
    value = v;
    return true;
}

// A key as a note name: a letter A..G (either case), then '#' or 'b', then
// the octave (F3 is MIDI note 53). Only the 24 keys' notes are taken.
bool parseNoteName(const std::string& text, int& key) {
    static const int semitoneOfLetter[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (text.size() < 2) return false;
    const char letter = char(text[0] | 0x20);
    if (letter < 'a' || letter > 'g') return false;
    int semitone = semitoneOfLetter[letter - 'a'];
    std::size_t i = 1;
    if (text[i] == '#') {
        ++semitone;
        ++i;
    } else if (text[i] == 'b') {
        --semitone;
        ++i;
    }
    long octave = 0;
    if (i >= text.size() || text[i] < '0' || text[i] > '9' || !parseInt(text.substr(i), 0, 9, octave)) return false;
    const long k = 12 * (octave + 1) + semitone - kFirstKeyNote;
    if (k < 0 || k >= kNumKeys) return false;
    key = int(k);
    return true;
}

bool parseKey(const std::string& text, int& key) {
    long v = 0;
    if (!text.empty() && text[0] >= '0' && text[0] <= '9' && parseInt(text, 0, kNumKeys - 1, v)) {
        key = int(v);
        return true;
    }
    return parseNoteName(text, key);
}

// "1 key", "2 keys".
std::string count(long n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

struct Setting {
    enum Kind { Pitch,
                Mode,
                Reverse,
                Volume,
                Pan } kind;
    int key;
    float parameter;  // normalised value, as the effect's parameters take it
};

struct Arguments {
    std::string command;
    std::vector<std::string> items;
    std::string output;
    std::vector<Setting> settings;
    KitTarget target = KitTarget::Op1;
    bool targetGiven = false;
    bool verbose = false;
    bool help = false;
    bool version = false;
};

// KEY=VALUE of a setting option.
bool splitKeyValue(const std::string& text, int& key, std::string& value) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos) return false;
    value = text.substr(eq + 1);
    return parseKey(text.substr(0, eq), key);
}

// Parses the command line; returns kExitOk or the usage error's code.
int parseArguments(int argc, const char* const* argv, Arguments& args) {
    std::vector<std::string> words(argv + 1, argv + argc);
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string w = words[i];
        std::string attached;
        bool hasAttached = false;
        if (w.rfind("--", 0) == 0 && w.find('=') != std::string::npos) {
            attached = w.substr(w.find('=') + 1);
            w = w.substr(0, w.find('='));
            hasAttached = true;
        }
        auto value = [&](std::string& out) -> bool {
            if (hasAttached) {
                out = attached;
                return true;
            }
            if (i + 1 >= words.size()) return false;
            out = words[++i];
            return true;
        };
        if (w == "-h" || w == "--help") {
            args.help = true;
        } else if (w == "--version") {
            args.version = true;
        } else if (w == "-v" || w == "--verbose") {
            args.verbose = true;
        } else if (w == "-o" || w == "--output") {
            if (!value(args.output)) return usageError("option " + w + " needs a path");
        } else if (w == "-t" || w == "--target") {
            std::string t;
            if (!value(t)) return usageError("option " + w + " needs op1 or field");
            if (t == "op1")
                args.target = KitTarget::Op1;
            else if (t == "field")
                args.target = KitTarget::Op1Field;
            else
                return usageError("target must be op1 or field: " + t);
            args.targetGiven = true;
        } else if (w == "--pan") {
            std::string text, v;
            int key = 0;
            long pan = 0;
            if (!value(text) || !splitKeyValue(text, key, v))
                return usageError("option --pan takes KEY=PAN with KEY 0..23 or a note F3..E5");
            if (!parseInt(v, -100, 100, pan)) return usageError("pan must be -100..100: " + v);
            args.settings.push_back({Setting::Pan, key, 0.5f + float(pan) / 200.0f});
        } else if (w == "--pitch" || w == "--mode" || w == "--volume") {
            std::string text, v;
            int key = 0;
            if (!value(text) || !splitKeyValue(text, key, v))
                return usageError("option " + w + " takes KEY=VALUE with KEY 0..23 or a note F3..E5");
            Setting s{Setting::Pitch, key, 0.0f};
            if (w == "--pitch") {
                long semitones = 0;
                if (!parseInt(v, -48, 48, semitones)) return usageError("pitch must be -48..48 semitones: " + v);
                s = {Setting::Pitch, key, param::pitchToParameter(int32_t(semitones))};
            } else if (w == "--mode") {
                int32_t mode = 0;
                if (v == "gate")
                    mode = PlayModeGate;
                else if (v == "oneshot" || v == "one-shot")
                    mode = PlayModeOneShot;
                else if (v == "loop")
                    mode = PlayModeLoop;
                else
                    return usageError("play mode must be gate, oneshot or loop: " + v);
                s = {Setting::Mode, key, param::playModeToParameter(mode)};
            } else {
                float gain = 0.0f;
                if (v != "-inf") {
                    char* end = nullptr;
                    const double db = std::strtod(v.c_str(), &end);
                    if (v.empty() || *end != 0 || !std::isfinite(db))
                        return usageError("volume must be a gain in dB: " + v);
                    gain = float(std::pow(10.0, db / 20.0));
                    if (gain > 4.0f * 1.0001f) return usageError("volume above +12 dB (gain 4): " + v);
                }
                float p = param::volumeToParameter(gain);
                if (p > 1.0f) p = 1.0f;
                s = {Setting::Volume, key, p};
            }
            args.settings.push_back(s);
        } else if (w == "--reverse") {
            std::string text;
            int key = 0;
            if (!value(text) || !parseKey(text, key))
                return usageError("option --reverse takes a KEY 0..23 or a note F3..E5");
            args.settings.push_back({Setting::Reverse, key, param::reverseToParameter(true)});
        } else if (w.size() > 1 && w[0] == '-' && w != "-") {
            return usageError("unknown option " + w);
        } else if (args.command.empty()) {
            args.command = w;
        } else {
            args.items.push_back(words[i]);
        }
    }
    return kExitOk;
}

std::string seconds(double frames) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", frames / kFramesPerSecond);
    return text;
}

// The output name as the export will write it.
std::string exportName(const std::string& path) {
    char buffer[kPathBufferSize] = {};
    if (path.size() >= kPathBufferSize) return path;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    forceAifExtension(buffer, sizeof buffer);
    return buffer;
}

// "cannot write PATH", with the reason when it is a missing folder.
std::string cannotWrite(const std::string& path) {
    const std::filesystem::path folder = platform::pathFromUtf8(path).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec))
        return "cannot write " + path + ": no such folder: " + platform::utf8FromPath(folder);
    return "cannot write " + path;
}

// ---- inspect ----

std::string pitchText(int64_t v) {
    char text[32];
    // Any 64-bit value a file holds: no negation, and whole numbers printed
    // from the double (they may lie far outside the int range).
    double semitones = double(v) / 512.0;
    if (v < 0 && v % 512 == -256) semitones = double(v - 256) / 512.0;
    if (semitones == std::floor(semitones))
        std::snprintf(text, sizeof text, "%+.0f", semitones);
    else
        std::snprintf(text, sizeof text, "%+.2f", semitones);
    return text;
}

std::string modeText(int64_t v) {
    if (v == 8000) return "gate";
    if (v == 8192) return "oneshot";
    if (v == 16384) return "loop";
    return "(" + std::to_string(v) + ")";
}

std::string directionText(int64_t v) {
    if (v == 8192) return "forward";
    if (v == 16384) return "reverse";
    return "(" + std::to_string(v) + ")";
}

// Play mode and direction as the Field reads them: by ranges.
std::string fieldModeText(int64_t v) {
    switch (fieldPlayMode(v)) {
        case FieldPlayMode::Gate: return "gate";
        case FieldPlayMode::OneShot: return "oneshot";
        case FieldPlayMode::Loop: return "loop";
        case FieldPlayMode::Fourth:
        case FieldPlayMode::Outside: break;
    }
    return "(" + std::to_string(v) + ")";
}

std::string fieldDirectionText(int64_t v) { return fieldPlaysForward(v) ? "forward" : "reverse"; }

// 16384 is the centre; 0 and 32767 are full left and right.
std::string panText(int64_t v) {
    if (v == 16384) return "C";
    char text[32];
    if (v < 16384)
        std::snprintf(text, sizeof text, "L%.0f", double(16384 - v) * 100.0 / 16384.0);
    else
        std::snprintf(text, sizeof text, "R%.0f", double(v - 16384) * 100.0 / 16383.0);
    return text;
}

std::string volumeText(int64_t v) {
    if (v <= 0) return "-inf dB";
    // The kit file stores the volume parameter scaled by 16384.
    const double gain = param::volumeFromParameter(float(double(v) / 16384.0));
    char text[32];
    std::snprintf(text, sizeof text, "%+.1f dB", 20.0 * std::log10(gain));
    return text;
}

int inspect(const Arguments& args) {
    if (args.items.size() != 1) return usageError("inspect takes one kit file");
    const std::string& path = args.items[0];
    SkipReason reason;
    if (whyNotTaken(path, reason) && reason == SkipReason::Missing) return failure("no such file or folder: " + path);
    const KitFile f = readKitFile(path);
    if (f.hasCommon) {
        std::printf("%s: %s, %d channel%s, %d-bit%s, %.0f Hz, %u frames (%s s)\n", path.c_str(),
                    f.aifc ? "AIFC" : "AIFF", f.channels, f.channels == 1 ? "" : "s", f.bits,
                    f.aifc ? (" " + f.compression).c_str() : "", f.sampleRate, f.frames, seconds(f.frames).c_str());
    }
    const KitFileDescription& d = f.description;
    if (d.parsed) {
        const bool field = f.target == KitTarget::Op1Field;
        std::printf("target %s\n", kitTargetName(f.target));
        std::printf("drum_version %lld, name \"%s\", positions on a %s s scale\n",
                    static_cast<long long>(d.drumVersion), d.name.c_str(),
                    f.positionScaleFrames() > 529200.0 ? "20" : "12");
        // The Field's kits add a pan column after the volume.
        auto lastColumns = [field](std::string volume, const std::string& pan) {
            if (!field) return volume;
            if (volume.size() < 8) volume.resize(8, ' ');
            return volume + "  " + pan;
        };
        std::printf("%-3s  %-4s  %9s  %8s  %9s  %8s  %6s  %-8s  %-9s  %s\n", "key", "note", "start", "s", "end", "s",
                    "pitch", "mode", "direction", lastColumns("volume", "pan").c_str());
        const double scale = f.positionScaleFrames();
        for (int k = 0; k < kNumKeys; ++k) {
            const double start = positionToFrame(d.start[k], scale);
            const double end = positionToFrame(d.end[k], scale);
            const std::string mode =
                !d.hasPlaymode ? "-" : field ? fieldModeText(d.playmode[k])
                                             : modeText(d.playmode[k]);
            const std::string direction =
                !d.hasReverse ? "-" : field ? fieldDirectionText(d.reverse[k])
                                            : directionText(d.reverse[k]);
            const std::string pan = d.hasPan ? panText(d.pan[k]) : "-";
            std::printf("%3d  %-4s  %9.0f  %8s  %9.0f  %8s  %6s  %-8s  %-9s  %s\n", k, noteName(k).c_str(), start,
                        seconds(start).c_str(), end, seconds(end).c_str(),
                        d.hasPitch ? pitchText(d.pitch[k]).c_str() : "-", mode.c_str(), direction.c_str(),
                        lastColumns(d.hasVolume ? volumeText(d.volume[k]) : "-", pan).c_str());
        }
    }
    for (const std::string& w : f.warnings) std::fprintf(stderr, "%s: warning: %s\n", path.c_str(), w.c_str());
    for (const std::string& e : f.errors) std::fprintf(stderr, "%s: error: %s\n", path.c_str(), e.c_str());
    if (!f.valid()) {
        std::fprintf(stderr, "%s: not a valid Op-1 kit file\n", path.c_str());
        return kExitFailed;
    }
    std::printf("%s: valid Op-1 kit file\n", path.c_str());
    return kExitOk;
}

// ---- build and split ----

struct StoredNames {
    KeyNames names;
};

struct LoadedKit {
    std::unique_ptr<Kit> kit;
    std::unique_ptr<StoredNames> stored;
    int keysFilled = 0;
};

// Which keys the loader filled: a file that passes the acceptance test can
// still fail to decode, and its key then stays empty.
class LoadRecorder : public DropObserver {
public:
    void loadStarted() override {}
    void loadEnded() override {}
    void keyLoaded(int k) override { loaded |= keyBit(k); }
    void keyNamed(int) override {}
    KeyMask loaded = 0;
};

// What build and split need before loading: items, an output, no missing item.
int checkItems(const Arguments& args) {
    if (args.items.empty()) return usageError(args.command + " needs sound files or one folder");
    if (args.output.empty()) return usageError(args.command + " needs -o PATH");
    for (const std::string& item : args.items) {
        SkipReason reason;
        if (whyNotTaken(item, reason) && reason == SkipReason::Missing)
            return failure("no such file or folder: " + item);
    }
    return kExitOk;
}

void printKeyLine(const KeyAssignment& a, int32_t length, bool filled) {
    std::printf("key %2d  %-4s  %8s s  %s%s\n", a.key, noteName(a.key).c_str(), seconds(length).c_str(),
                a.path.c_str(), filled ? "" : "  (cannot be read: the key stays empty)");
}

int loadItems(const Arguments& args, LoadedKit& loaded) {
    if (const int r = checkItems(args); r != kExitOk) return r;
    try {
        loaded.kit.reset(new Kit);
        loaded.stored.reset(new StoredNames{});
    } catch (...) {
        return failure("out of memory");
    }
    // The same intake as a drop on key 0: folder listing, acceptance test, loader.
    const std::vector<KeyAssignment> plan = planDrop(args.items, 0);
    LoadRecorder recorder;
    if (!plan.empty()) {
        QuietStderr quiet(!args.verbose);
        applyDropPlan(*loaded.kit, loaded.stored->names, plan, &recorder);
    }
    for (const KeyAssignment& a : plan) {
        const int32_t n = loaded.kit->keyLength[a.key];
        const bool filled = (recorder.loaded & keyBit(a.key)) != 0;
        printKeyLine(a, n, filled);
        if (filled) ++loaded.keysFilled;
    }
    for (const SkippedItem& skipped : skippedItems(args.items, plan))
        std::printf("skipped %s: %s\n", skipped.path.c_str(), skipReasonText(skipped.reason));
    if (loaded.keysFilled == 0) return failure("none of the given items is a sound file that can be loaded");
    return kExitOk;
}

void applySettings(const Arguments& args, Kit& kit) {
    for (const Setting& s : args.settings) {
        switch (s.kind) {
            case Setting::Pitch: kit.keyPitch[s.key] = param::pitchFromParameter(s.parameter); break;
            case Setting::Mode: kit.keyPlayMode[s.key] = param::playModeFromParameter(s.parameter); break;
            case Setting::Reverse: kit.keyReverse[s.key] = param::reverseFromParameter(s.parameter); break;
            case Setting::Volume: kit.keyVolume[s.key] = param::volumeFromParameter(s.parameter); break;
            case Setting::Pan: break;  // the original kit has no pan
        }
    }
}

KitExportInput exportInput(const LoadedKit& loaded) {
    const char* names[kNumKeys];
    for (int k = 0; k < kNumKeys; ++k) names[k] = loaded.stored->names[k];
    return kitExportInput(*loaded.kit, names);
}

int build(const Arguments& args) {
    LoadedKit loaded;
    if (const int r = loadItems(args, loaded); r != kExitOk) return r;
    applySettings(args, *loaded.kit);
    const int64_t total = loaded.kit->totalFrames();
    if (total > kMaxKitFrames) {
        return failure("the kit is too long: its keys total " + seconds(double(total)) + " s (" +
                       count(long(total), "frame", "frames") + "), a kit holds at most " + seconds(kMaxKitFrames) +
                       " s (" + std::to_string(kMaxKitFrames) +
                       " frames); leave out some files, or use split: nothing written");
    }
    const KitExportInput in = exportInput(loaded);
    ExportResult result;
    {
        QuietStderr quiet(!args.verbose);
        result = exportKit(args.output.c_str(), in);
    }
    if (args.verbose) std::fprintf(stderr, "\n");
    switch (result) {
        case ExportResult::Written: break;
        case ExportResult::NothingToExport: return failure("no key holds audio: nothing written");
        case ExportResult::Refused: return failure("the output path is too long: nothing written");
        case ExportResult::Failed: return failure(cannotWrite(exportName(args.output)));
        case ExportResult::TooLong: return failure("the keys total more than 12 s: nothing written");
    }
    const KitLayout layout = kitLayout(in.length);
    std::printf("wrote %s: %s, %s (%s s)\n", exportName(args.output).c_str(),
                count(loaded.keysFilled, "key", "keys").c_str(), count(layout.totalFrames, "frame", "frames").c_str(),
                seconds(layout.totalFrames).c_str());
    return kExitOk;
}

// What split says of its per-key files, and its exit status.
int reportKeyFiles(ExportResult result, int written) {
    switch (result) {
        case ExportResult::Written: break;
        case ExportResult::NothingToExport: return failure("no key holds 2 frames or more: nothing written");
        case ExportResult::Refused: return failure("the output path is too long: nothing written");
        case ExportResult::Failed:
            return failure("only " + std::to_string(written) + " of the keys' files could be written");
        case ExportResult::TooLong: break;  // the per-key export has no total limit
    }
    std::printf("wrote %s\n", count(written, "file", "files").c_str());
    return kExitOk;
}

int split(const Arguments& args) {
    if (!args.settings.empty()) return usageError("split writes the audio only; settings belong to build");
    LoadedKit loaded;
    if (const int r = loadItems(args, loaded); r != kExitOk) return r;
    const KitExportInput in = exportInput(loaded);
    int written = 0;
    ExportResult result;
    {
        QuietStderr quiet(!args.verbose);
        result = exportIndividualFiles(args.output.c_str(), in, &written);
    }
    return reportKeyFiles(result, written);
}

// A kit file given alone: its keys as the window opens them, one file each.
int splitKit(const Arguments& args) {
    if (args.output.empty()) return usageError("split needs -o PATH");
    const std::string& path = args.items[0];
    OpenedKit opened;
    {
        QuietStderr quiet(!args.verbose);
        opened = openKitFile(path);
    }
    if (!opened.opened) return failure("kit " + path + " not opened: " + opened.error);
    if (opened.keysCut > 0)
        std::fprintf(stderr, "rimbrel-kit: %s: positions of %s reach past the audio, cut to it\n", path.c_str(),
                     count(opened.keysCut, "key", "keys").c_str());
    LoadedKit loaded;
    try {
        loaded.kit.reset(new Kit);
        loaded.stored.reset(new StoredNames{});
    } catch (...) {
        return failure("out of memory");
    }
    putOpenedKit(*loaded.kit, loaded.stored->names, opened, nullptr);
    const KitTarget target = args.targetGiven ? args.target : opened.target;
    std::printf("kit %s: %s, %s\n", path.c_str(), count(opened.keysWithAudio, "key", "keys").c_str(),
                kitTargetName(opened.target));
    for (int k = 0; k < kNumKeys; ++k)
        if (loaded.kit->keyLength[k] > 0)
            std::printf("key %2d  %-4s  %8s s  %s\n", k, noteName(k).c_str(),
                        seconds(targetKeyLength(loaded.kit->keyLength[k], target)).c_str(), loaded.stored->names[k]);
    const char* names[kNumKeys];
    for (int k = 0; k < kNumKeys; ++k) names[k] = loaded.stored->names[k];
    int written = 0;
    ExportResult result;
    {
        QuietStderr quiet(!args.verbose);
        result = target == KitTarget::Op1Field
                     ? exportFieldIndividualFiles(args.output.c_str(), fieldKitInput(*loaded.kit, names), &written)
                     : exportIndividualFiles(args.output.c_str(), kitExportInput(*loaded.kit, names), &written);
    }
    return reportKeyFiles(result, written);
}

// ---- the Field's kits: stereo keys of up to 20 s ----

struct FieldKit {
    DecodedKeyAudio audio[kNumKeys];
    std::string names[kNumKeys];
    int keysFilled = 0;
};

// The intake of a drop on key 0, with each file decoded by the loader with
// its channels kept and the Field's 20-second cut.
int loadFieldItems(const Arguments& args, FieldKit& kit) {
    if (const int r = checkItems(args); r != kExitOk) return r;
    const std::vector<KeyAssignment> plan = planDrop(args.items, 0);
    for (const KeyAssignment& a : plan) {
        LoadReport report;
        {
            QuietStderr quiet(!args.verbose);
            report = decodeKeyAudio(a.path.c_str(), kFieldMaxKeyFrames, kit.audio[a.key]);
        }
        printKeyLine(a, report.loaded ? kit.audio[a.key].length : 0, report.loaded);
        if (!report.loaded) continue;
        kit.names[a.key] = a.path;
        ++kit.keysFilled;
    }
    for (const SkippedItem& skipped : skippedItems(args.items, plan))
        std::printf("skipped %s: %s\n", skipped.path.c_str(), skipReasonText(skipped.reason));
    if (kit.keysFilled == 0) return failure("none of the given items is a sound file that can be loaded");
    return kExitOk;
}

// The settings pass through the effect's parameter values both ways, as
// they do for the original kit.
FieldKitInput fieldInput(const Arguments& args, const FieldKit& kit) {
    FieldKitInput in;
    for (int k = 0; k < kNumKeys; ++k) {
        const DecodedKeyAudio& audio = kit.audio[k];
        if (audio.channels < 1) continue;
        in.audio[k].channel[0] = audio.channel[0].data();
        in.audio[k].channel[1] = audio.channels == 2 ? audio.channel[1].data() : nullptr;
        in.audio[k].length = audio.length;
        in.keyName[k] = kit.names[k].c_str();
    }
    for (const Setting& s : args.settings) {
        switch (s.kind) {
            case Setting::Pitch: in.pitch[s.key] = param::pitchToParameter(param::pitchFromParameter(s.parameter)); break;
            case Setting::Mode:
                in.playMode[s.key] = param::playModeToParameter(param::playModeFromParameter(s.parameter));
                break;
            case Setting::Reverse:
                in.reverse[s.key] = param::reverseToParameter(param::reverseFromParameter(s.parameter));
                break;
            case Setting::Volume:
                in.volume[s.key] = param::volumeToParameter(param::volumeFromParameter(s.parameter));
                break;
            case Setting::Pan: in.pan[s.key] = s.parameter; break;
        }
    }
    return in;
}

int buildField(const Arguments& args) {
    FieldKit kit;
    if (const int r = loadFieldItems(args, kit); r != kExitOk) return r;
    int32_t lengths[kNumKeys];
    int64_t total = 0;
    for (int k = 0; k < kNumKeys; ++k) {
        lengths[k] = kit.audio[k].channels > 0 ? kit.audio[k].length : 0;
        total += lengths[k];
    }
    if (total > kFieldMaxKitFrames) {
        return failure("the kit is too long: its keys total " + seconds(double(total)) + " s (" +
                       count(long(total), "frame", "frames") + "), an OP-1 Field kit holds at most " +
                       seconds(kFieldMaxKitFrames) + " s (" + std::to_string(kFieldMaxKitFrames) +
                       " frames); leave out some files, or use split: nothing written");
    }
    const FieldKitInput in = fieldInput(args, kit);
    ExportResult result;
    {
        QuietStderr quiet(!args.verbose);
        result = exportFieldKit(args.output.c_str(), in);
    }
    switch (result) {
        case ExportResult::Written: break;
        case ExportResult::NothingToExport: return failure("no key holds audio: nothing written");
        case ExportResult::Refused: return failure("the output path is too long: nothing written");
        case ExportResult::Failed: return failure(cannotWrite(exportName(args.output)));
        case ExportResult::TooLong: return failure("the keys total more than 20 s: nothing written");
    }
    const KitLayout layout = kitLayout(lengths, kFieldMaxKeyFrames);
    std::printf("wrote %s: %s, %s (%s s), OP-1 Field\n", exportName(args.output).c_str(),
                count(kit.keysFilled, "key", "keys").c_str(), count(layout.totalFrames, "frame", "frames").c_str(),
                seconds(layout.totalFrames).c_str());
    return kExitOk;
}

int splitField(const Arguments& args) {
    FieldKit kit;
    if (const int r = loadFieldItems(args, kit); r != kExitOk) return r;
    const FieldKitInput in = fieldInput(args, kit);
    int written = 0;
    ExportResult result;
    {
        QuietStderr quiet(!args.verbose);
        result = exportFieldIndividualFiles(args.output.c_str(), in, &written);
    }
    return reportKeyFiles(result, written);
}

}  // namespace

int runKitTool(int argc, const char* const* argv) {
    try {
        Arguments args;
        if (const int r = parseArguments(argc, argv, args); r != kExitOk) return r;
        if (args.help) {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        if (args.version) {
            std::printf("rimbrel-kit %s\n", RIMBREL_VERSION);
            return kExitOk;
        }
        if (args.command.empty()) return usageError("no command given");
        if (args.command == "inspect") {
            if (!args.output.empty() || !args.settings.empty() || args.targetGiven)
                return usageError("inspect takes no options");
            return inspect(args);
        }
        const bool field = args.target == KitTarget::Op1Field;
        if (args.command == "build") {
            for (const Setting& s : args.settings)
                if (s.kind == Setting::Pan && !field)
                    return usageError("the OP-1's kit has no pan: --pan needs --target field");
            return field ? buildField(args) : build(args);
        }
        if (args.command == "split") {
            if (!args.settings.empty()) return usageError("split writes the audio only; settings belong to build");
            if (args.items.size() == 1 && isKitFile(args.items[0])) return splitKit(args);
            return field ? splitField(args) : split(args);
        }
        return usageError("unknown command '" + args.command + "'");
    } catch (const std::exception& e) {
        return failure(e.what());
    } catch (...) {
        return failure("unexpected failure");
    }
}

}  // namespace rimbrel
