// Reading and writing the text/uri-list data that desktop drag and drop
// carries (one URI per line). Only local files are of interest: the reader
// turns file URIs into paths and refuses everything else; the writer does the
// reverse for the window's own drags.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rimbrel {

// The local paths named by a text/uri-list, in list order.
//
// Lines end with CRLF or with LF alone. Lines starting with '#' are comments,
// empty lines (or lines of blanks) are skipped. A line is taken when it is a
// file URI of this machine:
//   file:///path   file://localhost/path   file://HOST/path   file:/path
// where HOST is this machine's host name (some file managers write it);
// scheme and host names in any case. Any other host, a relative path and
// any other scheme (http:, smb:, trash:, ...) refuse that line. The path is
// fully percent-decoded (%XX with hex digits in either case); a '%' that does
// not start a valid escape is kept as it stands, '+' stays a '+', '?' and '#'
// are part of the name (file URIs carry no query or fragment here), and every
// other byte, UTF-8 or not, is kept unchanged. An item holding a NUL byte,
// raw or decoded from %00, is refused. NUL bytes at the very end of the data
// are taken as a terminator and ignored. There is no limit on line length or
// line count.
std::vector<std::string> parseUriList(std::string_view data);
// The same, with `localHost` as this machine's host name (empty: none but
// "localhost").
std::vector<std::string> parseUriList(std::string_view data, std::string_view localHost);
// This machine's host name (gethostname), empty when there is none.
std::string localHostName();

// A text/uri-list naming `paths`, one "file://" URI per line, each line ended
// by CRLF. Every byte outside the unreserved set (A-Z a-z 0-9 - . _ ~) and '/'
// is percent-encoded with upper-case hex digits. Paths that are not absolute
// (not starting with '/') or that hold a NUL byte cannot be named by a file
// URI and are left out.
std::string makeUriList(const std::vector<std::string>& paths);

}  // namespace rimbrel
