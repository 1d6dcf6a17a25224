// The items of a drag in progress: dropped file paths, texts, or items a
// platform could not convert.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gui/Base.h"

namespace rimbrel::gui {

class CDragContainer : public CBaseObject {
public:
    // Item types. Negative codes mean the item is not usable.
    enum Type : int32_t {
        kFile = 0,     // data: a local file path, UTF-8, NUL-terminated
        kText = 1,     // data: UTF-8 text, NUL-terminated
        kUnknown = -1,
        kError = -2,
    };

    // Number of items; a platform may report a negative count for a broken drag.
    virtual int32_t getCount() = 0;
    // The first item (restarts the walk), or nullptr when there is none (type
    // kError then). `size` counts the data bytes including the closing NUL.
    virtual const void* first(int32_t& size, int32_t& type) = 0;
    // The item after the previous one, or nullptr after the last (type kError).
    virtual const void* next(int32_t& size, int32_t& type) = 0;
};

// A drag container over a list of items held in memory: what platforms build
// from the data they receive, and what tests hand to the frame.
class CItemDragContainer : public CDragContainer {
public:
    struct Item {
        int32_t type = kFile;
        std::string data;
    };

    CItemDragContainer() = default;
    explicit CItemDragContainer(std::vector<Item> items);
    // Every path becomes a kFile item.
    static CItemDragContainer* fromPaths(const std::vector<std::string>& paths);

    void addItem(int32_t type, std::string data);
    void addFile(std::string path) { addItem(kFile, std::move(path)); }

    int32_t getCount() override { return static_cast<int32_t>(items.size()); }
    const void* first(int32_t& size, int32_t& type) override;
    const void* next(int32_t& size, int32_t& type) override;

    const std::vector<Item>& getItems() const { return items; }

private:
    const void* itemAt(std::size_t index, int32_t& size, int32_t& type);

    std::vector<Item> items;
    std::size_t cursor = 0;
};

}  // namespace rimbrel::gui
