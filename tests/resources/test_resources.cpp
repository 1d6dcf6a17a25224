// The built-in bitmaps: each resource decodes to a PNG of the size the window
// layout expects, and the drawings line up with the controls placed on them.
#include "resources/Resources.h"

#include "resources/EditorGeometry.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

using rimbrel::findResource;

struct PngReader {
    const unsigned char* data;
    std::size_t size;
    std::size_t pos = 0;
};

cairo_status_t readPng(void* closure, unsigned char* out, unsigned int length) {
    auto* r = static_cast<PngReader*>(closure);
    if (r->size - r->pos < length) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, r->data + r->pos, length);
    r->pos += length;
    return CAIRO_STATUS_SUCCESS;
}

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

Surface decode(int id) {
    const rimbrel::ResourceData res = findResource(id);
    PngReader reader{res.bytes, res.size};
    return Surface(cairo_image_surface_create_from_png_stream(readPng, &reader), cairo_surface_destroy);
}

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

// Colour of one pixel, un-premultiplied (the bitmaps are opaque).
Rgb pixel(cairo_surface_t* s, int x, int y) {
    const unsigned char* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    std::uint32_t v;
    std::memcpy(&v, row + 4 * x, 4);
    return {int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255)};
}

int alpha(cairo_surface_t* s, int x, int y) {
    const unsigned char* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    std::uint32_t v;
    std::memcpy(&v, row + 4 * x, 4);
    return int(v >> 24);
}

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kLine{206, 206, 206};

bool isLine(Rgb c) { return c.r > 120 && c.r == c.g && c.g == c.b; }

TEST(Resources, EveryBitmapIsAPngOfItsLayoutSize) {
    struct Expected {
        int id, width, height;
    };
    for (const Expected e : {Expected{128, 540, 786}, Expected{129, 237, 58}, Expected{130, 248, 108},
                             Expected{131, 232, 6 * 37}, Expected{133, 237, 58}, Expected{134, 180, 38}}) {
        SCOPED_TRACE(e.id);
        const rimbrel::ResourceData res = findResource(e.id);
        ASSERT_NE(res.bytes, nullptr);
        ASSERT_GT(res.size, 8u);
        EXPECT_EQ(std::memcmp(res.bytes, "\x89PNG\r\n\x1a\n", 8), 0);
        Surface s = decode(e.id);
        ASSERT_EQ(cairo_surface_status(s.get()), CAIRO_STATUS_SUCCESS);
        EXPECT_EQ(cairo_image_surface_get_width(s.get()), e.width);
        EXPECT_EQ(cairo_image_surface_get_height(s.get()), e.height);
        // Opaque, since the window draws them over black whatever the toolkit does with alpha.
        if (cairo_image_surface_get_format(s.get()) == CAIRO_FORMAT_ARGB32) {
            cairo_surface_flush(s.get());
            for (int y = 0; y < e.height; ++y)
                for (int x = 0; x < e.width; ++x) ASSERT_EQ(alpha(s.get(), x, y), 255) << x << "," << y;
        } else {
            EXPECT_EQ(cairo_image_surface_get_format(s.get()), CAIRO_FORMAT_RGB24);
        }
    }
}

TEST(Resources, UnknownIdsAreEmpty) {
    for (int id : {0, -1, 1, 127, 132, 200, 1000}) {
        const rimbrel::ResourceData res = findResource(id);
        EXPECT_EQ(res.bytes, nullptr) << id;
        EXPECT_EQ(res.size, 0u) << id;
    }
}

TEST(Background, PanelLinesWhereTheLabelGroupsMeet) {
    Surface s = decode(rimbrel::kResourceBackground);
    cairo_surface_t* bg = s.get();
    EXPECT_EQ(pixel(bg, 0, 0), kBlack);
    EXPECT_EQ(pixel(bg, 539, 785), kBlack);
    for (int y : {112, 150, 311, 434, 597, 716}) {
        EXPECT_EQ(pixel(bg, 100, y), kLine) << y;
        EXPECT_EQ(pixel(bg, 100, y - 1), kBlack) << y;
        EXPECT_EQ(pixel(bg, 100, y + 1), kBlack) << y;
    }
    for (int x : {15, 248}) EXPECT_EQ(pixel(bg, x, 400), kLine) << x;
    // Nothing is drawn where the labels and the total sit.
    for (int k : {0, 6, 12, 23}) {
        const int top = int(rimbrel::geometry::labelTop(k));
        for (int y = top; y < top + 18; ++y)
            for (int x = 40; x < 206; x += 3) ASSERT_EQ(pixel(bg, x, y), kBlack) << k << " " << x << "," << y;
    }
    for (int y = 726; y < 742; ++y)
        for (int x = 35; x < 225; x += 3) ASSERT_EQ(pixel(bg, x, y), kBlack);
}

// The editor's invisible key buttons, (left, top, right, bottom).
using Rect = rimbrel::geometry::Box;
Rect keyButton(int k) { return rimbrel::geometry::keyButtonBox(k); }

// From the button's centre, walking in one direction, the drawn key's outline
// is met before the walk leaves the button (one pixel of slack for the
// buttons that overlap their neighbours). Returns the distance walked, or -1.
int outlineWithin(cairo_surface_t* bg, const Rect& r, int dx, int dy) {
    int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    for (int step = 0;; ++step, x += dx, y += dy) {
        if (x < r.left - 1 || x > r.right || y < r.top - 1 || y > r.bottom) return -1;
        if (isLine(pixel(bg, x, y))) return step;
    }
}

TEST(Background, EveryKeyButtonLiesOverItsDrawnKey) {
    Surface s = decode(rimbrel::kResourceBackground);
    for (int k = 0; k < 24; ++k) {
        SCOPED_TRACE(k);
        const Rect r = keyButton(k);
        // The centre of the button is inside a key, not on the black between keys.
        EXPECT_NE(pixel(s.get(), (r.left + r.right) / 2, (r.top + r.bottom) / 2), kBlack);
        EXPECT_GE(outlineWithin(s.get(), r, 0, -1), 0) << "top";
        EXPECT_GE(outlineWithin(s.get(), r, 0, 1), 0) << "bottom";
        EXPECT_GE(outlineWithin(s.get(), r, -1, 0), 0) << "left";
        EXPECT_GE(outlineWithin(s.get(), r, 1, 0), 0) << "right";
    }
}

TEST(Background, KeysFillMostOfTheirButtons) {
    // A click anywhere on a drawn white key reaches its button, and the key
    // is not a sliver of it: its outline lies within 5 pixels of the button's
    // top and bottom edges.
    Surface s = decode(rimbrel::kResourceBackground);
    for (int k : {0, 2, 4, 6, 7, 9, 11, 12, 14, 16, 18, 19, 21, 23}) {
        SCOPED_TRACE(k);
        const Rect r = keyButton(k);
        const int half = (r.bottom - r.top) / 2;
        EXPECT_GE(outlineWithin(s.get(), r, 0, -1), half - 5);
        EXPECT_GE(outlineWithin(s.get(), r, 0, 1), r.bottom - r.top - half - 5);
    }
}

TEST(Buttons, StatesDiffer) {
    for (int id : {rimbrel::kResourceExportButton, rimbrel::kResourceExportFieldButton, rimbrel::kResourceDropButton,
                   rimbrel::kResourceTargetSwitch}) {
        Surface s = decode(id);
        const int w = cairo_image_surface_get_width(s.get());
        const int h = cairo_image_surface_get_height(s.get()) / 2;
        int differing = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) differing += !(pixel(s.get(), x, y) == pixel(s.get(), x, y + h));
        EXPECT_GT(differing, w * h / 20) << id;
    }
}

constexpr int kIcons = rimbrel::geometry::kModeSwitchIcons;

// Counts pixels of exactly `c` in one icon's field of one image of the mode strip.
int countInCell(cairo_surface_t* s, int image, int cell, Rgb c) {
    int n = 0;
    for (int y = image * 37; y < (image + 1) * 37; ++y)
        for (int x = cell * 232 / kIcons; x < (cell + 1) * 232 / kIcons; ++x) n += pixel(s, x, y) == c;
    return n;
}

bool hasColourInCell(cairo_surface_t* s, int image, int cell) {
    for (int y = image * 37; y < (image + 1) * 37; ++y)
        for (int x = cell * 232 / kIcons; x < (cell + 1) * 232 / kIcons; ++x) {
            const Rgb p = pixel(s, x, y);
            if (p.r != p.g || p.g != p.b) return true;
        }
    return false;
}

TEST(ModeSwitch, ImageIShowsIconIBrightAndTheOthersDim) {
    Surface s = decode(rimbrel::kResourceModeSwitch);
    constexpr Rgb kBright[kIcons] = {{0, 171, 107}, {105, 142, 255}, {255, 58, 93}, {105, 142, 255}, {255, 58, 93}, {105, 142, 255}};
    for (int image = 0; image < kIcons; ++image)
        for (int cell = 0; cell < kIcons; ++cell) {
            SCOPED_TRACE(testing::Message() << "image " << image << " icon " << cell);
            if (cell == image)
                EXPECT_GT(countInCell(s.get(), image, cell, kBright[cell]), 40);
            else
                EXPECT_FALSE(hasColourInCell(s.get(), image, cell));
        }
}

// The Field's export button is the original's with another caption: the
// same frame, different text.
TEST(Buttons, TheFieldExportButtonKeepsTheOriginalsLook) {
    Surface op1 = decode(rimbrel::kResourceExportButton);
    Surface field = decode(rimbrel::kResourceExportFieldButton);
    int differing = 0;
    for (int y = 0; y < 58; ++y)
        for (int x : {0, 1, 236}) EXPECT_EQ(pixel(op1.get(), x, y), pixel(field.get(), x, y)) << x << "," << y;
    for (int y = 0; y < 58; ++y)
        for (int x = 0; x < 237; ++x) differing += !(pixel(op1.get(), x, y) == pixel(field.get(), x, y));
    EXPECT_GT(differing, 100);
}

}  // namespace
