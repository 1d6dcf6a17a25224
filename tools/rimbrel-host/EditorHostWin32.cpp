// `rimbrel-host editor` on Windows: the plug-in's editor in a top-level
// window of its own, as a DAW shows it.
//
// The main thread is the UI thread: it makes the window, opens the editor in
// it (effEditOpen: ptr = the HWND), sizes the window to the editor's
// rectangle, runs the message loop and calls effEditIdle every 20 ms. The
// audio thread processes blocks at the real-time rate (RealtimeAudio). The
// run ends after --seconds or when the window is closed. Clicks are posted
// to the plug-in's window; drops come from a file manager (Explorer, or an
// X11 one under Wine): --drop is not available here.
#include <windows.h>

#include <gdiplus.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "platform/win32/WideText.h"
#include "tools/rimbrel-host/EditorHost.h"
#include "tools/rimbrel-host/PluginLoader.h"
#include "tools/rimbrel-host/RealtimeAudio.h"
#include "tools/rimbrel-host/StateFile.h"

namespace rimbrel::host {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kIdleMs = 20;
constexpr int kActionSpacingMs = 200;
constexpr wchar_t kWindowClass[] = L"RimbrelHostWindow";

std::atomic<bool> closeRequested{false};

int msSince(Clock::time_point t) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

LRESULT CALLBACK topWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        closeRequested = true;  // the session closes the editor first
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

BOOL WINAPI consoleStop(DWORD) {
    closeRequested = true;
    return TRUE;
}

bool pngEncoder(CLSID& clsid) {
    UINT count = 0, bytes = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0)
        return false;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[bytes]);
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.get());
    if (Gdiplus::GetImageEncoders(count, bytes, encoders) != Gdiplus::Ok)
        return false;
    for (UINT i = 0; i < count; ++i)
        if (std::wstring(encoders[i].MimeType) == L"image/png") {
            clsid = encoders[i].Clsid;
            return true;
        }
    return false;
}

// The window's client area as the screen shows it (the plug-in's child
// window included), written as PNG.
bool writeScreenshot(HWND window, const std::string& path, std::string& error) {
    RECT client{};
    GetClientRect(window, &client);
    const int width = client.right, height = client.bottom;
    HDC dc = GetDC(window);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP pixels = CreateCompatibleBitmap(dc, width, height);
    HGDIOBJ old = SelectObject(memory, pixels);
    BitBlt(memory, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(window, dc);

    bool ok = false;
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
        CLSID png{};
        {
            Gdiplus::Bitmap bitmap(pixels, nullptr);
            ok = pngEncoder(png) && bitmap.Save(win32::widen(path).c_str(), &png, nullptr) == Gdiplus::Ok;
        }
        Gdiplus::GdiplusShutdown(token);
    }
    DeleteObject(pixels);
    if (!ok)
        error = "cannot write " + path;
    return ok;
}

class EditorSession {
public:
    EditorSession(const EditorOptions& o, Plugin& p) : options(o), plugin(p) {}
    ~EditorSession() {
        if (top)
            DestroyWindow(top);
    }
    int run(std::string& error);

private:
    bool openWindow(int width, int height);
    void fitTo(int width, int height);
    void idleRound();
    void runAction(const EditorAction& action);
    void screenshot();
    // Dispatches window messages until `deadline` or a close.
    void pumpUntil(Clock::time_point deadline);

    const EditorOptions& options;
    Plugin& plugin;
    HWND top = nullptr;
    bool screenshotTaken = false;
    Clock::time_point lastIdle;
};

bool EditorSession::openWindow(int width, int height) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = topWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);
    const std::wstring title = win32::widen("rimbrel-host: " + plugin.text(effGetEffectName));
    top = CreateWindowExW(0, kWindowClass, title.c_str(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                          0, 0, width, height, nullptr, nullptr, wc.hInstance, nullptr);
    if (!top)
        return false;
    fitTo(width, height);
    ShowWindow(top, SW_SHOW);
    UpdateWindow(top);
    return true;
}

void EditorSession::fitTo(int width, int height) {
    RECT r{0, 0, width, height};
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongW(top, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(top, GWL_EXSTYLE)));
    SetWindowPos(top, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
}

void EditorSession::idleRound() {
    lastIdle = Clock::now();
    plugin.dispatch(effEditIdle);
}

void EditorSession::pumpUntil(Clock::time_point deadline) {
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (closeRequested || left <= 0)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
    }
}

void EditorSession::runAction(const EditorAction& action) {
    if (action.kind == EditorAction::Drop) {
        std::fprintf(stderr, "rimbrel-host: --drop is not available on Windows\n");
        std::printf("drop refused\n");
        std::fflush(stdout);
        return;
    }
    POINT p{action.x, action.y};
    HWND target = ChildWindowFromPointEx(top, p, CWP_SKIPINVISIBLE);
    if (!target)
        target = top;
    MapWindowPoints(top, target, &p, 1);
    WPARAM keys = 0;
    if (action.shift)
        keys |= MK_SHIFT;
    if (action.control)
        keys |= MK_CONTROL;
    const LPARAM where = MAKELPARAM(p.x, p.y);
    PostMessageW(target, WM_MOUSEMOVE, keys, where);
    PostMessageW(target, WM_LBUTTONDOWN, keys | MK_LBUTTON, where);
    PostMessageW(target, WM_LBUTTONUP, keys, where);
}

void EditorSession::screenshot() {
    if (screenshotTaken || options.screenshotPath.empty())
        return;
    screenshotTaken = true;
    std::string error;
    if (!writeScreenshot(top, options.screenshotPath, error))
        std::fprintf(stderr, "rimbrel-host: screenshot: %s\n", error.c_str());
}

int EditorSession::run(std::string& error) {
    plugin.dispatch(effOpen);
    if (!options.loadStatePath.empty() && !loadStateFile(plugin, options.loadStatePath, error)) return 1;
    plugin.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(options.sampleRate));
    plugin.dispatch(effSetBlockSize, 0, options.blockSize);

    int width = 540, height = 786;
    ERect* rect = nullptr;
    if (plugin.dispatch(effEditGetRect, 0, 0, &rect) && rect && rect->right > rect->left &&
        rect->bottom > rect->top) {
        width = rect->right - rect->left;
        height = rect->bottom - rect->top;
    }
    if (!openWindow(width, height)) {
        error = "cannot create the window";
        return 1;
    }
    HostState& host = hostState();
    host.sampleRate = options.sampleRate;
    host.blockSize = options.blockSize;
    host.processLevel = kVstProcessLevelRealtime;
    host.sizeWindow = [this](int w, int h) {
        if (w <= 0 || h <= 0)
            return false;
        fitTo(w, h);
        return true;
    };

    RealtimeAudio audio(plugin, options.sampleRate, options.blockSize, options.events, !options.recordPath.empty(),
                        options.seconds);
    audio.start();

    if (!plugin.dispatch(effEditOpen, 0, 0, top))
        std::fprintf(stderr, "rimbrel-host: the editor did not open\n");
    std::printf("editor opened\n");
    std::fflush(stdout);

    const auto opened = Clock::now();
    auto lastAction = opened;
    std::size_t nextAction = 0;
    for (int tick = 1; !closeRequested; ++tick) {
        idleRound();
        const int elapsed = msSince(opened);
        if (nextAction < options.actions.size() &&
            elapsed >= options.actionsAfterMs + static_cast<int>(nextAction) * kActionSpacingMs) {
            runAction(options.actions[nextAction++]);
            lastAction = Clock::now();
        }
        if (options.screenshotAtMs >= 0 && elapsed >= options.screenshotAtMs)
            screenshot();
        if (options.seconds > 0 && msSince(opened) >= static_cast<int>(options.seconds * 1000) &&
            nextAction >= options.actions.size() && msSince(lastAction) >= 5 * kIdleMs)
            break;
        pumpUntil(opened + std::chrono::milliseconds(tick * kIdleMs));
    }
    screenshot();

    plugin.dispatch(effEditClose);
    audio.stop();
    plugin.dispatch(effStopProcess);
    plugin.dispatch(effMainsChanged, 0, 0);
    host.sizeWindow = nullptr;
    std::string stateError;
    const bool stateSaved =
        options.saveStatePath.empty() || saveStateFile(plugin, options.saveStatePath, stateError);
    plugin.close();

    int code = stateSaved ? 0 : 1;
    if (!stateSaved) error = stateError;
    if (!options.recordPath.empty() && !audio.writeRecording(options.recordPath, error))
        code = 1;
    return code;
}

}  // namespace

int runEditor(const EditorOptions& options, std::string& error) {
    auto plugin = Plugin::load(options.pluginPath, error);
    if (!plugin)
        return 1;
    if (!(plugin->effect()->flags & effFlagsHasEditor)) {
        error = options.pluginPath + ": the plug-in has no editor";
        return 1;
    }
    if (options.embedLater) {
        error = "--embed-later is not available on Windows";
        return 1;
    }
    closeRequested = false;
    SetConsoleCtrlHandler(consoleStop, TRUE);
    int code = 0;
    auto runSession = [&] {
        // A host's UI thread is a single-threaded COM apartment.
        OleInitialize(nullptr);
        {
            EditorSession session(options, *plugin);
            code = session.run(error);
        }
        OleUninitialize();
    };
    if (options.uiThread) {
        // Like hosts with an editor thread: the window, every editor request
        // and the idle calls stay on that one thread.
        std::thread ui(runSession);
        ui.join();
    } else {
        runSession();
    }
    plugin.reset();
    SetConsoleCtrlHandler(consoleStop, FALSE);
    return code;
}

}  // namespace rimbrel::host
