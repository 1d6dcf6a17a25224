// Fitting one line of text into a width: a text too wide ends with "…".
#pragma once

#include <functional>
#include <string>

namespace rimbrel::gui {

// The UTF-8 ellipsis.
inline constexpr const char* kEllipsis = "\xE2\x80\xA6";

// text when widthOf(text) is at most maxWidth; otherwise the longest start
// of text, cut between characters (never inside a UTF-8 sequence) and with
// trailing spaces dropped, followed by the ellipsis, that measures at most
// maxWidth (the ellipsis alone when nothing fits).
std::string fitWithEllipsis(const std::string& text, double maxWidth,
                            const std::function<double(const std::string&)>& widthOf);

}  // namespace rimbrel::gui
