#include "kit/SoundFileNames.h"

#include <cstddef>

namespace rimbrel {

namespace {

// The extensions of the formats the loader reads, and of the common ones it
// may meet in a sample folder. Lower case.
constexpr const char* kSoundFileExtensions[] = {
    "wav",
    "wave",
    "bwf",
    "rf64",
    "w64",
    "aif",
    "aiff",
    "aifc",
    "flac",
    "ogg",
    "oga",
    "opus",
    "mp3",
    "mp2",
    "caf",
    "au",
    "snd",
    "sd2",
    "voc",
    "paf",
    "svx",
    "8svx",
    "iff",
    "nist",
    "sph",
    "ircam",
    "sf",
    "avr",
    "htk",
    "xi",
    "mat",
    "mat4",
    "mat5",
    "pvf",
    "wve",
    "mpc",
    "m4a",
    "aac",
    "wma",
    "alac",
    "ape",
    "wv",
};

bool equalsFolded(const std::string& text, std::size_t from, const char* lower) {
    std::size_t i = from;
    for (; *lower != '\0'; ++lower, ++i) {
        if (i >= text.size()) return false;
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = char(c + ('a' - 'A'));
        if (c != *lower) return false;
    }
    return i == text.size();
}

// The position of the extension's dot, or npos.
std::size_t soundExtensionDot(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return dot;
    for (const char* extension : kSoundFileExtensions)
        if (equalsFolded(name, dot + 1, extension)) return dot;
    return std::string::npos;
}

}  // namespace

bool hasSoundFileExtension(const std::string& name) { return soundExtensionDot(name) != std::string::npos; }

std::string withoutSoundFileExtension(const std::string& name) {
    const std::size_t dot = soundExtensionDot(name);
    return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace rimbrel
