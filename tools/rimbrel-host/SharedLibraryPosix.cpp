#include "tools/rimbrel-host/SharedLibrary.h"

#include <dlfcn.h>

namespace rimbrel::host {

void* openSharedLibrary(const std::string& path, std::string& error) {
    // A path without a slash would make dlopen search the library path.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        error = why ? why : "cannot load " + path;
    }
    return handle;
}

void* findSymbol(void* library, const char* name) { return dlsym(library, name); }

void closeSharedLibrary(void* library) { dlclose(library); }

}  // namespace rimbrel::host
