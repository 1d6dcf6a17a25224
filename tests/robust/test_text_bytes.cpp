// Text drawn in the window is whatever bytes a file name holds. No byte
// sequence may stop the drawing context from drawing what comes after it.
#include <gtest/gtest.h>
#include <cairo.h>

#include <string>
#include <vector>

#include "gui/DrawContext.h"
#include "platform/cairo/CairoGraphics.h"

namespace rimbrel::robust {
namespace {

using namespace rimbrel::gui;

// Draws `text`, then a filled square; answers whether the square shows and
// what width the text was measured at.
struct Drawn {
    bool squareShows;
    CCoord width;
};

Drawn drawThenSquare(const std::string& text) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 200, 40);
    cairo_t* cr = cairo_create(surface);
    Drawn d{};
    {
        cairo::CairoGraphics graphics(cr);
        CDrawContext context(graphics);
        context.setFontColor(CColor(255, 255, 255, 255));
        d.width = context.getStringWidth(text.c_str());
        context.drawString(text.c_str(), CRect(0, 0, 150, 40), kLeftText);
        context.setFillColor(CColor(0, 255, 0, 255));
        context.drawRect(CRect(160, 10, 190, 30), kDrawFilled);
    }
    cairo_surface_flush(surface);
    const auto* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const uint32_t pixel = *reinterpret_cast<const uint32_t*>(data + 20 * stride + 175 * 4);
    d.squareShows = pixel == 0xff00ff00u;
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return d;
}

TEST(TextBytes, NoByteSequenceStopsTheDrawing) {
    const std::vector<std::string> texts = {
        "plain",
        "caf\xe9",   // Latin-1
        "\xff\xfe",  // never in UTF-8
        "\x80 lone continuation",
        "cut \xc3",          // a two-byte character without its end
        "cut \xe2\x82",      // three-byte, one short
        "cut \xf0\x9f\x8e",  // four-byte, one short
        "\xc0\xaf overlong slash",
        "\xe0\x80\xaf overlong",
        "\xed\xa0\x80 surrogate",
        "\xf4\x90\x80\x80 past U+10FFFF",
        "\xf8\x88\x80\x80\x80 five bytes",
        "ok \xc3\xa9\xe2\x82\xac\xf0\x9f\x8e\xb5",  // é € and a note, all valid
    };
    const Drawn plain = drawThenSquare("plain");
    ASSERT_TRUE(plain.squareShows);
    for (const std::string& t : texts) {
        const Drawn d = drawThenSquare(t);
        EXPECT_TRUE(d.squareShows) << "after \"" << t << "\"";
        EXPECT_GT(d.width, 0) << "\"" << t << "\"";
    }
}

}  // namespace
}  // namespace rimbrel::robust
