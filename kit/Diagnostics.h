// Diagnostic lines go to the standard error stream, most of them beginning
// with "[" kLogTag "] ".
#pragma once

namespace rimbrel {

inline constexpr const char* kLogTag = "Rimbrel-VST";

}  // namespace rimbrel
