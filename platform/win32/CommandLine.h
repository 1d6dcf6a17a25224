// A Windows program's arguments in UTF-8. The C runtime hands main its
// arguments in the system's narrow code page, which cannot spell every file
// name; the wide command line can.
#pragma once

#include <string>
#include <vector>

namespace rimbrel::win32 {

// The program's arguments (argv[0] first) in UTF-8, from the wide command line.
std::vector<std::string> utf8Arguments();

// Runs entry with those arguments as argc and argv.
int runWithUtf8Arguments(int (*entry)(int, char**));

}  // namespace rimbrel::win32
