// A line of text too wide for its place ends with an ellipsis.
#include <gtest/gtest.h>

#include "gui/TextFit.h"

namespace rimbrel::gui {
namespace {

// One unit per character (a UTF-8 sequence counts once), as a fixed-width font.
double characters(const std::string& s) {
    double n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

TEST(TextFit, CutsBetweenCharactersAndEndsWithAnEllipsis) {
    const std::string ellipsis = kEllipsis;
    EXPECT_EQ(fitWithEllipsis(" kick", 5, characters), " kick");
    EXPECT_EQ(fitWithEllipsis(" long snare", 6, characters), " long" + ellipsis);
    EXPECT_EQ(fitWithEllipsis(" long snare", 7, characters), " long" + ellipsis);  // no space before it
    EXPECT_EQ(fitWithEllipsis(" \xc3\xa9t\xc3\xa9 \xc3\xa9t\xc3\xa9", 4, characters),
              " \xc3\xa9t" + ellipsis);
    EXPECT_EQ(fitWithEllipsis("abc", 0, characters), ellipsis);
    EXPECT_EQ(fitWithEllipsis("", 0, characters), "");
    // Bytes that are no UTF-8 still give whole characters around them.
    EXPECT_EQ(fitWithEllipsis("a\xff\xfe\xe9xyz", 4, characters), "a\xff\xfe" + ellipsis);
}

}  // namespace
}  // namespace rimbrel::gui
