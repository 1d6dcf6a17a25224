// The plug-in window's cost on the UI thread: a full repaint of a frame laid
// out like the editor's (background, 49 labels, 24 invisible key buttons, the
// export and drop buttons, the mode switch) into an image surface, as the
// X11 platform paints its offscreen image; and, under an X server, the CPU an
// open idle window takes when the host idles it every 20 ms (goal: below 1%
// of one core), also with the plug-in's own editor.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "gui/Bitmap.h"
#include "gui/Controls.h"
#include "gui/DrawContext.h"
#include "gui/Frame.h"
#include "gui/Timer.h"
#include "platform/cairo/CairoGraphics.h"
#include "platform/x11/X11Platform.h"
#include "editor/ADEditor.h"
#include "instrument/PluginEntry.h"
#include "resources/EditorGeometry.h"

#include <X11/Xlib.h>

namespace {

using namespace rimbrel::gui;

// Views as the editor places them (its own two control classes are stood in
// for by the stock label and button they derive from).
void layOut(CFrame* frame) {
    auto* background = new CBitmap(128);
    frame->setBackground(background);
    background->forget();
    char text[64];
    for (int k = 0; k < 24; ++k) {
        const double top = rimbrel::geometry::labelTop(k);
        std::snprintf(text, sizeof text, " sample number %d", k);
        auto* name = new CTextLabel(CRect(34, top, 206, top + 18), text, nullptr, kNoFrame);
        name->setBackColor(kTransparentCColor);
        name->setHoriAlign(kLeftText);
        frame->addView(name);
        auto* value = new CTextLabel(CRect(210, top, 244, top + 16), "1.25", nullptr, kNoFrame);
        value->setBackColor(kTransparentCColor);
        value->setHoriAlign(kRightText);
        frame->addView(value);
        frame->addView(new COnOffButton(CRect(277, 151 + k * 20, 357, 192 + k * 20)));
    }
    auto* total = new CTextLabel(CRect(35, 726, 225, 742), "Total Duration (seconds):  30.00", nullptr, kNoFrame);
    total->setBackColor(kTransparentCColor);
    frame->addView(total);
    auto* exportBitmap = new CBitmap(129);
    auto* dropBitmap = new CBitmap(130);
    auto* modeBitmap = new CBitmap(131);
    frame->addView(new CKickButton(CRect(14, 73, 251, 102), nullptr, 195, exportBitmap));
    frame->addView(new CKickButton(CRect(8, 11, 256, 65), nullptr, 197, dropBitmap));
    frame->addView(new CHorizontalSwitch(CRect(16, 113, 248, 150), nullptr, 198, 6, 37, 6, modeBitmap));
    exportBitmap->forget();
    dropBitmap->forget();
    modeBitmap->forget();
}

void BM_FullRepaintIntoImage(benchmark::State& state) {
    CFrame frame(CRect(0, 0, 540, 786));
    layOut(&frame);
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 540, 786);
    const CRect all(0, 0, 540, 786);
    for (auto _ : state) {
        cairo_t* cr = cairo_create(image);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        {
            cairo::CairoGraphics graphics(cr);
            frame.platformDrawRect(graphics, all);
        }
        cairo_destroy(cr);
        cairo_surface_flush(image);
        benchmark::ClobberMemory();
    }
    if (const char* png = std::getenv("BENCH_WINDOW_PNG"))
        cairo_surface_write_to_png(image, png);
    cairo_surface_destroy(image);
}
BENCHMARK(BM_FullRepaintIntoImage)->Unit(benchmark::kMillisecond);

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
}

// What the editor's refresh timer does while nothing changes: let the frame
// repaint what is marked (nothing).
class Refresher : public CBaseObject {
public:
    explicit Refresher(CFrame* f) : frame(f) {}
    CMessageResult notify(CBaseObject*, const char*) override {
        frame->idle();
        return kMessageNotified;
    }
    CFrame* frame;
};

void BM_OpenIdleWindowCpu(benchmark::State& state) {
    const char* display = std::getenv("DISPLAY");
    Display* host = display && *display ? XOpenDisplay(nullptr) : nullptr;
    if (!host) {
        state.SkipWithError("no X display");
        return;
    }
    rimbrel::gui::x11::install();
    const Window parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 540, 786, 0, 0, 0);
    XMapWindow(host, parent);
    XSync(host, False);
    auto* frame = new CFrame(CRect(0, 0, 540, 786), reinterpret_cast<void*>(static_cast<uintptr_t>(parent)), nullptr);
    layOut(frame);
    Refresher refresher(frame);
    auto* timer = new CVSTGUITimer(&refresher, 50, true);
    // The first paint is not idle time.
    for (int i = 0; i < 10; ++i) {
        rimbrel::gui::x11::pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double seconds = static_cast<double>(state.range(0));
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double cpuStart = cpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        auto next = start;
        while (std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds)) {
            rimbrel::gui::x11::pump();
            next += std::chrono::milliseconds(20);
            std::this_thread::sleep_until(next);
        }
        cpu += cpuSeconds() - cpuStart;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["cpu_percent_of_a_core"] = 100.0 * cpu / wall;
    timer->forget();
    delete frame;
    rimbrel::gui::x11::pump();
    XDestroyWindow(host, parent);
    XCloseDisplay(host);
}
BENCHMARK(BM_OpenIdleWindowCpu)->Arg(10)->Iterations(1)->Unit(benchmark::kSecond);

VstIntPtr benchHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// The plug-in's own editor, open and idle, idled by its host every 20 ms.
void BM_OpenIdleEditorCpu(benchmark::State& state) {
    const char* display = std::getenv("DISPLAY");
    Display* host = display && *display ? XOpenDisplay(nullptr) : nullptr;
    if (!host) {
        state.SkipWithError("no X display");
        return;
    }
    rimbrel::ADEditor::setPlatformInstaller([] { rimbrel::gui::x11::install(); });
    AEffect* effect = rimbrel::createEffect(benchHost);
    const Window parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 540, 786, 0, 0, 0);
    XMapWindow(host, parent);
    XSync(host, False);
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0);
    effect->dispatcher(effect, effEditOpen, 0, reinterpret_cast<VstIntPtr>(host),
                       reinterpret_cast<void*>(static_cast<uintptr_t>(parent)), 0);
    for (int i = 0; i < 10; ++i) {
        effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double seconds = static_cast<double>(state.range(0));
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double cpuStart = cpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        auto next = start;
        while (std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds)) {
            effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0);
            next += std::chrono::milliseconds(20);
            std::this_thread::sleep_until(next);
        }
        cpu += cpuSeconds() - cpuStart;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["cpu_percent_of_a_core"] = 100.0 * cpu / wall;
    effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0);
    XDestroyWindow(host, parent);
    XCloseDisplay(host);
}
BENCHMARK(BM_OpenIdleEditorCpu)->Arg(10)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
