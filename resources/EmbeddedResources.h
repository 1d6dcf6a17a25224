// The table of PNG files built into the plug-in, generated at build time from
// the files in resources/png/ (see embed_pngs.cmake).
#pragma once

#include <cstddef>

namespace rimbrel {

struct EmbeddedResource {
    int id;
    const unsigned char* bytes;
    std::size_t size;
};

extern const EmbeddedResource kEmbeddedResources[];
extern const int kEmbeddedResourceCount;

}  // namespace rimbrel
