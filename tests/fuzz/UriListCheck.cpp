// The text/uri-list check: whatever the data, every path taken is absolute
// and free of NUL bytes, NUL bytes at the end change nothing, and the list
// the window would write for the paths reads back as the same paths.
#include "tests/fuzz/FuzzChecks.h"

#include "platform/x11/UriList.h"

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rimbrel::fuzz {

std::string checkUriListInput(const uint8_t* data, std::size_t size) {
    // An exact copy on the heap: a read past its end is an ASan report.
    std::unique_ptr<char[]> copy(new char[size > 0 ? size : 1]);
    if (size > 0) std::memcpy(copy.get(), data, size);
    const std::string_view text(copy.get(), size);

    const std::vector<std::string> paths = parseUriList(text);
    std::size_t lines = 0;
    for (char c : text) lines += c == '\n';
    if (paths.size() > lines + 1) return "more paths than lines";
    for (const std::string& p : paths) {
        if (p.empty() || p.front() != '/') return "a path that is not absolute: " + p;
        if (p.find('\0') != std::string::npos) return "a path holding a NUL byte";
        if (p.size() > size) return "a path longer than the data";
    }

    const std::string terminated = std::string(text) + std::string(2, '\0');
    if (parseUriList(terminated) != paths) return "NUL bytes at the end changed the result";

    const std::string written = makeUriList(paths);
    if (parseUriList(written) != paths) return "the written list reads back differently: " + written;
    return "";
}

}  // namespace rimbrel::fuzz
