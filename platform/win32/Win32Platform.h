// The Windows platform of the toolkit: frames become child windows of the
// HWND the host hands to effEditOpen, drawn with GDI+.
//
// Use: call install() once before building a frame (the editor does it when
// its window opens; calling it again does nothing more). The pump fires the
// toolkit's due timers; the host's idle call runs it, and so does a timer on
// every frame's window, so the window lives whether or not the host idles.
// Window messages themselves arrive through the host's message loop.
//
// Threads: everything here belongs to the UI thread, the one that makes the
// editor calls and runs the host's message loop.
#pragma once

#include <windows.h>

namespace rimbrel::gui {
class IPlatformFrame;
}

namespace rimbrel::gui::win32 {

class Win32Frame;

// Installs the Windows frame factory and the pump for this process.
void install();

// Fires due timers; not re-entered (a dialog's own message loop may call it
// from within).
void pump();

// Number of frames made by this platform that still exist.
int frameCount();
// The window of a frame made by this platform (nullptr for any other).
HWND frameWindow(const IPlatformFrame* frame);

// --- for the frames ---
// The module the frame code lives in (the plug-in DLL, or the program).
HINSTANCE frameModule();
// The frames' window class, registered with the first frame of this module
// and unregistered when its last frame goes; 0 when it cannot be.
ATOM registerFrameClass();
void frameOpened(Win32Frame* frame);
void frameClosed(Win32Frame* frame);

}  // namespace rimbrel::gui::win32
