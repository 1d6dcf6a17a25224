#include "platform/x11/X11Platform.h"

#include <cstdint>
#include <memory>

#include "platform/Windows.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Frame.h"

namespace rimbrel::gui::x11 {

namespace {
IPlatformFrame* makeFrame(IPlatformFrameCallback* callback, const CRect& size, void* systemWindow) {
    const auto parent = static_cast<Window>(reinterpret_cast<uintptr_t>(systemWindow));
    if (parent == None)
        return nullptr;
    Connection& connection = Connection::get();
    std::lock_guard<std::recursive_mutex> guard(connection.mutex());
    if (!connection.open())
        return nullptr;
    auto frame = std::make_unique<X11Frame>(connection, callback, size, parent);
    if (!frame->valid())
        return nullptr;
    return frame.release();
}
}  // namespace

void install() {
    setPlatformFrameFactory(makeFrame);
    setPlatformPump(pump);
}

void pump() {
    Connection::get().pump();
}

bool connected() {
    return Connection::get().display() != nullptr;
}

void* display() {
    return Connection::get().display();
}

unsigned long frameWindow(const IPlatformFrame* frame) {
    Connection& connection = Connection::get();
    std::lock_guard<std::recursive_mutex> guard(connection.mutex());
    for (X11Frame* f : connection.frames())
        if (f == frame)
            return f->getWindow();
    return 0;
}

int frameCount() {
    Connection& connection = Connection::get();
    std::lock_guard<std::recursive_mutex> guard(connection.mutex());
    return static_cast<int>(connection.frames().size());
}

}  // namespace rimbrel::gui::x11
