// Paths and texts are UTF-8 inside the program and UTF-16 at every Windows
// call: the one pair of conversions between them.
#pragma once

#include <string>

namespace rimbrel::win32 {

// Invalid UTF-8 becomes U+FFFD; an empty string for an empty input.
std::wstring widen(const std::string& utf8);
// Unpaired surrogates become U+FFFD.
std::string narrow(const std::wstring& utf16);
std::string narrow(const wchar_t* utf16);

}  // namespace rimbrel::win32
