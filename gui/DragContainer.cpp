#include "gui/DragContainer.h"

namespace rimbrel::gui {

CItemDragContainer::CItemDragContainer(std::vector<Item> list) : items(std::move(list)) {}

CItemDragContainer* CItemDragContainer::fromPaths(const std::vector<std::string>& paths) {
    auto* drag = new CItemDragContainer;
    for (const auto& p : paths)
        drag->addFile(p);
    return drag;
}

void CItemDragContainer::addItem(int32_t type, std::string data) {
    items.push_back(Item{type, std::move(data)});
}

const void* CItemDragContainer::itemAt(std::size_t index, int32_t& size, int32_t& type) {
    if (index >= items.size()) {
        size = 0;
        type = kError;
        return nullptr;
    }
    const Item& item = items[index];
    size = static_cast<int32_t>(item.data.size() + 1);
    type = item.type;
    return item.data.c_str();
}

const void* CItemDragContainer::first(int32_t& size, int32_t& type) {
    cursor = 0;
    const void* data = itemAt(cursor, size, type);
    if (data)
        ++cursor;
    return data;
}

const void* CItemDragContainer::next(int32_t& size, int32_t& type) {
    const void* data = itemAt(cursor, size, type);
    if (data)
        ++cursor;
    return data;
}

}  // namespace rimbrel::gui
