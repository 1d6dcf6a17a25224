// Helpers shared by the toolkit tests: PNG bytes made on the spot and views
// that record what reaches them.
#pragma once

#include <cairo.h>

#include <string>
#include <vector>

#include "gui/Toolkit.h"

namespace rimbrel::gui::testing {

// A PNG of `width` x `height` whose horizontal bands of `bandHeight` pixels
// are painted with the given colours in turn.
inline std::vector<unsigned char> makeBandsPng(int width, int bandHeight, const std::vector<CColor>& bands) {
    const int height = bandHeight * static_cast<int>(bands.size());
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(s);
    for (std::size_t i = 0; i < bands.size(); ++i) {
        const CColor& c = bands[i];
        cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
        cairo_rectangle(cr, 0, static_cast<double>(i) * bandHeight, width, bandHeight);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    std::vector<unsigned char> bytes;
    cairo_surface_write_to_png_stream(
        s,
        [](void* closure, const unsigned char* data, unsigned int length) {
            auto* out = static_cast<std::vector<unsigned char>*>(closure);
            out->insert(out->end(), data, data + length);
            return CAIRO_STATUS_SUCCESS;
        },
        &bytes);
    cairo_surface_destroy(s);
    return bytes;
}

// A view that logs every event it receives and answers mouse presses with a
// chosen result.
class RecordingView : public CView {
public:
    RecordingView(const CRect& r, std::string n, std::vector<std::string>& l,
                  CMouseEventResult downResult = kMouseEventHandled)
        : CView(r), name(std::move(n)), log(l), onDown(downResult) {
    }
    ~RecordingView() override { log.push_back(name + " deleted"); }

    CMouseEventResult onMouseDown(CPoint& p, const CButtonState& b) override { return record("down", p, onDown); }
    CMouseEventResult onMouseUp(CPoint& p, const CButtonState& b) override { return record("up", p); }
    CMouseEventResult onMouseMoved(CPoint& p, const CButtonState& b) override { return record("move", p); }
    CMouseEventResult onMouseEntered(CPoint& p, const CButtonState& b) override { return record("enter", p); }
    CMouseEventResult onMouseExited(CPoint& p, const CButtonState& b) override { return record("exit", p); }
    bool onDrop(CDragContainer*, CPoint& p) override {
        record("drop", p);
        return acceptDrop;
    }
    void onDragEnter(CDragContainer*, CPoint& p) override { record("dragenter", p); }
    void onDragLeave(CDragContainer*, CPoint& p) override { record("dragleave", p); }
    void onDragMove(CDragContainer*, CPoint& p) override { record("dragmove", p); }
    bool acceptsDrops() const override { return acceptDrop; }

    bool acceptDrop = true;

private:
    CMouseEventResult record(const char* what, const CPoint& p, CMouseEventResult r = kMouseEventHandled) {
        log.push_back(name + " " + what);
        return r;
    }

    std::string name;
    std::vector<std::string>& log;
    CMouseEventResult onDown;
};

}  // namespace rimbrel::gui::testing
