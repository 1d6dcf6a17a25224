#include "resources/Resources.h"

#include "resources/EmbeddedResources.h"

namespace rimbrel {

ResourceData findResource(int id) {
    for (int i = 0; i < kEmbeddedResourceCount; ++i)
        if (kEmbeddedResources[i].id == id) return {kEmbeddedResources[i].bytes, kEmbeddedResources[i].size};
    return {};
}

}  // namespace rimbrel
