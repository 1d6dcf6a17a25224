#include "platform/x11/X11Connection.h"  // the toolkit first, then Xlib and HostProperties.h

#include "platform/x11/XdndTarget.h"  // readWholeProperty

namespace rimbrel::gui::x11 {

namespace {
// The first 32-bit item of a property, or false when there is none.
bool firstItem(Display* dpy, Window window, Atom property, long& value) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    const bool found = XGetWindowProperty(dpy, window, property, 0, 1, False, AnyPropertyType, &type, &format,
                                          &items, &after, &data) == Success &&
                       type != None && format == 32 && items >= 1 && data;
    if (found)
        value = *reinterpret_cast<long*>(data);
    if (data)
        XFree(data);
    return found;
}
}  // namespace

void HostProperties::set(Window window, Atom property, Atom type, long value) {
    const Key key{window, property};
    auto it = changes.find(key);
    if (it == changes.end() || it->second.hostChanged) {
        Before before;
        before.existed = readWholeProperty(dpy, window, property, false, before.bytes, before.type, before.format);
        it = changes.insert_or_assign(key, std::move(before)).first;
    }
    it->second.written = value;
    XChangeProperty(dpy, window, property, type, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&value), 1);
    expectEcho(key);
}

void HostProperties::restore(Window window, Atom property) {
    const Key key{window, property};
    auto it = changes.find(key);
    if (it == changes.end())
        return;
    const Before before = std::move(it->second);
    changes.erase(it);
    long now = 0;
    // Only what is still ours is put back: the host may have changed it
    // since, even to the very value we wrote.
    if (before.hostChanged || !firstItem(dpy, window, property, now) || now != before.written)
        return;
    if (!before.existed) {
        XDeleteProperty(dpy, window, property);
    } else {
        const int unit = before.format == 32 ? static_cast<int>(sizeof(long)) : before.format / 8;
        const int items = unit > 0 ? static_cast<int>(before.bytes.size()) / unit : 0;
        XChangeProperty(dpy, window, property, before.type, before.format, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(before.bytes.data()), items);
    }
    expectEcho(key);
}

bool HostProperties::hostHas(Window window, Atom property) {
    const auto it = changes.find(Key{window, property});
    if (it != changes.end() && !it->second.hostChanged)
        return it->second.existed;
    long value = 0;
    return firstItem(dpy, window, property, value);
}

bool HostProperties::changed(Window window, Atom property) const {
    const auto it = changes.find(Key{window, property});
    return it != changes.end() && !it->second.hostChanged;
}

void HostProperties::notice(const XPropertyEvent& event) {
    const Key key{event.window, event.atom};
    if (auto echo = echoes.find(key); echo != echoes.end()) {
        if (--echo->second == 0)
            echoes.erase(echo);
        return;
    }
    if (auto it = changes.find(key); it != changes.end())
        it->second.hostChanged = true;
}

void HostProperties::forget(Window window) {
    for (auto it = changes.begin(); it != changes.end();)
        it = it->first.first == window ? changes.erase(it) : std::next(it);
    for (auto it = echoes.begin(); it != echoes.end();)
        it = it->first.first == window ? echoes.erase(it) : std::next(it);
}

}  // namespace rimbrel::gui::x11
