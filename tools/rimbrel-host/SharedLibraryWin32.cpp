#include "tools/rimbrel-host/SharedLibrary.h"
#include "platform/win32/WideText.h"

#include <windows.h>

namespace rimbrel::host {

void* openSharedLibrary(const std::string& path, std::string& error) {
    // The plug-in's own folder is searched for the DLLs it imports, as hosts
    // do; that search needs the full path.
    const std::wstring given = win32::widen(path);
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(given.c_str(), DWORD(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length);
        length = GetFullPathNameW(given.c_str(), DWORD(full.size()), full.data(), nullptr);
    }
    full.resize(length < full.size() ? length : 0);
    HMODULE module = full.empty() ? nullptr
                                  : LoadLibraryExW(full.c_str(), nullptr,
                                                   LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (!module) error = path + ": cannot load (Windows error " + std::to_string(GetLastError()) + ")";
    return module;
}

void* findSymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeSharedLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace rimbrel::host
