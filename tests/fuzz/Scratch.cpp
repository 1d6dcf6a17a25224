#include "tests/fuzz/FuzzChecks.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace rimbrel::fuzz {

namespace {

std::string makeScratch() {
    std::error_code ec;
    std::filesystem::path base = "/dev/shm";
    if (!std::filesystem::is_directory(base, ec)) base = std::filesystem::temp_directory_path(ec);
    std::string tmpl = (base / ("rimbrel-fuzz-" + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
    return tmpl;
}

std::string* gScratch = nullptr;

void removeScratch() {
    if (!gScratch) return;
    std::error_code ec;
    std::filesystem::remove_all(*gScratch, ec);
}

}  // namespace

const std::string& scratchFolder() {
    if (!gScratch) {
        gScratch = new std::string(makeScratch());
        std::atexit(removeScratch);
    }
    return *gScratch;
}

}  // namespace rimbrel::fuzz

// libvorbis, called by libsndfile, leaks its stream description when an Ogg
// file breaks off inside its headers; that leak is the library's, not one of
// the loader's, and must not stop a leak-checked run.
extern "C" const char* __lsan_default_suppressions() { return "leak:libvorbis.so\n"; }
