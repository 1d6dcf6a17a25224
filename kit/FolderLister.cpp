#include "kit/FolderLister.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace rimbrel {

namespace {

inline unsigned char foldCase(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }
inline bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// Compares a and b as a person reads a folder: a run of digits counts as one
// number ("2 snare" before "10 hat"), other bytes compare with ASCII letters
// folded. Names that differ only in case or in leading zeros compare equal.
int naturalCompare(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    const std::size_t na = a.size(), nb = b.size();
    while (i < na && j < nb) {
        const unsigned char ca = static_cast<unsigned char>(a[i]);
        const unsigned char cb = static_cast<unsigned char>(b[j]);
        if (isDigit(ca) && isDigit(cb)) {
            while (i < na && a[i] == '0') ++i;
            while (j < nb && b[j] == '0') ++j;
            std::size_t ei = i, ej = j;
            while (ei < na && isDigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < nb && isDigit(static_cast<unsigned char>(b[ej]))) ++ej;
            // Without leading zeros, the longer number is the larger; equal
            // lengths compare digit by digit. No number is ever converted, so
            // any length of digits is fine.
            if (ei - i != ej - j) return (ei - i) < (ej - j) ? -1 : 1;
            if (const int c = std::memcmp(a.data() + i, b.data() + j, ei - i); c != 0) return c;
            i = ei;
            j = ej;
            continue;
        }
        const unsigned char fa = foldCase(ca), fb = foldCase(cb);
        if (fa != fb) return fa < fb ? -1 : 1;
        ++i;
        ++j;
    }
    if ((i < na) != (j < nb)) return i < na ? 1 : -1;
    return 0;
}

// The byte-wise case-insensitive order: breaks ties of the natural order
// ("a01" before "a1").
int foldedCompare(const std::string& a, const std::string& b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char ca = foldCase(static_cast<unsigned char>(a[i]));
        const unsigned char cb = foldCase(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return 0;
}

}  // namespace

bool folderNameLess(const std::string& a, const std::string& b) {
    if (const int c = naturalCompare(a, b); c != 0) return c < 0;
    if (const int c = foldedCompare(a, b); c != 0) return c < 0;
    return a < b;  // equal but for case: plain byte order, so the order is total
}

bool listFolder(const char* path, std::vector<FolderEntry>& entries, std::size_t maxEntries) {
    entries.clear();
    std::vector<FolderEntry> found;
    if (!platform::readFolder(path, found, maxEntries)) return false;

    std::sort(found.begin(), found.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return folderNameLess(a.name, b.name); });
    entries.reserve(found.size() + 2);
    entries.push_back(FolderEntry{".", true});
    entries.push_back(FolderEntry{"..", true});
    for (FolderEntry& f : found) entries.push_back(std::move(f));
    return true;
}

}  // namespace rimbrel
