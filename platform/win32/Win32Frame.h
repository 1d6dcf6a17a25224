// The platform of one frame on Windows: a child window of the host's
// window, painted through an offscreen bitmap (so repaints never flicker),
// with the mouse captured while a button is held, OLE drops, cursors and
// the dialogs. A timer on the window runs the platform's pump, so the
// toolkit's timers fire whether or not the host sends idle calls.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/Windows.h"
#include "platform/win32/GdiplusSession.h"

namespace rimbrel::gui::win32 {

class OleDropTarget;
class Win32Dialogs;

class Win32Frame : public IPlatformFrame {
public:
    // Makes the window inside `parent`; valid() tells whether that worked.
    Win32Frame(IPlatformFrameCallback* frame, const CRect& size, HWND parent);
    ~Win32Frame() override;
    Win32Frame(const Win32Frame&) = delete;
    Win32Frame& operator=(const Win32Frame&) = delete;

    bool valid() const { return window != nullptr; }
    HWND getWindow() const { return window; }

    // --- IPlatformFrame ---
    void invalidRect(const CRect& rect) override;
    void updateNow() override;
    void setMouseCursor(CCursorType type) override;
    uint64_t getTicks() override;
    void showMessageBox(const std::string& caption, const std::string& text) override;
    bool runFileSelector(const FileSelectorRequest& request, FileSelectorDone done) override;
    bool askQuestion(const std::string& caption, const std::string& text, QuestionDone done) override;

    // The window class's procedure.
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void paint();
    void mouseButton(UINT message, WPARAM wParam, LPARAM lParam);
    void windowGoing();

    GdiplusUse gdiplus;
    IPlatformFrameCallback* frame;
    CRect size;
    HWND window = nullptr;
    HDC backingDc = nullptr;  // an offscreen copy of the window's pixels
    HBITMAP backing = nullptr;
    HGDIOBJ backingOld = nullptr;
    HCURSOR cursor = nullptr;
    bool trackingLeave = false;
    bool oleStarted = false;
    OleDropTarget* dropTarget = nullptr;  // registered while the window lives
    std::unique_ptr<Win32Dialogs> dialogs;
};

}  // namespace rimbrel::gui::win32
