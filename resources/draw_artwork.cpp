// Draws the plug-in's built-in bitmaps with cairo:
//   background.png           540 x 786  the window: label panel and the instrument on its side
//   export_button.png        237 x 58   two 29-pixel states: normal, pressed
//   export_field_button.png  237 x 58   the same for the OP-1 Field's kit
//   drop_button.png          248 x 108  two 54-pixel states: normal, highlighted
//   mode_switch.png          232 x 222  six 37-pixel states, one per display mode
//   target_switch.png        180 x 38   two 19-pixel states: OP-1 chosen, OP-1 Field chosen
// and, on request, a preview of the whole window with sample label texts.
//
// Usage: rimbrel_draw_artwork <output folder> [preview.png [key-check.png]]
//
// The drawings follow the window layout of the editor: every control
// rectangle named below is where the editor puts that control, and the drawn
// keys lie under the editor's invisible key buttons. Text uses Liberation Sans
// (the metric twin of Arial) through fontconfig.

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "resources/EditorGeometry.h"

namespace {

// ---------------------------------------------------------------- palette

struct Rgb {
    int r, g, b;
};

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kLine{206, 206, 206};  // the light grey of every line drawing
constexpr Rgb kFaint{62, 62, 62};    // guides and dim details
constexpr Rgb kDim{92, 92, 92};      // icons that are not selected
constexpr Rgb kKeyFill{20, 20, 20};  // inside of a drawn key
constexpr Rgb kCapFill{34, 34, 34};  // the round cap of a black key
constexpr Rgb kGreen{0, 171, 107};
constexpr Rgb kBlue{105, 142, 255};
constexpr Rgb kPinkRed{255, 58, 93};

constexpr const char* kFont = "Liberation Sans";

void setColour(cairo_t* cr, Rgb c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, alpha);
}

// Rgb c blended over black at `amount` (0..1), still fully opaque.
Rgb overBlack(Rgb c, double amount) {
    auto mix = [amount](int v) { return static_cast<int>(std::lround(v * amount)); };
    return Rgb{mix(c.r), mix(c.g), mix(c.b)};
}

void roundedRect(cairo_t* cr, double x0, double y0, double x1, double y1, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x1 - r, y0 + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x1 - r, y1 - r, r, 0, M_PI / 2);
    cairo_arc(cr, x0 + r, y1 - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x0 + r, y0 + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

// A one-pixel line along pixel row `y` (or column `x`), covering whole pixels.
void hLine(cairo_t* cr, double x0, double x1, int y) {
    cairo_move_to(cr, x0, y + 0.5);
    cairo_line_to(cr, x1, y + 0.5);
    cairo_stroke(cr);
}

void vLine(cairo_t* cr, int x, double y0, double y1) {
    cairo_move_to(cr, x + 0.5, y0);
    cairo_line_to(cr, x + 0.5, y1);
    cairo_stroke(cr);
}

void useFont(cairo_t* cr, double size, bool bold, const char* family = kFont) {
    cairo_select_font_face(cr, family, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

double textWidth(cairo_t* cr, const char* text) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, text, &e);
    return e.x_advance;
}

// Draws `text` with its capital letters centred on `cy`; `align` 0 left,
// 0.5 centred, 1 right of `x`.
void drawText(cairo_t* cr, const char* text, double x, double cy, double align) {
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    cairo_text_extents_t cap;
    cairo_text_extents(cr, "H", &cap);
    const double baseline = std::round(cy - cap.y_bearing / 2.0);
    cairo_move_to(cr, std::round(x - align * textWidth(cr, text)), baseline);
    cairo_show_text(cr, text);
}

// ---------------------------------------------------------------- window geometry

using rimbrel::geometry::kWindowHeight;
using rimbrel::geometry::kWindowWidth;

// The label panel and its dividing lines.
constexpr int kPanelLeft = 15, kPanelTop = 112, kPanelRight = 248, kPanelBottom = 716;
constexpr int kPanelLines[] = {150, 311, 434, 597};

// The instrument outline and its keyboard column.
constexpr int kBodyLeft = 263, kBodyTop = 12, kBodyRight = 532, kBodyBottom = 764;
constexpr int kWhiteLeft = 276, kWhiteRight = 357;
constexpr int kBlackLeft = 357, kBlackRight = 398;
constexpr double kKeyboardTop = 151.0;
constexpr double kWhitePitch = 285.0 / 7.0;  // seven white keys per 285-pixel octave

// Label rows and key colours: where the editor puts its labels.
using rimbrel::geometry::labelTop;
constexpr bool isWhite(int k) { return rimbrel::geometry::isWhiteKey(k); }

// White keys are numbered 0..13 from the top; black key k sits on the border
// between the white keys on either side of it.
int whiteIndex(int k) {
    static constexpr int kWhiteOfNote[12] = {0, 0, 1, 1, 2, 2, 3, 4, 4, 5, 5, 6};
    return (k / 12) * 7 + kWhiteOfNote[k % 12];
}
int whiteBorder(int i) { return static_cast<int>(std::lround(kKeyboardTop + i * kWhitePitch)); }

// The editor's key buttons, (left, top, right, bottom), used for the check overlay.
using Rect = rimbrel::geometry::Box;
constexpr Rect keyButton(int k) { return rimbrel::geometry::keyButtonBox(k); }

const char* noteName(int k) {
    static const char* kNames[12] = {"F", "F#", "G", "G#", "A", "A#", "B", "C", "C#", "D", "D#", "E"};
    return kNames[k % 12];
}

// ---------------------------------------------------------------- background (128)

void drawPanel(cairo_t* cr) {
    cairo_set_line_width(cr, 1.0);

    // Guides: the column split between names and values, and the note of each row.
    setColour(cr, kFaint);
    vLine(cr, 208, kPanelLines[0] + 1, kPanelBottom);
    useFont(cr, 9, false);
    for (int k = 0; k < 24; ++k) {
        setColour(cr, isWhite(k) ? Rgb{150, 150, 150} : Rgb{104, 104, 104});
        drawText(cr, noteName(k), 18, labelTop(k) + 9.0, 0.0);
    }

    setColour(cr, kLine);
    cairo_rectangle(cr, kPanelLeft + 0.5, kPanelTop + 0.5, kPanelRight - kPanelLeft, kPanelBottom - kPanelTop);
    cairo_stroke(cr);
    for (int y : kPanelLines) hLine(cr, kPanelLeft, kPanelRight + 1, y);
}

void drawKnob(cairo_t* cr, double cx, double cy, double radius, Rgb accent, double angle) {
    setColour(cr, kKeyFill);
    cairo_arc(cr, cx, cy, radius, 0, 2 * M_PI);
    cairo_fill_preserve(cr);
    setColour(cr, kLine);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
    setColour(cr, kFaint);
    cairo_set_line_width(cr, 1.0);
    cairo_arc(cr, cx, cy, radius - 5, 0, 2 * M_PI);
    cairo_stroke(cr);
    setColour(cr, accent);
    const double r = radius - 10;
    cairo_arc(cr, cx + r * std::cos(angle), cy + r * std::sin(angle), 2.6, 0, 2 * M_PI);
    cairo_fill(cr);
}

void drawKeyboard(cairo_t* cr) {
    // White keys: 14 separate keys, two pixels of air on either side of each border.
    for (int i = 0; i < 14; ++i) {
        const int top = whiteBorder(i) + 2;
        const int bottom = whiteBorder(i + 1) - 2;
        roundedRect(cr, kWhiteLeft + 0.5, top + 0.5, kWhiteRight - 0.5, bottom - 0.5, 3.0);
        setColour(cr, kKeyFill);
        cairo_fill_preserve(cr);
        setColour(cr, kLine);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
    }
    // Black keys: round caps in the column beside the white keys.
    const double cx = (kBlackLeft + kBlackRight) / 2.0 + 0.5;
    for (int k = 0; k < 24; ++k) {
        if (isWhite(k)) continue;
        const double cy = whiteBorder(whiteIndex(k) + 1);
        cairo_arc(cr, cx, cy, 16.5, 0, 2 * M_PI);
        setColour(cr, kKeyFill);
        cairo_fill_preserve(cr);
        setColour(cr, kLine);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
        cairo_arc(cr, cx, cy, 10.0, 0, 2 * M_PI);
        setColour(cr, kCapFill);
        cairo_fill(cr);
    }
}

void drawInstrument(cairo_t* cr) {
    // Body: outer shell and an inner bevel.
    cairo_set_line_width(cr, 2.0);
    setColour(cr, kLine);
    roundedRect(cr, kBodyLeft + 1, kBodyTop + 1, kBodyRight - 1, kBodyBottom - 1, 18);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 1.0);
    setColour(cr, kFaint);
    roundedRect(cr, kBodyLeft + 6.5, kBodyTop + 6.5, kBodyRight - 6.5, kBodyBottom - 6.5, 13);
    cairo_stroke(cr);

    drawKeyboard(cr);

    // Speaker grille above the keyboard.
    setColour(cr, kLine);
    for (int row = 0; row < 10; ++row)
        for (int col = 0; col < 12; ++col) {
            const double x = 283.5 + col * 10.0 + (row % 2) * 5.0;
            const double y = 38.5 + row * 10.0;
            if (x > 398) continue;
            cairo_arc(cr, x, y, 1.7, 0, 2 * M_PI);
            cairo_fill(cr);
        }

    // Volume knob and a small status light beside the grille.
    drawKnob(cr, 466.5, 80.5, 30, kLine, -M_PI / 4);
    setColour(cr, kGreen);
    cairo_arc(cr, 421.5, 40.5, 2.5, 0, 2 * M_PI);
    cairo_fill(cr);

    // Display, on its side: a portrait screen showing the kit as slices.
    setColour(cr, kLine);
    cairo_set_line_width(cr, 1.5);
    roundedRect(cr, 416.5, 166.5, 516.5, 352.5, 6);
    cairo_stroke(cr);
    setColour(cr, kKeyFill);
    cairo_rectangle(cr, 424, 174, 85, 171);
    cairo_fill(cr);
    static constexpr double kSlices[] = {0.55, 0.8, 0.35, 0.9, 0.6, 0.25, 0.7, 0.45, 0.85, 0.3, 0.65, 0.5};
    for (int i = 0; i < 12; ++i) {
        const Rgb c = (i % 3 == 0) ? kGreen : (i % 3 == 1) ? kBlue
                                                           : kPinkRed;
        setColour(cr, overBlack(c, 0.85));
        const double y = 182 + i * 13.0;
        cairo_rectangle(cr, 432, y, std::round(69 * kSlices[i]), 7);
        cairo_fill(cr);
    }

    // Four encoders with their coloured marks.
    const Rgb marks[4] = {kBlue, kGreen, kLine, kPinkRed};
    for (int i = 0; i < 4; ++i) drawKnob(cr, 466.5, 400.5 + i * 62.0, 21, marks[i], -M_PI / 2 + i * 0.9);

    // Function keys: two columns of small square keys below the encoders.
    setColour(cr, kLine);
    cairo_set_line_width(cr, 1.0);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 2; ++col) {
            const double x = 426.5 + col * 44.0;
            const double y = 638.5 + row * 30.0;
            roundedRect(cr, x, y, x + 36, y + 22, 3);
            cairo_stroke(cr);
        }

    // The edge connector strip at the far end.
    setColour(cr, kFaint);
    roundedRect(cr, 300.5, 738.5, 360.5, 746.5, 3);
    cairo_stroke(cr);
    roundedRect(cr, 436.5, 738.5, 496.5, 746.5, 3);
    cairo_stroke(cr);
}

cairo_surface_t* drawBackground() {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWindowWidth, kWindowHeight);
    cairo_t* cr = cairo_create(s);
    setColour(cr, kBlack);
    cairo_paint(cr);
    drawPanel(cr);
    drawInstrument(cr);
    cairo_destroy(cr);
    return s;
}

// ---------------------------------------------------------------- buttons (129, 130)

// A small arrow leaving a tray, for the export button.
void exportIcon(cairo_t* cr, double x, double cy) {
    cairo_set_line_width(cr, 1.5);
    cairo_move_to(cr, x, cy - 2);
    cairo_line_to(cr, x, cy + 6);
    cairo_line_to(cr, x + 12, cy + 6);
    cairo_line_to(cr, x + 12, cy - 2);
    cairo_stroke(cr);
    cairo_move_to(cr, x + 6, cy + 2);
    cairo_line_to(cr, x + 6, cy - 8);
    cairo_stroke(cr);
    cairo_move_to(cr, x + 2.5, cy - 4.5);
    cairo_line_to(cr, x + 6, cy - 8);
    cairo_line_to(cr, x + 9.5, cy - 4.5);
    cairo_stroke(cr);
}

// The export button with `caption`; the original's and the Field's differ
// only in it.
cairo_surface_t* drawExportButton(const char* caption) {
    constexpr int w = 237, h = 29;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, 2 * h);
    cairo_t* cr = cairo_create(s);
    setColour(cr, kBlack);
    cairo_paint(cr);
    for (int state = 0; state < 2; ++state) {
        const double y0 = state * h;
        const bool pressed = state == 1;
        roundedRect(cr, 0.5, y0 + 0.5, w - 0.5, y0 + h - 0.5, 5);
        setColour(cr, pressed ? kLine : kBlack);
        cairo_fill_preserve(cr);
        setColour(cr, kLine);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);

        useFont(cr, 13, true);
        const double textW = textWidth(cr, caption);
        const double left = std::round((w - textW - 20) / 2.0);
        setColour(cr, pressed ? kBlack : kLine);
        exportIcon(cr, left + 0.5, y0 + h / 2.0);
        setColour(cr, pressed ? kBlack : Rgb{236, 236, 236});
        drawText(cr, caption, left + 20, y0 + h / 2.0, 0.0);
    }
    cairo_destroy(cr);
    return s;
}

// An arrow dropping into a tray, for the drop target.
void dropIcon(cairo_t* cr, double cx, double cy) {
    cairo_set_line_width(cr, 2.0);
    cairo_move_to(cr, cx - 11, cy + 1);
    cairo_line_to(cr, cx - 11, cy + 10);
    cairo_line_to(cr, cx + 11, cy + 10);
    cairo_line_to(cr, cx + 11, cy + 1);
    cairo_stroke(cr);
    cairo_move_to(cr, cx, cy - 11);
    cairo_line_to(cr, cx, cy + 4);
    cairo_stroke(cr);
    cairo_move_to(cr, cx - 5.5, cy - 1.5);
    cairo_line_to(cr, cx, cy + 4);
    cairo_line_to(cr, cx + 5.5, cy - 1.5);
    cairo_stroke(cr);
}

cairo_surface_t* drawDropButton() {
    constexpr int w = 248, h = 54;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, 2 * h);
    cairo_t* cr = cairo_create(s);
    setColour(cr, kBlack);
    cairo_paint(cr);
    const char* caption = "Drop Files / Folder Here";
    for (int state = 0; state < 2; ++state) {
        const double y0 = state * h;
        const bool lit = state == 1;
        roundedRect(cr, 1, y0 + 1, w - 1, y0 + h - 1, 8);
        setColour(cr, lit ? overBlack(kBlue, 0.22) : kBlack);
        cairo_fill_preserve(cr);
        cairo_set_line_width(cr, 2.0);
        if (!lit) {
            // Dashes of about 6 on 4 pixels, stretched so that a whole number
            // of them goes round the outline and the corners look alike.
            constexpr double r = 8;
            const double perimeter = 2 * (w - 2 - 2 * r) + 2 * (h - 2 - 2 * r) + 2 * M_PI * r;
            const double period = perimeter / std::round(perimeter / 10.0);
            const double dash[] = {period * 0.6, period * 0.4};
            cairo_set_dash(cr, dash, 2, 0);
        }
        setColour(cr, lit ? kBlue : kLine);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);

        useFont(cr, 15, true);
        const double textW = textWidth(cr, caption);
        const double left = std::round((w - textW - 34) / 2.0);
        setColour(cr, lit ? kBlue : kLine);
        dropIcon(cr, left + 12, y0 + h / 2.0);
        setColour(cr, lit ? Rgb{255, 255, 255} : Rgb{236, 236, 236});
        drawText(cr, caption, left + 34, y0 + h / 2.0, 0.0);
    }
    cairo_destroy(cr);
    return s;
}

// ---------------------------------------------------------------- mode switch (131)

// Duration: a stopwatch face with its hand.
void iconDuration(cairo_t* cr, double cx, double cy) {
    cairo_set_line_width(cr, 2.0);
    cairo_arc(cr, cx, cy + 1, 9, 0, 2 * M_PI);
    cairo_stroke(cr);
    cairo_move_to(cr, cx, cy + 1);
    cairo_line_to(cr, cx, cy - 4.5);
    cairo_move_to(cr, cx, cy + 1);
    cairo_line_to(cr, cx + 4, cy + 3);
    cairo_stroke(cr);
    cairo_rectangle(cr, cx - 2.5, cy - 12, 5, 2.5);
    cairo_fill(cr);
}

// Pitch: an eighth note.
void iconPitch(cairo_t* cr, double cx, double cy) {
    cairo_save(cr);
    cairo_translate(cr, cx - 2.5, cy + 6);
    cairo_rotate(cr, -0.45);
    cairo_scale(cr, 1.35, 1.0);
    cairo_arc(cr, 0, 0, 3.6, 0, 2 * M_PI);
    cairo_restore(cr);
    cairo_fill(cr);
    cairo_set_line_width(cr, 1.8);
    cairo_move_to(cr, cx + 1.9, cy + 5);
    cairo_line_to(cr, cx + 1.9, cy - 10);
    cairo_stroke(cr);
    cairo_move_to(cr, cx + 1.9, cy - 10);
    cairo_curve_to(cr, cx + 3, cy - 5, cx + 9, cy - 5, cx + 7, cy + 1);
    cairo_set_line_width(cr, 2.0);
    cairo_stroke(cr);
}

// Play mode: an arrow running into a bar.
void iconPlayMode(cairo_t* cr, double cx, double cy) {
    cairo_set_line_width(cr, 2.0);
    cairo_move_to(cr, cx - 10, cy);
    cairo_line_to(cr, cx + 3, cy);
    cairo_stroke(cr);
    cairo_move_to(cr, cx + 5, cy);
    cairo_line_to(cr, cx - 1, cy - 5.5);
    cairo_line_to(cr, cx - 1, cy + 5.5);
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_rectangle(cr, cx + 7, cy - 8, 2.5, 16);
    cairo_fill(cr);
}

// Direction: a triangle pointing left (backwards).
void iconDirection(cairo_t* cr, double cx, double cy) {
    cairo_move_to(cr, cx - 8, cy);
    cairo_line_to(cr, cx + 7, cy - 8.5);
    cairo_line_to(cr, cx + 7, cy + 8.5);
    cairo_close_path(cr);
    cairo_fill(cr);
}

// Volume: a plus sign followed by a zero, as on a level readout.
void iconVolume(cairo_t* cr, double cx, double cy) {
    useFont(cr, 17, true);
    drawText(cr, "+0", cx, cy, 0.5);
}

// Pan: a double arrow from side to side over a centre mark.
void iconPan(cairo_t* cr, double cx, double cy) {
    cairo_set_line_width(cr, 2.0);
    cairo_move_to(cr, cx - 7, cy);
    cairo_line_to(cr, cx + 7, cy);
    cairo_stroke(cr);
    for (double side : {-1.0, 1.0}) {
        cairo_move_to(cr, cx + side * 11, cy);
        cairo_line_to(cr, cx + side * 5, cy - 5);
        cairo_line_to(cr, cx + side * 5, cy + 5);
        cairo_close_path(cr);
        cairo_fill(cr);
    }
    cairo_rectangle(cr, cx - 1, cy - 9, 2, 5);
    cairo_rectangle(cr, cx - 1, cy + 4, 2, 5);
    cairo_fill(cr);
}

cairo_surface_t* drawModeSwitch() {
    using namespace rimbrel::geometry;
    constexpr int w = kModeSwitchWidth, h = kModeSwitchHeight, n = kModeSwitchIcons;
    constexpr Rgb kBright[n] = {kGreen, kBlue, kPinkRed, kBlue, kPinkRed, kBlue};
    using Icon = void (*)(cairo_t*, double, double);
    constexpr Icon kIcons[n] = {iconDuration, iconPitch, iconPlayMode, iconDirection, iconVolume, iconPan};

    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, n * h);
    cairo_t* cr = cairo_create(s);
    setColour(cr, kBlack);
    cairo_paint(cr);
    const double cell = double(w) / n;
    for (int image = 0; image < n; ++image) {
        const double y0 = image * h;
        // Thin separators between the fields.
        setColour(cr, kFaint);
        cairo_set_line_width(cr, 1.0);
        for (int i = 1; i < n; ++i) vLine(cr, static_cast<int>(std::lround(i * cell)) - 1, y0 + 9, y0 + h - 9);
        for (int i = 0; i < n; ++i) {
            const bool on = i == image;
            const double cx = std::round(cell * (i + 0.5));
            const double cy = y0 + h / 2.0;
            if (on) {
                // The chosen field: a soft tile and a bar along its lower edge.
                setColour(cr, overBlack(kBright[i], 0.16));
                roundedRect(cr, std::round(i * cell) + 3, y0 + 3, std::round((i + 1) * cell) - 4, y0 + h - 3, 4);
                cairo_fill(cr);
                setColour(cr, kBright[i]);
                cairo_rectangle(cr, std::round(i * cell) + 9, y0 + h - 6, std::round(cell) - 19, 2);
                cairo_fill(cr);
            }
            setColour(cr, on ? kBright[i] : kDim);
            kIcons[i](cr, cx, cy - 1);
        }
    }
    cairo_destroy(cr);
    return s;
}

// ---------------------------------------------------------------- target switch (134)

// Two halves, "OP-1" and "OP-1 Field"; image t shows half t chosen: a soft
// tile and bright text, the other half dim, as on the mode switch.
cairo_surface_t* drawTargetSwitch() {
    using namespace rimbrel::geometry;
    constexpr int w = kTargetSwitchWidth, h = kTargetSwitchHeight;
    constexpr const char* kCaptions[2] = {"OP-1", "OP-1 Field"};
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, 2 * h);
    cairo_t* cr = cairo_create(s);
    setColour(cr, kBlack);
    cairo_paint(cr);
    const double half = w / 2.0;
    for (int image = 0; image < 2; ++image) {
        const double y0 = image * h;
        setColour(cr, overBlack(kBlue, 0.22));
        roundedRect(cr, image * half + 2, y0 + 2, (image + 1) * half - 2, y0 + h - 2, 3);
        cairo_fill(cr);
        roundedRect(cr, 0.5, y0 + 0.5, w - 0.5, y0 + h - 0.5, 4);
        setColour(cr, kFaint);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
        vLine(cr, static_cast<int>(half) - 1, y0 + 4, y0 + h - 4);
        useFont(cr, 11, true);
        for (int t = 0; t < 2; ++t) {
            setColour(cr, t == image ? Rgb{236, 236, 236} : kDim);
            drawText(cr, kCaptions[t], (t + 0.5) * half, y0 + h / 2.0, 0.5);
        }
    }
    cairo_destroy(cr);
    return s;
}

// ---------------------------------------------------------------- preview

// One window as the editor shows it: background, buttons in the given states
// and a few sample labels, in display mode `mode`.
void drawWindow(cairo_t* cr, cairo_surface_t* background, cairo_surface_t* exportButton,
                cairo_surface_t* dropButton, cairo_surface_t* modeSwitch, cairo_surface_t* targetSwitch, int mode,
                int target, bool pressed, bool lit) {
    using namespace rimbrel::geometry;
    auto blit = [cr](cairo_surface_t* src, double x, double y, double w, double h, double srcY) {
        cairo_save(cr);
        cairo_rectangle(cr, x, y, w, h);
        cairo_clip(cr);
        cairo_set_source_surface(cr, src, x, y - srcY);
        cairo_paint(cr);
        cairo_restore(cr);
    };
    blit(background, 0, 0, kWindowWidth, kWindowHeight, 0);

    static const char* kNames[24] = {"Kick", "Kick Soft", "Snare 02", nullptr, "Clap", "Rim", "Hat Closed",
                                     "Hat Open", nullptr, "Tom Low", "Tom Mid", "Tom High", "Shaker",
                                     "Tambourine", "Cowbell.aiff", nullptr, "Crash", "Ride Bell", "Perc 1",
                                     "Perc 2", "Vox Hey", nullptr, "Sub Drop", "Noise Sweep"};
    static const double kSeconds[24] = {0.52, 0.48, 0.31, 0, 0.27, 0.12, 0.09, 0.41, 0, 0.66, 0.58, 0.49,
                                        0.22, 0.73, 0.35, 0, 1.20, 0.97, 0.18, 0.21, 0.44, 0, 1.31, 2.05};
    static const double kBars[24] = {0.5, 0.62, 0.4, 0, 0.75, 0.5, 0.3, 0.55, 0, 0.45, 0.5, 0.58,
                                     0.2, 0.5, 0.8, 0, 0.5, 0.9, 0.35, 0.65, 0.5, 0, 0.1, 1.0};
    double total = 0;
    useFont(cr, 12, false, "Arial");  // the editor's label font
    for (int k = 0; k < 24; ++k) {
        const double top = labelTop(k);
        const bool named = kNames[k] != nullptr;
        // Name label (34, top, 206, top + 18).
        if (!named) {
            cairo_rectangle(cr, 34.5, top + 0.5, 171, 17);
            setColour(cr, Rgb{32, 32, 32});
            cairo_fill_preserve(cr);
            setColour(cr, Rgb{127, 127, 127});
            cairo_set_line_width(cr, 1.0);
            cairo_stroke(cr);
        } else {
            setColour(cr, mode == 0 ? Rgb{255, 255, 255} : Rgb{127, 127, 127});
            drawText(cr, (std::string(" ") + kNames[k]).c_str(), 36, top + 9, 0.0);
            if (mode == 4) {
                const double x = 34 + 172 * kBars[k];
                cairo_rectangle(cr, 34.5, top + 0.5, 171, 17);
                setColour(cr, Rgb{32, 32, 32});
                cairo_stroke(cr);
                cairo_rectangle(cr, x - 3, top, 6, 18);
                cairo_set_source_rgba(cr, 255 / 255.0, 58 / 255.0, 93 / 255.0, 138 / 255.0);
                cairo_fill_preserve(cr);
                setColour(cr, Rgb{32, 32, 32});
                cairo_stroke(cr);
            }
        }
        // Value label (210, top, 244, top + 16), right aligned.
        if (kSeconds[k] > 0) {
            total += kSeconds[k];
            char text[32];
            if (mode == 0)
                std::snprintf(text, sizeof text, "%.2f", kSeconds[k]);
            else
                std::snprintf(text, sizeof text, "%+.0f", (kBars[k] - 0.5) * 2 * 10);
            setColour(cr, Rgb{255, 255, 255});
            drawText(cr, text, 242, top + 8, 1.0);
        }
    }
    char totalText[64];
    std::snprintf(totalText, sizeof totalText, "Total Duration (seconds):  %.2f", total);
    setColour(cr, Rgb{255, 255, 255});
    drawText(cr, totalText, 37, 734, 0.0);

    blit(exportButton, 14, 73, 237, 29, pressed ? 29 : 0);
    blit(dropButton, 8, 11, 248, 54, lit ? 54 : 0);
    blit(modeSwitch, kModeSwitchLeft, kModeSwitchTop, kModeSwitchWidth, kModeSwitchHeight, mode * kModeSwitchHeight);
    blit(targetSwitch, kTargetSwitchLeft, kTargetSwitchTop, kTargetSwitchWidth, kTargetSwitchHeight,
         target * kTargetSwitchHeight);
}

bool writePng(cairo_surface_t* s, const std::string& path) {
    if (cairo_surface_write_to_png(s, path.c_str()) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "rimbrel_draw_artwork: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: %s <output folder> [preview.png [key-check.png]]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    cairo_surface_t* background = drawBackground();
    cairo_surface_t* exportButton = drawExportButton("Export .aif for OP-1");
    cairo_surface_t* exportFieldButton = drawExportButton("Export .aif for OP-1 Field");
    cairo_surface_t* dropButton = drawDropButton();
    cairo_surface_t* modeSwitch = drawModeSwitch();
    cairo_surface_t* targetSwitch = drawTargetSwitch();
    bool ok = writePng(background, dir + "/background.png") && writePng(exportButton, dir + "/export_button.png") &&
              writePng(exportFieldButton, dir + "/export_field_button.png") &&
              writePng(dropButton, dir + "/drop_button.png") && writePng(modeSwitch, dir + "/mode_switch.png") &&
              writePng(targetSwitch, dir + "/target_switch.png");

    if (ok && argc >= 3) {
        // Two windows side by side: durations at rest for the OP-1, volumes
        // for the Field with a drag over the drop target and the export
        // button held down.
        cairo_surface_t* preview = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 2 * kWindowWidth + 20, kWindowHeight);
        cairo_t* cr = cairo_create(preview);
        cairo_set_source_rgb(cr, 0.35, 0.35, 0.35);
        cairo_paint(cr);
        drawWindow(cr, background, exportButton, dropButton, modeSwitch, targetSwitch, 0, 0, false, false);
        cairo_translate(cr, kWindowWidth + 20, 0);
        drawWindow(cr, background, exportFieldButton, dropButton, modeSwitch, targetSwitch, 4, 1, true, true);
        cairo_destroy(cr);
        ok = writePng(preview, argv[2]);
        cairo_surface_destroy(preview);
    }
    if (ok && argc >= 4) {
        // The background with every key button outlined, to check that the
        // drawn keys lie under the buttons.
        cairo_surface_t* check = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWindowWidth, kWindowHeight);
        cairo_t* cr = cairo_create(check);
        cairo_set_source_surface(cr, background, 0, 0);
        cairo_paint(cr);
        cairo_set_line_width(cr, 1.0);
        for (int k = 0; k < 24; ++k) {
            const Rect r = keyButton(k);
            cairo_set_source_rgba(cr, 1, 0.2, 0.2, 0.9);
            cairo_rectangle(cr, r.left + 0.5, r.top + 0.5, r.right - r.left - 1, r.bottom - r.top - 1);
            cairo_stroke(cr);
        }
        cairo_destroy(cr);
        ok = writePng(check, argv[3]);
        cairo_surface_destroy(check);
    }

    cairo_surface_destroy(background);
    cairo_surface_destroy(exportButton);
    cairo_surface_destroy(exportFieldButton);
    cairo_surface_destroy(dropButton);
    cairo_surface_destroy(modeSwitch);
    cairo_surface_destroy(targetSwitch);
    // Drop cairo's and fontconfig's caches, so that leak checkers stay quiet.
    cairo_debug_reset_static_data();
    FcFini();
    return ok ? 0 : 1;
}
