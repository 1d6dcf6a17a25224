// The tag that begins the program's diagnostic lines on stderr.
#pragma once

namespace rimbrel {

constexpr const char* kLogTag = "Rimbrel-VST";

}  // namespace rimbrel
