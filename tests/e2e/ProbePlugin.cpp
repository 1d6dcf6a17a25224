// A small instrument with an editor on the X11 platform, for testing the
// platform and rimbrel-host's editor command end to end in a real host
// process. Its window has the plug-in window's geometry: 24 key name labels
// and a drop button that take drops, a key button that records clicks. What
// reaches it is printed on stdout as "probe: ..." lines. While any note is
// held it adds 0.25 to both outputs. With PROBE_TAMPER_HOST set it misbehaves
// on purpose: closing, it deletes XdndAware from the host's top-level.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gui/DragContainer.h"
#include "gui/DrawContext.h"
#include "gui/Frame.h"
#include "gui/Timer.h"
#include "gui/View.h"
#include "binding/AEffGUIEditor.h"
#include "platform/x11/X11Platform.h"
#include "plugin/AudioEffectX.h"
#include "resources/EditorGeometry.h"

// After the toolkit's headers: Xlib's macros would clash with their names.
#include <X11/Xlib.h>

namespace {

using namespace rimbrel::gui;

std::string pathsOf(CDragContainer* drag) {
    std::string s;
    int32_t size = 0, type = 0;
    for (const void* item = drag->first(size, type); item; item = drag->next(size, type)) {
        if (!s.empty())
            s += "|";
        s += static_cast<const char*>(item);
    }
    return s;
}

class Patch : public CView {
public:
    Patch(const CRect& r, CColor c, std::string n, bool takesDrops) : CView(r), color(c), name(std::move(n)), drops(takesDrops) {
    }
    void draw(CDrawContext* context) override {
        context->setFillColor(hovered ? CColor(255, 255, 255) : color);
        context->drawRect(size, kDrawFilled);
        setDirty(false);
    }
    bool acceptsDrops() const override { return drops; }
    void onDragEnter(CDragContainer* drag, CPoint&) override {
        std::printf("probe: hover %s: %s\n", name.c_str(), pathsOf(drag).c_str());
        std::fflush(stdout);
        hovered = true;
        invalid();
    }
    void onDragLeave(CDragContainer*, CPoint&) override {
        hovered = false;
        invalid();
    }
    bool onDrop(CDragContainer* drag, CPoint&) override {
        std::printf("probe: drop %s: %s\n", name.c_str(), pathsOf(drag).c_str());
        std::fflush(stdout);
        return drops;
    }
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override {
        std::printf("probe: click %s %d %d buttons=%d\n", name.c_str(), static_cast<int>(where.x),
                    static_cast<int>(where.y), static_cast<int>(buttons.getButtonState()));
        std::fflush(stdout);
        return kMouseEventHandled;
    }

    CColor color;
    std::string name;
    bool drops;
    bool hovered = false;
};

class ProbeEditor : public AEffGUIEditor, public CBaseObject {
public:
    explicit ProbeEditor(rimbrel::AudioEffect* effect) : AEffGUIEditor(effect) {
        rect = {0, 0, 786, 540};
        timer = new CVSTGUITimer(this, 50, true);
    }
    ~ProbeEditor() override {
        std::printf("probe: timer ticks while open %d\n", ticksOpen);
        std::fflush(stdout);
        timer->forget();
    }

    bool open(void* parent, void* hostDisplay) override {
        AEffGUIEditor::open(parent, hostDisplay);
        parentWindow = reinterpret_cast<uintptr_t>(parent);
        display = static_cast<Display*>(hostDisplay);
        rimbrel::gui::x11::install();
        frame = new CFrame(CRect(0, 0, 540, 786), parent, this);
        frame->addView(new Patch(CRect(0, 0, 540, 786), CColor(40, 40, 48), "background", false));
        frame->addView(new Patch(CRect(8, 11, 256, 65), CColor(0, 171, 107), "button", true));
        for (int k = 0; k < 24; ++k) {
            const double top = rimbrel::geometry::labelTop(k);
            frame->addView(new Patch(CRect(34, top, 206, top + 18), CColor(105, 142, 255), "key " + std::to_string(k),
                                     true));
        }
        frame->addView(new Patch(CRect(277, 151, 357, 192), CColor(206, 206, 206), "keybutton", false));
        std::printf("probe: open %s\n", frame->getPlatformFrame() ? "x11" : "no platform");
        std::fflush(stdout);
        return true;
    }

    void close() override {
        if (std::getenv("PROBE_TAMPER_HOST") && display)
            deleteTopLevelXdndAware();
        if (frame)
            frame->forget();
        frame = nullptr;
        AEffGUIEditor::close();
    }

    CMessageResult notify(CBaseObject*, const char* message) override {
        if (isMessage(message, kMsgTimer) && frame)
            ++ticksOpen;
        return kMessageNotified;
    }

private:
    void deleteTopLevelXdndAware() {
        Window w = parentWindow, root = None, up = None;
        Window* children = nullptr;
        unsigned count = 0;
        while (XQueryTree(display, w, &root, &up, &children, &count)) {
            if (children)
                XFree(children);
            if (up == root || up == None)
                break;
            w = up;
        }
        XDeleteProperty(display, w, XInternAtom(display, "XdndAware", False));
        XSync(display, False);
    }

    CVSTGUITimer* timer;
    int ticksOpen = 0;
    Window parentWindow = None;
    Display* display = nullptr;
};

class Probe : public rimbrel::AudioEffectX {
public:
    explicit Probe(audioMasterCallback master) : AudioEffectX(master, 1, 1) {
        setNumInputs(2);
        setNumOutputs(2);
        canProcessReplacing();
        isSynth();
        setUniqueID(('P' << 24) | ('r' << 16) | ('b' << 8) | 'e');
        new ProbeEditor(this);
    }
    bool getEffectName(char* name) override {
        std::snprintf(name, 32, "Probe");
        return true;
    }
    VstInt32 processEvents(VstEvents* events) override {
        for (VstInt32 i = 0; i < events->numEvents; ++i) {
            const auto* e = reinterpret_cast<const VstMidiEvent*>(events->events[i]);
            if (e->type != kVstMidiType)
                continue;
            const int status = e->midiData[0] & 0xf0;
            if (status == 0x90 && e->midiData[2] != 0)
                ++held;
            else if ((status == 0x80 || status == 0x90) && held > 0)
                --held;
        }
        return 1;
    }
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override {
        const float add = held > 0 ? 0.25f : 0.0f;
        for (VstInt32 i = 0; i < frames; ++i) {
            outputs[0][i] = inputs[0][i] + add;
            outputs[1][i] = inputs[1][i] + add;
        }
    }

private:
    int held = 0;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback master) {
    if (!master || !master(nullptr, audioMasterVersion, 0, 0, nullptr, 0))
        return nullptr;
    auto* probe = new Probe(master);
    return probe->getAeffect();
}
