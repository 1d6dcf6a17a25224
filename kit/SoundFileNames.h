// How a key's file name is shown: without the extension of a sound file.
#pragma once

#include <string>

namespace rimbrel {

// True when name ends in a dot and an extension sound files carry (.wav,
// .aif, .aiff, .flac, .ogg, .opus, .mp3, .caf, .w64, .au ...), in any case.
bool hasSoundFileExtension(const std::string& name);

// name without such an extension (and its dot); any other name unchanged.
std::string withoutSoundFileExtension(const std::string& name);

}  // namespace rimbrel
