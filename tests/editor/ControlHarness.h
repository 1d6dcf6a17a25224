// A window of name labels and a drop button, laid out as the editor does,
// with a listener that records what the controls report.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "editor/CustomControls.h"
#include "resources/EditorGeometry.h"
#include "platform/headless/HeadlessPlatform.h"

namespace rimbrel::testing {

using namespace rimbrel::gui;

// Label top of key k as the window lays it out (unrounded).
inline double labelTop(int k) { return geometry::labelTop(k); }

// Colours read back from a premultiplied surface may differ by a rounding step.
inline ::testing::AssertionResult colourNear(const CColor& actual, const CColor& expected, int tolerance = 2) {
    auto off = [&](int a, int b) { return a - b > tolerance || b - a > tolerance; };
    if (off(actual.red, expected.red) || off(actual.green, expected.green) || off(actual.blue, expected.blue) ||
        off(actual.alpha, expected.alpha))
        return ::testing::AssertionFailure()
               << "(" << int(actual.red) << ", " << int(actual.green) << ", " << int(actual.blue) << ", "
               << int(actual.alpha) << ") instead of (" << int(expected.red) << ", " << int(expected.green) << ", "
               << int(expected.blue) << ", " << int(expected.alpha) << ")";
    return ::testing::AssertionSuccess();
}

struct ValueReport {
    int32_t tag;
    float value;
    int32_t dragState;
    int32_t dropTarget;
    float barValue;
};

struct DragReport {
    std::string what;  // "drop", "enter", "leave"
    int32_t tag;
    int32_t reserved;
    std::vector<std::string> items;
};

class FakeEditor : public CControlListener {
public:
    void valueChanged(CControl* control) override {
        ValueReport r{control->getTag(), control->getValue(), 0, 0, 0};
        if (auto* label = dynamic_cast<CMyTextLabel*>(control)) {
            r.dragState = label->dragState;
            r.dropTarget = label->dropTarget;
            r.barValue = label->barValue;
        }
        values.push_back(r);
    }
    void HandleDragDrop(CControl* control, CDragContainer* drag, int32_t reserved) override {
        drags.push_back({"drop", control->getTag(), reserved, items(drag)});
    }
    void HandleDragHover(CControl* control, CDragContainer* drag, bool entering) override {
        drags.push_back({entering ? "enter" : "leave", control->getTag(), 0, items(drag)});
    }

    static std::vector<std::string> items(CDragContainer* drag) {
        std::vector<std::string> out;
        int32_t size = 0;
        int32_t type = 0;
        for (const void* p = drag->first(size, type); p; p = drag->next(size, type))
            out.emplace_back(static_cast<const char*>(p));
        return out;
    }

    std::vector<ValueReport> values;
    std::vector<DragReport> drags;
};

class LabelWindow {
public:
    LabelWindow() {
        frame = new CFrame(CRect(0, 0, 540, 786), nullptr, nullptr);
        platform = env.currentFrame();
        for (int k = 0; k < 24; ++k) {
            const double top = labelTop(k);
            labels[k] = new CMyTextLabel(CRect(34, top, 206, top + 18), &editor, 51 + k, nullptr, nullptr,
                                         kNoFrame);
            labels[k]->setFont(kNormalFont);
            labels[k]->setBackColor(kTransparentCColor);
            labels[k]->setHoriAlign(kLeftText);
            frame->addView(labels[k]);
        }
    }
    ~LabelWindow() { frame->forget(); }

    // The middle of key k's label.
    CPoint centre(int k) const { return CPoint(120, labelTop(k) + 9); }

    void setMode(int mode) {
        for (auto* label : labels)
            label->displayMode = mode;
    }

    headless::HeadlessEnvironment env;
    CFrame* frame = nullptr;
    headless::HeadlessFrame* platform = nullptr;
    FakeEditor editor;
    CMyTextLabel* labels[24] = {};
};

}  // namespace rimbrel::testing
