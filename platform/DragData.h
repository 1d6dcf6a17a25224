// The items of a drag in progress, as a platform hands them to a frame:
// dropped file paths, texts, or items the platform could not convert.
#pragma once

#include <cstdint>

namespace rimbrel::gui {

class CDragContainer {
public:
    // Item types. Negative codes mean the item is not usable.
    enum Type : int32_t {
        kFile = 0,  // data: a local file path, UTF-8, NUL-terminated
        kText = 1,  // data: UTF-8 text, NUL-terminated
        kUnknown = -1,
        kError = -2,
    };

    virtual ~CDragContainer() = default;

    // Number of items; a platform may report a negative count for a broken drag.
    virtual int32_t getCount() = 0;
    // The first item (restarts the walk), or nullptr when there is none (type
    // kError then). `size` counts the data bytes including the closing NUL.
    virtual const void* first(int32_t& size, int32_t& type) = 0;
    // The item after the previous one, or nullptr after the last (type kError).
    virtual const void* next(int32_t& size, int32_t& type) = 0;
};

}  // namespace rimbrel::gui
