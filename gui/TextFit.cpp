#include "gui/TextFit.h"

#include <vector>

namespace rimbrel::gui {

namespace {

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::string cutWithEllipsis(const std::string& text, std::size_t end) {
    while (end > 0 && text[end - 1] == ' ') --end;
    return text.substr(0, end) + kEllipsis;
}

}  // namespace

std::string fitWithEllipsis(const std::string& text, double maxWidth,
                            const std::function<double(const std::string&)>& widthOf) {
    if (widthOf(text) <= maxWidth) return text;
    // Every place between two characters, shortest first.
    std::vector<std::size_t> cuts;
    for (std::size_t i = 1; i < text.size(); ++i)
        if (!isContinuationByte(text[i])) cuts.push_back(i);
    // Widths grow with the length of the start: the longest start that fits
    // is found by halving.
    std::size_t lo = 0, hi = cuts.size();  // cuts[0, lo) fit; cuts[hi, end) do not
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (widthOf(cutWithEllipsis(text, cuts[mid])) <= maxWidth)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo == 0 ? std::string(kEllipsis) : cutWithEllipsis(text, cuts[lo - 1]);
}

}  // namespace rimbrel::gui
