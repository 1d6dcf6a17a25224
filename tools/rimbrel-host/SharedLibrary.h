// Loading a plug-in's shared object and finding its entry points: dlopen on
// Linux, LoadLibraryW on Windows.
#pragma once

#include <string>

namespace rimbrel::host {

// Loads the library at path (UTF-8); null with error set when it cannot.
void* openSharedLibrary(const std::string& path, std::string& error);
// The address of an exported symbol, or null.
void* findSymbol(void* library, const char* name);
void closeSharedLibrary(void* library);

}  // namespace rimbrel::host
