// The plug-in's built-in PNG bitmaps (and, on Windows, its text face),
// looked up by resource id.
#pragma once

#include <cstddef>

namespace rimbrel {

constexpr int kResourceBackground = 128;
constexpr int kResourceExportButton = 129;
constexpr int kResourceDropButton = 130;
constexpr int kResourceModeSwitch = 131;
constexpr int kResourceExportFieldButton = 133;  // the export button in the OP-1 Field target
constexpr int kResourceTargetSwitch = 134;
// The text face Windows draws with (Liberation Sans Regular, a TTF), built in
// only there: Linux finds it through fontconfig.
constexpr int kResourceTextFace = 200;

struct ResourceData {
    const unsigned char* bytes = nullptr;
    std::size_t size = 0;
};

// The bytes of resource `id`, or an empty ResourceData for an unknown id.
ResourceData findResource(int id);

}  // namespace rimbrel
