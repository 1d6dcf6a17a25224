#include "platform/win32/GdiplusSession.h"

#include <windows.h>

#include <gdiplus.h>

#include <memory>
#include <mutex>

#include "resources/Resources.h"

namespace rimbrel::gui::win32 {

namespace {

struct Session {
    std::mutex lock;
    int uses = 0;
    bool started = false;
    ULONG_PTR token = 0;
    std::unique_ptr<Gdiplus::PrivateFontCollection> fonts;
    std::unique_ptr<Gdiplus::FontFamily> family;
    bool fontTried = false;
};

Session& session() {
    static Session s;
    return s;
}

}  // namespace

GdiplusUse::GdiplusUse() {
    Session& s = session();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.uses++ == 0) {
        Gdiplus::GdiplusStartupInput input;
        s.started = Gdiplus::GdiplusStartup(&s.token, &input, nullptr) == Gdiplus::Ok;
    }
}

GdiplusUse::~GdiplusUse() {
    Session& s = session();
    std::lock_guard<std::mutex> guard(s.lock);
    if (--s.uses > 0)
        return;
    // Everything made with GDI+ goes before it shuts down.
    s.family.reset();
    s.fonts.reset();
    s.fontTried = false;
    if (s.started)
        Gdiplus::GdiplusShutdown(s.token);
    s.started = false;
}

bool GdiplusUse::running() const {
    Session& s = session();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.started;
}

const Gdiplus::FontFamily* bundledTextFamily() {
    Session& s = session();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.started)
        return nullptr;
    if (!s.fontTried) {
        s.fontTried = true;
        const ResourceData face = findResource(kResourceTextFace);
        auto fonts = std::make_unique<Gdiplus::PrivateFontCollection>();
        if (face.bytes && fonts->AddMemoryFont(face.bytes, static_cast<INT>(face.size)) == Gdiplus::Ok &&
            fonts->GetFamilyCount() > 0) {
            auto family = std::make_unique<Gdiplus::FontFamily>();
            INT found = 0;
            if (fonts->GetFamilies(1, family.get(), &found) == Gdiplus::Ok && found == 1) {
                s.fonts = std::move(fonts);
                s.family = std::move(family);
            }
        }
    }
    return s.family.get();
}

int gdiplusUseCount() {
    Session& s = session();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.uses;
}

}  // namespace rimbrel::gui::win32
