#include "platform/win32/Win32Platform.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "gui/Timer.h"
#include "platform/Windows.h"
#include "platform/win32/Win32Frame.h"

namespace rimbrel::gui::win32 {

namespace {

std::vector<Win32Frame*>& frames() {
    static std::vector<Win32Frame*> list;
    return list;
}

ATOM frameClass = 0;
bool pumping = false;

IPlatformFrame* makeFrame(IPlatformFrameCallback* callback, const CRect& size, void* systemWindow) {
    auto parent = static_cast<HWND>(systemWindow);
    if (!parent)
        return nullptr;
    auto frame = std::make_unique<Win32Frame>(callback, size, parent);
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
    if (pumping)
        return;
    pumping = true;
    CTimerService::fireDue();
    pumping = false;
}

int frameCount() {
    return static_cast<int>(frames().size());
}

HWND frameWindow(const IPlatformFrame* frame) {
    for (Win32Frame* f : frames())
        if (f == frame)
            return f->getWindow();
    return nullptr;
}

HINSTANCE frameModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&frameModule), &module);
    return module;
}

ATOM registerFrameClass() {
    if (frameClass)
        return frameClass;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = Win32Frame::windowProc;
    wc.hInstance = frameModule();
    wc.hCursor = nullptr;  // the frame sets its own
    // One class name per loaded copy of the code: two plug-in DLLs of
    // different versions in one host must not share a procedure.
    wchar_t name[64];
    wsprintfW(name, L"RimbrelFrame%p", static_cast<void*>(wc.hInstance));
    wc.lpszClassName = name;
    frameClass = RegisterClassExW(&wc);
    return frameClass;
}

void frameOpened(Win32Frame* frame) {
    frames().push_back(frame);
}

void frameClosed(Win32Frame* frame) {
    auto& list = frames();
    list.erase(std::remove(list.begin(), list.end(), frame), list.end());
    // The class goes with the last frame, so the module can be unloaded.
    if (list.empty() && frameClass) {
        UnregisterClassW(MAKEINTATOM(frameClass), frameModule());
        frameClass = 0;
    }
}

}  // namespace rimbrel::gui::win32
