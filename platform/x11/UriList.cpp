#include "platform/x11/UriList.h"

#include <unistd.h>

#include <climits>
#include <cstddef>

namespace rimbrel {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Case-insensitive test that `s` begins with the lower-case ASCII `prefix`.
bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lowerAscii(s[i]) != prefix[i]) return false;
    return true;
}

bool isBlank(std::string_view line) {
    for (char c : line)
        if (c != ' ' && c != '\t') return false;
    return true;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

// The still-encoded path part of a local file URI, or false when `uri` names
// something that is not a file of this machine.
bool localPathPart(std::string_view uri, std::string_view localHost, std::string_view& path) {
    if (!startsWithNoCase(uri, "file:")) return false;
    std::string_view rest = uri.substr(5);
    if (rest.substr(0, 2) == "//") {
        // An authority follows: it must be empty, "localhost" or this
        // machine's name.
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        if (slash == std::string_view::npos) return false;  // a host and no path
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && !equalNoCase(host, "localhost") && !(!localHost.empty() && equalNoCase(host, localHost)))
            return false;
        path = rest.substr(slash);
        return true;
    }
    if (rest.empty() || rest.front() != '/') return false;  // "file:name" is not absolute
    path = rest;
    return true;
}

// Percent-decodes `encoded` into `out`; false when the result holds a NUL.
bool decodePath(std::string_view encoded, std::string& out) {
    out.clear();
    out.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        char c = encoded[i];
        if (c == '%' && i + 2 < encoded.size() &&
            hexValue(encoded[i + 1]) >= 0 &&
            hexValue(encoded[i + 2]) >= 0) {
            c = static_cast<char>(hexValue(encoded[i + 1]) * 16 + hexValue(encoded[i + 2]));
            i += 2;
        }
        if (c == '\0') return false;
        out.push_back(c);
    }
    return true;
}

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

}  // namespace

std::string localHostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::vector<std::string> parseUriList(std::string_view data) {
    return parseUriList(data, localHostName());
}

std::vector<std::string> parseUriList(std::string_view data, std::string_view localHost) {
    while (!data.empty() && data.back() == '\0') data.remove_suffix(1);

    std::vector<std::string> paths;
    std::string decoded;
    std::size_t start = 0;
    while (start < data.size()) {
        std::size_t end = data.find('\n', start);
        if (end == std::string_view::npos) end = data.size();
        std::string_view line = data.substr(start, end - start);
        start = end + 1;

        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (isBlank(line) || line.front() == '#') continue;

        std::string_view encoded;
        if (!localPathPart(line, localHost, encoded)) continue;
        if (!decodePath(encoded, decoded)) continue;
        paths.push_back(decoded);
    }
    return paths;
}

std::string makeUriList(const std::vector<std::string>& paths) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const std::string& path : paths) {
        if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos) continue;
        out += "file://";
        for (char ch : path) {
            const auto c = static_cast<unsigned char>(ch);
            if (isUnreserved(c) || c == '/') {
                out.push_back(ch);
            } else {
                out.push_back('%');
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 15]);
            }
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace rimbrel
