// The drag data the toolkit builds: a list of items held in memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gui/Base.h"
#include "platform/DragData.h"

namespace rimbrel::gui {

// A drag container over a list of items held in memory: what platforms build
// from the data they receive, and what tests hand to the frame. Reference
// counted like every toolkit object: forget() releases it.
class CItemDragContainer : public CBaseObject, public CDragContainer {
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
