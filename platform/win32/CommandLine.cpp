#include "platform/win32/CommandLine.h"

#include "platform/win32/WideText.h"

#include <windows.h>
// After windows.h.
#include <shellapi.h>

namespace rimbrel::win32 {

std::vector<std::string> utf8Arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(narrow(wide[i]));
    LocalFree(wide);
    return arguments;
}

int runWithUtf8Arguments(int (*entry)(int, char**)) {
    std::vector<std::string> arguments = utf8Arguments();
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    return entry(int(arguments.size()), argv.data());
}

}  // namespace rimbrel::win32
